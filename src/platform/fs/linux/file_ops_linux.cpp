// Windows file operations over POSIX calls (see file_ops.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/linux/errno_map.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/file_ops.h"

namespace zorel::platform {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

}  // namespace

WinError winErrorFromErrno(int err) { return detail::win32FromErrno(err); }

WinError pathFileExists(const std::string& hostPath) {
  if (hostPath.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) == 0) return ERROR_SUCCESS;
  return detail::missingFileError(hostPath, errno);
}

WinError deleteFile(const std::string& hostPath) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  if (!S_ISLNK(st.st_mode)) {
    uint32_t attributes = 0;
    if (getFileAttributes(hostPath, attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_READONLY))
      return ERROR_ACCESS_DENIED;
  }
  if (::unlink(hostPath.c_str()) != 0) return detail::missingFileError(hostPath, errno);
  return ERROR_SUCCESS;
}

WinError removeDirectory(const std::string& hostPath) {
  struct stat st {};
  if (::lstat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  if (!S_ISDIR(st.st_mode)) return ERROR_DIRECTORY;
  if (::rmdir(hostPath.c_str()) != 0) {
    int err = errno;
    if (err == ENOTEMPTY || err == EEXIST) return ERROR_DIR_NOT_EMPTY;
    return detail::win32FromErrno(err);
  }
  return ERROR_SUCCESS;
}

WinError copyFile(const std::string& source, const std::string& destination,
                  bool failIfExists) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return detail::missingFileError(source, errno);
  struct stat from {};
  if (::fstat(in.get(), &from) != 0) return detail::win32FromErrno(errno);
  if (S_ISDIR(from.st_mode)) return ERROR_ACCESS_DENIED;

  struct stat to {};
  if (::stat(destination.c_str(), &to) == 0) {
    if (failIfExists) return ERROR_FILE_EXISTS;
    if (S_ISDIR(to.st_mode)) return ERROR_ACCESS_DENIED;
    // The same file under two names: truncating the destination would
    // empty the source too.
    if (to.st_dev == from.st_dev && to.st_ino == from.st_ino) return ERROR_SHARING_VIOLATION;
    uint32_t attributes = 0;
    if (getFileAttributes(destination, attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_READONLY))
      return ERROR_ACCESS_DENIED;
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
  Fd out(::open(destination.c_str(), flags, from.st_mode & 0777));
  if (out.get() < 0) {
    int err = errno;
    if (err == EEXIST) return ERROR_FILE_EXISTS;
    return detail::missingFileError(destination, err);
  }
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return detail::win32FromErrno(errno);
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.get(), buffer + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        return detail::win32FromErrno(errno);
      }
      done += w;
    }
  }
  ::fchmod(out.get(), from.st_mode & 0777);
  if (::close(out.release()) != 0) return detail::win32FromErrno(errno);
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
