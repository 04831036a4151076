#include <sys/stat.h>

#include <cerrno>

#include "base/linux/errno_map.h"

namespace zorel::platform {

namespace {
thread_local WinError t_lastError = ERROR_SUCCESS;
}  // namespace

void setLastError(WinError error) { t_lastError = error; }
WinError getLastError() { return t_lastError; }

}  // namespace zorel::platform

namespace zorel::platform::detail {

namespace {

WinError mapErrno(int err) {
  switch (err) {
    case 0: return 0;
    case ENOENT: return 2;        // ERROR_FILE_NOT_FOUND
    case ENOTDIR: return 3;       // ERROR_PATH_NOT_FOUND
    case EMFILE:
    case ENFILE: return 4;        // ERROR_TOO_MANY_OPEN_FILES
    case EACCES:
    case EPERM: return 5;         // ERROR_ACCESS_DENIED
    case EBADF: return 6;         // ERROR_INVALID_HANDLE
    case ENOMEM: return 8;        // ERROR_NOT_ENOUGH_MEMORY
    case EROFS: return 19;        // ERROR_WRITE_PROTECT
    case EXDEV: return 17;        // ERROR_NOT_SAME_DEVICE
    case EBUSY: return 32;        // ERROR_SHARING_VIOLATION
    case EEXIST: return 80;       // ERROR_FILE_EXISTS
    case EINVAL: return 87;       // ERROR_INVALID_PARAMETER
    case EPIPE: return 109;       // ERROR_BROKEN_PIPE
    case ENOSPC: return 112;      // ERROR_DISK_FULL
    case ENAMETOOLONG: return 206;  // ERROR_FILENAME_EXCED_RANGE
    case ENOTEMPTY: return 145;   // ERROR_DIR_NOT_EMPTY
    case ENOSYS:
    case EOPNOTSUPP: return 50;   // ERROR_NOT_SUPPORTED
    case EWOULDBLOCK: return 33;  // ERROR_LOCK_VIOLATION
    default: return 31;           // ERROR_GEN_FAILURE
  }
}

// Every failure mapped here is the failure of the call that asked, so it
// becomes the thread's last error.
WinError failed(WinError error) {
  if (error != ERROR_SUCCESS) setLastError(error);
  return error;
}

WinError mapMissing(const std::string& hostPath, int err) {
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err != ENOENT) return mapErrno(err);
  std::string parent = hostPath;
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  size_t slash = parent.rfind('/');
  if (slash == std::string::npos) return ERROR_FILE_NOT_FOUND;
  parent.resize(slash == 0 ? 1 : slash);
  struct stat st {};
  if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

}  // namespace

WinError win32FromErrno(int err) { return failed(mapErrno(err)); }

WinError missingFileError(const std::string& hostPath, int err) {
  // stat() below may change errno; the mapping does not depend on it.
  return failed(mapMissing(hostPath, err));
}

}  // namespace zorel::platform::detail
