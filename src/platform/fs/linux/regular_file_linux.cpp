// Opening regular files only, without ever waiting (see regular_file.h).

#include "fs/linux/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/linux/errno_map.h"
#include "zorel/platform/base/host_calls.h"

namespace zorel::platform::detail {

UniqueFd::~UniqueFd() { close(); }

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

int UniqueFd::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

int UniqueFd::close() {
  if (fd_ < 0) return 0;
  int result = ::close(release()) == 0 ? 0 : errno;
  return result;
}

WinError openRegularFile(const std::string& hostPath, int flags, mode_t mode, UniqueFd& fd) {
  struct stat before {};
  if (::stat(hostPath.c_str(), &before) == 0) {
    if (!S_ISREG(before.st_mode)) {
      setLastError(ERROR_ACCESS_DENIED);
      return ERROR_ACCESS_DENIED;
    }
    if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) return win32FromErrno(EEXIST);
  } else if (errno != ENOENT || !(flags & O_CREAT)) {
    return missingFileError(hostPath, errno);
  }
  int opened = hostCalls().open(hostPath.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  if (opened < 0) {
    int err = errno;
    // A pipe without a reader, put in the name's place after the look.
    if (err == ENXIO) {
      setLastError(ERROR_ACCESS_DENIED);
      return ERROR_ACCESS_DENIED;
    }
    return missingFileError(hostPath, err);
  }
  UniqueFd held(opened);
  struct stat after {};
  if (::fstat(held.get(), &after) != 0) return win32FromErrno(errno);
  if (!S_ISREG(after.st_mode)) {
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  int status = ::fcntl(held.get(), F_GETFL);
  if (status >= 0) ::fcntl(held.get(), F_SETFL, status & ~O_NONBLOCK);
  fd = std::move(held);
  return ERROR_SUCCESS;
}

WinError readAll(int fd, char* data, size_t size, size_t& done) {
  done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data + done, size - done);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return win32FromErrno(errno);
    }
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

WinError writeAll(int fd, const char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = hostCalls().write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return win32FromErrno(errno);
    }
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform::detail
