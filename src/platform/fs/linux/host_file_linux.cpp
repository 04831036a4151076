// Appending and replacing writers over the host-call table (see host_file.h).

#include "zorel/platform/fs/host_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "base/linux/errno_map.h"
#include "zorel/platform/base/host_calls.h"

namespace zorel::platform {

namespace {

using detail::win32FromErrno;

WinError writeWhole(int fd, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = hostCalls().write(fd, bytes + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return win32FromErrno(errno);
    }
    done += static_cast<size_t>(n);
  }
  return ERROR_SUCCESS;
}

int syncRetried(int fd) {
  int rc;
  do {
    rc = hostCalls().fsync(fd);
  } while (rc != 0 && errno == EINTR);
  return rc;
}

int openRetried(const std::string& path, int flags, mode_t mode) {
  int fd;
  do {
    fd = hostCalls().open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

// ------------------------------------------------------------ appending

AppendingFile::~AppendingFile() { close(); }

WinError AppendingFile::open(const std::string& hostPath, bool empty) {
  close();
  const int fd = openRetried(hostPath, O_WRONLY | O_CREAT | O_APPEND | (empty ? O_TRUNC : 0), 0644);
  if (fd < 0) return win32FromErrno(errno);
  fd_ = fd;
  return ERROR_SUCCESS;
}

WinError AppendingFile::append(const void* data, size_t size) {
  if (fd_ < 0) return ERROR_INVALID_HANDLE;
  return writeWhole(fd_, data, size);
}

int64_t AppendingFile::size() const {
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return -1;
  return info.st_size;
}

void AppendingFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

// ------------------------------------------------------------ replacing

ReplacingFile::ReplacingFile(std::string destination) : destination_(std::move(destination)) {}

ReplacingFile::~ReplacingFile() { discard(); }

WinError ReplacingFile::open() {
  discard();
  failed_ = ERROR_SUCCESS;
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = destination_ + "." + std::to_string(::getpid()) + "-" +
                 std::to_string(counter.fetch_add(1)) + ".part";
    fd_ = openRetried(temporary_, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd_ >= 0) return ERROR_SUCCESS;
    if (errno != EEXIST) break;
  }
  failed_ = win32FromErrno(errno);
  temporary_.clear();
  return failed_;
}

WinError ReplacingFile::write(const void* data, size_t size) {
  if (failed_ != ERROR_SUCCESS) return failed_;
  if (fd_ < 0) return failed_ = ERROR_INVALID_HANDLE;
  failed_ = writeWhole(fd_, data, size);
  return failed_;
}

WinError ReplacingFile::commit() {
  if (failed_ == ERROR_SUCCESS && fd_ < 0) failed_ = ERROR_INVALID_HANDLE;
  if (failed_ == ERROR_SUCCESS && syncRetried(fd_) != 0) failed_ = win32FromErrno(errno);
  if (failed_ == ERROR_SUCCESS) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 && errno != EINTR) failed_ = win32FromErrno(errno);
  }
  if (failed_ == ERROR_SUCCESS &&
      hostCalls().rename(temporary_.c_str(), destination_.c_str()) != 0) {
    failed_ = win32FromErrno(errno);
  }
  if (failed_ != ERROR_SUCCESS) {
    const WinError failure = failed_;
    discard();
    failed_ = failure;
    return failure;
  }
  temporary_.clear();
  // The new name itself reaches the disk with its folder; a failure here
  // loses nothing a crash of this process could lose.
  const int folder = ::open(folderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    syncRetried(folder);
    ::close(folder);
  }
  return ERROR_SUCCESS;
}

void ReplacingFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) hostCalls().unlink(temporary_.c_str());
  temporary_.clear();
}

WinError replaceFile(const std::string& hostPath, std::string_view bytes) {
  ReplacingFile file(hostPath);
  WinError result = file.open();
  if (result == ERROR_SUCCESS) result = file.write(bytes.data(), bytes.size());
  if (result == ERROR_SUCCESS) result = file.commit();
  return result;
}

}  // namespace zorel::platform
