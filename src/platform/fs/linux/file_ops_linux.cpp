// Windows file operations over POSIX calls (see file_ops.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/linux/errno_map.h"
#include "fs/linux/regular_file.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/file_ops.h"

namespace zorel::platform {

using detail::UniqueFd;

WinError winErrorFromErrno(int err) { return detail::win32FromErrno(err); }

WinError getFileType(const std::string& hostPath, FileType& type) {
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) {
    int err = errno;
    if (err != ENOENT && err != ENOTDIR) return detail::win32FromErrno(err);
    type = FileType::kMissing;
    return detail::missingFileError(hostPath, err);
  }
  type = S_ISREG(st.st_mode)   ? FileType::kRegular
         : S_ISDIR(st.st_mode) ? FileType::kFolder
                               : FileType::kSpecial;
  return ERROR_SUCCESS;
}

WinError pathFileExists(const std::string& hostPath) {
  if (hostPath.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) == 0) return ERROR_SUCCESS;
  return detail::missingFileError(hostPath, errno);
}

WinError deleteFile(const std::string& hostPath) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    // Folders, and the pipes and devices a host folder such as Z:\dev holds.
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  if (!S_ISLNK(st.st_mode)) {
    uint32_t attributes = 0;
    if (getFileAttributes(hostPath, attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_READONLY))
      return ERROR_ACCESS_DENIED;
  }
  if (hostCalls().unlink(hostPath.c_str()) != 0) return detail::missingFileError(hostPath, errno);
  return ERROR_SUCCESS;
}

WinError removeDirectory(const std::string& hostPath) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
  if (hostCalls().rmdir(hostPath.c_str()) != 0) {
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST) return ERROR_DIR_NOT_EMPTY;
    return detail::win32FromErrno(err);
  }
  return ERROR_SUCCESS;
}

WinError copyFile(const std::string& source, const std::string& destination,
                  bool failIfExists) {
  UniqueFd in;
  if (WinError e = detail::openRegularFile(source, O_RDONLY, 0, in)) return e;
  struct stat from {};
  if (::fstat(in.get(), &from) != 0) return detail::win32FromErrno(errno);

  struct stat to {};
  if (::stat(destination.c_str(), &to) == 0) {
    if (failIfExists) return detail::win32FromErrno(EEXIST);
    if (!S_ISREG(to.st_mode)) {
      setLastError(ERROR_ACCESS_DENIED);
      return ERROR_ACCESS_DENIED;
    }
    // The same file under two names: truncating the destination would
    // empty the source too.
    if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) {
      setLastError(ERROR_SHARING_VIOLATION);
      return ERROR_SHARING_VIOLATION;
    }
    uint32_t attributes = 0;
    if (getFileAttributes(destination, attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_READONLY)) {
      setLastError(ERROR_ACCESS_DENIED);
      return ERROR_ACCESS_DENIED;
    }
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | (failIfExists ? O_EXCL : 0);
  UniqueFd out;
  if (WinError e = detail::openRegularFile(destination, flags, from.st_mode & 0777, out)) return e;
  char buffer[1 << 16];
  for (;;) {
    size_t got = 0;
    if (WinError e = detail::readAll(in.get(), buffer, sizeof buffer, got)) return e;
    if (got == 0) break;
    if (WinError e = detail::writeAll(out.get(), buffer, got)) return e;
  }
  ::fchmod(out.get(), from.st_mode & 0777);
  if (int err = out.close()) return detail::win32FromErrno(err);
  return ERROR_SUCCESS;
}

WinError getFileTimes(const std::string& hostPath, FileTimes& times) {
  struct statx sx {};
  if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return detail::missingFileError(hostPath, errno);
  times.lastAccess = sx.stx_atime.tv_sec;
  times.lastWrite = sx.stx_mtime.tv_sec;
  times.creation = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_mtime.tv_sec;
  return ERROR_SUCCESS;
}

WinError creationTime(const std::string& hostPath, int64_t& seconds) {
  struct statx sx {};
  if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BTIME, &sx) != 0)
    return detail::missingFileError(hostPath, errno);
  // Older kernels and some file systems (tmpfs before 5.x, NFS) keep none.
  if ((sx.stx_mask & STATX_BTIME) == 0) return ERROR_NOT_SUPPORTED;
  seconds = sx.stx_btime.tv_sec;
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
