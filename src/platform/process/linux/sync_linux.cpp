// Named single-instance lock (flock on a lock file) and manual-reset event.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cwctype>
#include <mutex>

#include "base/linux/errno_map.h"
#include "machine/linux/machine_internal.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/process/sync.h"

namespace zorel::platform {
namespace {

class FlockInstanceLock final : public INamedInstanceLock {
 public:
  FlockInstanceLock(std::wstring name, int fd) : name_(std::move(name)), fd_(fd) {}
  ~FlockInstanceLock() override { ::close(fd_); }  // closing releases the flock
  const std::wstring& name() const override { return name_; }

 private:
  std::wstring name_;
  int fd_;
};

// File name for an object name: lower case (names compare case-insensitively)
// with every byte outside [a-z0-9{}._-] written as %XX.
std::string lockFileName(std::wstring_view name) {
  std::wstring lower;
  for (wchar_t c : name) lower.push_back(static_cast<wchar_t>(std::towlower(c)));
  std::string out;
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char c : toUtf8(lower)) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '{' || c == '}' || c == '-' ||
        c == '_' || c == '.') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out + ".lock";
}

class ManualResetEvent final : public IManualResetEvent {
 public:
  explicit ManualResetEvent(bool set) : set_(set) {}
  void set() override {
    {
      std::lock_guard<std::mutex> g(lock_);
      set_ = true;
    }
    cv_.notify_all();
  }
  void reset() override {
    std::lock_guard<std::mutex> g(lock_);
    set_ = false;
  }
  bool isSet() const override {
    std::lock_guard<std::mutex> g(lock_);
    return set_;
  }
  uint32_t wait(uint32_t timeoutMs) override {
    std::unique_lock<std::mutex> g(lock_);
    if (timeoutMs == kInfinite) {
      cv_.wait(g, [this] { return set_; });
      return kWaitObject0;
    }
    return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return set_; })
               ? kWaitObject0
               : kWaitTimeout;
  }

 private:
  mutable std::mutex lock_;
  std::condition_variable cv_;
  bool set_;  // guarded by lock_
};

}  // namespace

std::unique_ptr<INamedInstanceLock> claimNamedInstance(std::wstring_view name, WinError& error) {
  std::wstring_view bare = name;
  for (std::wstring_view prefix : {std::wstring_view(L"Global\\"), std::wstring_view(L"Local\\")}) {
    if (bare.size() >= prefix.size() && bare.substr(0, prefix.size()) == prefix) {
      bare.remove_prefix(prefix.size());
      break;
    }
  }
  if (bare.empty()) {
    error = ERROR_INVALID_NAME;
    return nullptr;
  }
  if (bare.find(L'\\') != std::wstring_view::npos) {
    error = ERROR_PATH_NOT_FOUND;
    return nullptr;
  }
  const std::string folder = detail::lockFolder();
  hostCalls().mkdir(folder.c_str(), 0777);
  const std::string path = folder + "/" + lockFileName(bare);
  int fd = hostCalls().open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = detail::win32FromErrno(errno);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(fd);
    error = e == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : detail::win32FromErrno(e);
    return nullptr;
  }
  error = 0;
  return std::make_unique<FlockInstanceLock>(std::wstring(name), fd);
}

std::unique_ptr<IManualResetEvent> createManualResetEvent(bool initiallySet) {
  return std::make_unique<ManualResetEvent>(initiallySet);
}

}  // namespace zorel::platform
