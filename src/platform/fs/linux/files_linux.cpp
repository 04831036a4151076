// File calls on Windows paths of the current machine (see files.h): the
// path mapping, full path names, types, sizes, deletion, moves and copies.
// Folder listing and removal are in folder_tree_linux.cpp, reading and
// writing a file's bytes in file_contents_linux.cpp.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "base/linux/errno_map.h"
#include "fs/linux/windows_paths.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/fs/pe_version.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {

namespace detail {

WinError mapWindowsPath(std::wstring_view path, std::string& host) {
  IMachine* machine = currentMachine();
  if (!machine) {
    setLastError(ERROR_PATH_NOT_FOUND);
    return ERROR_PATH_NOT_FOUND;
  }
  WinError code = machine->paths().toHostPath(path, host);
  if (code != ERROR_SUCCESS) setLastError(code);
  return code;
}

bool isDriveRoot(const std::string& host) {
  IMachine* machine = currentMachine();
  return machine && machine->paths().toWindowsPath(host).size() <= 3;
}

}  // namespace detail

namespace files {

namespace {

constexpr WinError kErrorBadNetPath = 53;  // ERROR_BAD_NETPATH

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

WinError hostPath(std::wstring_view path, std::string& host) {
  return detail::mapWindowsPath(path, host);
}

std::wstring windowsPath(std::string_view host) {
  IMachine* machine = currentMachine();
  return machine ? machine->paths().toWindowsPath(host) : std::wstring();
}

bool isDriveRoot(std::wstring_view path) {
  std::string host;
  return detail::mapWindowsPath(path, host) == ERROR_SUCCESS && detail::isDriveRoot(host);
}

WinError fullPathName(std::wstring_view path, std::wstring& full) {
  std::wstring p(path);
  if (p.empty()) return ERROR_PATH_NOT_FOUND;
  if (p.rfind(L"\\\\?\\", 0) == 0 || p.rfind(L"\\??\\", 0) == 0) p.erase(0, 4);
  if (p.size() >= 2 && isSeparator(p[0]) && isSeparator(p[1])) return kErrorBadNetPath;

  std::wstring drive, rest;
  if (p.size() >= 2 && p[1] == L':') {
    drive = p.substr(0, 2);
    rest = p.substr(2);
  } else {
    IMachine* machine = currentMachine();
    const std::wstring cwd = machine ? machine->paths().currentDirectory() : L"C:\\";
    drive = cwd.substr(0, 2);
    rest = isSeparator(p[0]) ? p : cwd.substr(2) + L"\\" + p;
  }
  std::vector<std::wstring> parts;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    std::wstring element = rest.substr(start, end - start);
    if (element == L"..") {
      if (!parts.empty()) parts.pop_back();  // never above the drive root
    } else if (!element.empty() && element != L".") {
      parts.push_back(std::move(element));
    }
    start = end + 1;
  }
  full = drive + L"\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) full += L'\\';
    full += parts[i];
  }
  // "C:\a\" names the folder a; "C:\a\.." ends in no separator.
  if (!parts.empty() && isSeparator(p.back())) full += L'\\';
  return ERROR_SUCCESS;
}

WinError fileType(std::wstring_view path, FileType& type) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) {
    type = FileType::kMissing;
    return e;
  }
  return getFileType(host, type);
}

WinError pathFileExists(std::wstring_view path) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  return platform::pathFileExists(host);
}

WinError fileSize(std::wstring_view path, uint64_t& size) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return detail::missingFileError(host, errno);
  if (!S_ISREG(st.st_mode)) {
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  size = static_cast<uint64_t>(st.st_size);
  return ERROR_SUCCESS;
}

WinError fileAttributes(std::wstring_view path, uint32_t& attributes) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  return getFileAttributes(host, attributes);
}

WinError fileTimes(std::wstring_view path, FileTimes& times) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  return getFileTimes(host, times);
}

WinError deleteFile(std::wstring_view path) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  return platform::deleteFile(host);
}

WinError removeDirectory(std::wstring_view path) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  if (detail::isDriveRoot(host)) {
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  return platform::removeDirectory(host);
}

WinError moveFile(std::wstring_view from, std::wstring_view to) {
  std::string hostFrom, hostTo;
  if (WinError e = detail::mapWindowsPath(from, hostFrom)) return e;
  if (WinError e = detail::mapWindowsPath(to, hostTo)) return e;
  if (detail::isDriveRoot(hostFrom)) {
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  if (hostCalls().rename(hostFrom.c_str(), hostTo.c_str()) != 0) {
    int err = errno;
    // The name that is missing is the one moved, unless its folder is.
    if (err == ENOENT) {
      WinError missing = platform::pathFileExists(hostFrom);
      if (missing != ERROR_SUCCESS) return missing;
      return detail::missingFileError(hostTo, err);
    }
    return detail::win32FromErrno(err);
  }
  return ERROR_SUCCESS;
}

WinError copyFile(std::wstring_view source, std::wstring_view destination, bool failIfExists) {
  std::string hostSource, hostDestination;
  if (WinError e = detail::mapWindowsPath(source, hostSource)) return e;
  if (WinError e = detail::mapWindowsPath(destination, hostDestination)) return e;
  return platform::copyFile(hostSource, hostDestination, failIfExists);
}

WinError fileVersionResource(std::wstring_view path, VersionResource& version) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  // The reader opens the file itself; a pipe or a device never gets that far.
  FileType type = FileType::kMissing;
  if (WinError e = getFileType(host, type)) return e;
  if (type != FileType::kRegular) {
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  return readFileVersionResource(host, version);
}

}  // namespace files
}  // namespace zorel::platform
