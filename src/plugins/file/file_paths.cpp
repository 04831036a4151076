// Path mapping, status queries, wildcard matching and logging for the File
// plug-in.

#include "file_paths.h"

#include <cstdarg>
#include <cwctype>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

#include <filesystem>

namespace zorel::file_detail {

int32_t ToHost(const std::wstring& windowsPath, std::string& hostPath) {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) return platform::ERROR_PATH_NOT_FOUND;
  return machine->paths().toHostPath(windowsPath, hostPath);
}

PathType QueryStatus(const std::wstring& windowsPath, int32_t& code) {
  code = 0;
  std::string host;
  int32_t mapped = ToHost(windowsPath, host);
  if (mapped != 0) {
    // A path that cannot name a file on the machine does not exist.
    code = mapped == platform::ERROR_INVALID_NAME ? mapped : platform::ERROR_PATH_NOT_FOUND;
    return PathType::kNotFound;
  }
  std::error_code ec;
  auto status = std::filesystem::status(host, ec);
  switch (status.type()) {
    case std::filesystem::file_type::not_found:
      code = platform::pathFileExists(host);
      if (code == 0) code = platform::ERROR_FILE_NOT_FOUND;
      return PathType::kNotFound;
    case std::filesystem::file_type::none:
      code = platform::winErrorFromErrno(ec.value());
      return PathType::kStatusError;
    case std::filesystem::file_type::directory: return PathType::kDirectory;
    case std::filesystem::file_type::regular: return PathType::kRegular;
    default: return PathType::kOther;
  }
}

namespace {

bool MatchFrom(std::wstring_view name, size_t n, std::wstring_view pattern, size_t p) {
  // Iterative glob with one backtrack point per '*'.
  size_t starP = std::wstring_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == L'?' || std::towlower(pattern[p]) == std::towlower(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::wstring_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::wstring_view name, std::wstring_view pattern) {
  if (MatchFrom(name, 0, pattern, 0)) return true;
  // "*.*" and "name.*" also match names without an extension.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == L".*" &&
      name.find(L'.') == std::wstring_view::npos)
    return MatchFrom(name, 0, pattern.substr(0, pattern.size() - 2), 0);
  return false;
}

bool HasWildcard(std::wstring_view text) {
  return text.find_first_of(L"*?") != std::wstring_view::npos;
}

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

void LogError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FrameworkLog::Instance().WriteV(static_cast<int32_t>(LogLevel::Error), format, args);
  va_end(args);
}

void LogInfo(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FrameworkLog::Instance().WriteV(static_cast<int32_t>(LogLevel::Info), format, args);
  va_end(args);
}

}  // namespace zorel::file_detail

#include <fstream>
#include <iterator>

#include "zorel/platform/fs/file_attributes.h"

namespace zorel::file_detail {

int32_t ReadWholeFile(const std::string& hostPath, std::string& bytes, uint64_t limit) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(hostPath, ec);
  if (ec) {
    int32_t code = platform::pathFileExists(hostPath);
    return code != 0 ? code : platform::ERROR_ACCESS_DENIED;
  }
  if (size > limit) return platform::ERROR_OUTOFMEMORY;
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return platform::ERROR_ACCESS_DENIED;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return platform::ERROR_READ_FAULT;
  return 0;
}

int32_t ReplaceFileContents(const std::string& hostPath, const std::string& bytes) {
  uint32_t attributes = 0;
  int32_t code = platform::getFileAttributes(hostPath, attributes);
  if (code != 0) return code;
  if (attributes & (platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_DIRECTORY))
    return platform::ERROR_ACCESS_DENIED;
  std::error_code ec;
  auto perms = std::filesystem::status(hostPath, ec).permissions();
  const std::string temp = hostPath + ".zorel-edit";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return platform::ERROR_ACCESS_DENIED;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(temp, ec);
      return platform::ERROR_WRITE_FAULT;
    }
  }
  std::filesystem::permissions(temp, perms, ec);
  platform::setFileAttributes(temp, attributes);
  std::filesystem::rename(temp, hostPath, ec);
  if (ec) {
    int32_t failed = platform::winErrorFromErrno(ec.value());
    std::filesystem::remove(temp, ec);
    return failed;
  }
  return 0;
}

// The store answers its folder as a Windows folder, like any other path.
int32_t StoreFolderToHost(const std::wstring& folder, std::string& hostPath) {
  return ToHost(folder, hostPath);
}

}  // namespace zorel::file_detail
