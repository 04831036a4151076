// Reading a machine file at offsets with pread (see read_only_file.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/linux/errno_map.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/read_only_file.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

class HostReadOnlyFile : public IReadOnlyFile {
 public:
  HostReadOnlyFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~HostReadOnlyFile() override { ::close(fd_); }
  HostReadOnlyFile(const HostReadOnlyFile&) = delete;
  HostReadOnlyFile& operator=(const HostReadOnlyFile&) = delete;

  uint64_t size() const override { return size_; }

  WinError readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* read) override {
    *read = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (*read < count) {
      const ssize_t n = ::pread(fd_, bytes + *read, count - *read,
                                static_cast<off_t>(offset + *read));
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        return detail::win32FromErrno(errno);
      }
      *read += static_cast<uint32_t>(n);
    }
    return ERROR_SUCCESS;
  }

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace

WinError openReadOnlyFile(const IPathMapper& paths, std::wstring_view windowsPath,
                          std::unique_ptr<IReadOnlyFile>* file) {
  std::string host;
  if (const WinError mapped = paths.toHostPath(windowsPath, host)) {
    setLastError(mapped);
    return mapped;
  }
  // O_NONBLOCK: opening a pipe must not wait for a writer; the type check
  // below then refuses it.
  const int fd = hostCalls().open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
  if (fd < 0) {
    if (errno == EISDIR) {
      setLastError(ERROR_ACCESS_DENIED);
      return ERROR_ACCESS_DENIED;
    }
    return detail::missingFileError(host, errno);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    setLastError(ERROR_ACCESS_DENIED);
    return ERROR_ACCESS_DENIED;
  }
  *file = std::make_unique<HostReadOnlyFile>(fd, static_cast<uint64_t>(st.st_size));
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
