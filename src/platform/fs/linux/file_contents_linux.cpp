// Reading and writing the bytes of regular files on Windows paths (see
// files.h). Every open goes through openRegularFile, so a pipe or a device
// is refused before anything waits on it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/linux/errno_map.h"
#include "fs/linux/regular_file.h"
#include "fs/linux/windows_paths.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/files.h"

namespace zorel::platform::files {

namespace {

using detail::UniqueFd;

WinError fail(WinError code) {
  setLastError(code);
  return code;
}

// CreateFileW refuses to open a read-only file for writing.
WinError refuseReadOnly(const std::string& host) {
  uint32_t attributes = 0;
  if (getFileAttributes(host, attributes) == ERROR_SUCCESS &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return fail(ERROR_ACCESS_DENIED);
  return ERROR_SUCCESS;
}

WinError writeTo(const std::string& host, int flags, mode_t mode, std::string_view bytes) {
  UniqueFd fd;
  if (WinError e = detail::openRegularFile(host, flags, mode, fd)) return e;
  if (WinError e = detail::writeAll(fd.get(), bytes.data(), bytes.size())) return e;
  if (int err = fd.close()) return detail::win32FromErrno(err);
  return ERROR_SUCCESS;
}

}  // namespace

WinError readFile(std::wstring_view path, std::string& bytes, uint64_t limit) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  UniqueFd fd;
  if (WinError e = detail::openRegularFile(host, O_RDONLY, 0, fd)) return e;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return detail::win32FromErrno(errno);
  if (static_cast<uint64_t>(st.st_size) > limit) return fail(ERROR_OUTOFMEMORY);
  bytes.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  if (WinError e = detail::readAll(fd.get(), bytes.data(), bytes.size(), done)) return e;
  bytes.resize(done);
  // A file that grew since the size was taken is read to its end, within the limit.
  char more[1 << 16];
  for (;;) {
    size_t got = 0;
    if (WinError e = detail::readAll(fd.get(), more, sizeof more, got)) return e;
    if (got == 0) break;
    if (bytes.size() + got > limit) return fail(ERROR_OUTOFMEMORY);
    bytes.append(more, got);
  }
  return ERROR_SUCCESS;
}

WinError writeFile(std::wstring_view path, std::string_view bytes) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  if (WinError e = refuseReadOnly(host)) return e;
  return writeTo(host, O_WRONLY | O_CREAT | O_TRUNC, 0666, bytes);
}

WinError appendToFile(std::wstring_view path, std::string_view bytes) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  if (WinError e = refuseReadOnly(host)) return e;
  return writeTo(host, O_WRONLY | O_CREAT | O_APPEND, 0666, bytes);
}

WinError replaceFileContents(std::wstring_view path, std::string_view bytes) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return detail::missingFileError(host, errno);
  if (!S_ISREG(st.st_mode)) return fail(ERROR_ACCESS_DENIED);
  uint32_t attributes = 0;
  if (WinError e = getFileAttributes(host, attributes)) return e;
  if (attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);

  const std::string temp = host + ".zorel-edit";
  WinError code = writeTo(temp, O_WRONLY | O_CREAT | O_TRUNC, st.st_mode & 07777, bytes);
  if (code == ERROR_SUCCESS) {
    ::chmod(temp.c_str(), st.st_mode & 07777);
    setFileAttributes(temp, attributes);
    if (hostCalls().rename(temp.c_str(), host.c_str()) != 0) code = detail::win32FromErrno(errno);
  }
  struct stat left {};
  if (code != ERROR_SUCCESS && ::lstat(temp.c_str(), &left) == 0 && S_ISREG(left.st_mode))
    hostCalls().unlink(temp.c_str());
  return code;
}

}  // namespace zorel::platform::files
