// Child processes with a socket-pair channel: the shared spawn routine,
// SIGKILL, waitpid.

#include "zorel/platform/process/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <thread>

#include "base/linux/errno_map.h"
#include "process/linux/spawn_linux.h"

namespace zorel::platform {
namespace {

constexpr size_t kReadChunk = 64 * 1024;

class SocketChannel final : public IMessageChannel {
 public:
  explicit SocketChannel(int fd) : fd_(fd) {}
  ~SocketChannel() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool write(const void* data, size_t size) override {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      // MSG_NOSIGNAL: a vanished peer is a false result, not SIGPIPE.
      const ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      p += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  ChannelStatus read(std::string& into, uint32_t timeoutMs) override {
    pollfd p{fd_, POLLIN, 0};
    const int wait = timeoutMs == kInfinite ? -1 : static_cast<int>(std::min<uint32_t>(timeoutMs, INT_MAX));
    int ready;
    do {
      ready = ::poll(&p, 1, wait);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0) return ChannelStatus::Timeout;
    if (ready < 0) return ChannelStatus::Closed;
    char buffer[kReadChunk];
    ssize_t n;
    do {
      n = ::recv(fd_, buffer, sizeof buffer, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return ChannelStatus::Closed;
    into.append(buffer, static_cast<size_t>(n));
    return ChannelStatus::Ok;
  }

 private:
  int fd_;
};

class HostChildProcess final : public IChildProcess {
 public:
  HostChildProcess(pid_t pid, int fd) : pid_(pid), channel_(fd) {}

  ~HostChildProcess() override {
    terminate();
    waitForExit(kInfinite, nullptr);
  }

  IMessageChannel& channel() override { return channel_; }
  int32_t processId() const override { return pid_; }

  bool waitForExit(uint32_t timeoutMs, int32_t* exitCode) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!reaped_) {
          int status = 0;
          const pid_t got = ::waitpid(pid_, &status, WNOHANG);
          if (got == pid_ || (got < 0 && errno == ECHILD)) {
            reaped_ = true;
            if (got == pid_) {
              exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status)
                                            : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            }
          }
        }
        if (reaped_) {
          if (exitCode) *exitCode = exitCode_;
          return true;
        }
      }
      if (timeoutMs != kInfinite && std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  void terminate() override {
    // The pid stays ours until it is reaped, so the signal cannot reach a
    // stranger that was given the same number.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reaped_) ::kill(pid_, SIGKILL);
  }

 private:
  pid_t pid_;
  SocketChannel channel_;
  std::mutex mutex_;
  bool reaped_ = false;
  int32_t exitCode_ = -1;
};

}  // namespace

std::unique_ptr<IChildProcess> startChildProcess(const std::string& program,
                                                 const std::vector<std::string>& args,
                                                 WinError& error) {
  error = ERROR_SUCCESS;
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    error = detail::win32FromErrno(errno);
    return nullptr;
  }
  detail::SpawnRequest request;
  request.program = program;
  request.argv.push_back(program);
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  // The child's output goes to our standard error: it must never write
  // into the stream a parent may be answering on.
  request.standardOutput = STDERR_FILENO;
  request.standardError = STDERR_FILENO;
  request.extraFd = pair[1];
  request.extraFdTarget = kChildChannelFd;
  pid_t pid = 0;
  error = detail::spawnProcess(request, &pid);
  ::close(pair[1]);
  if (error != ERROR_SUCCESS) {
    ::close(pair[0]);
    return nullptr;
  }
  return std::make_unique<HostChildProcess>(pid, pair[0]);
}

std::unique_ptr<IMessageChannel> openParentChannel() {
  if (::fcntl(kChildChannelFd, F_GETFD) < 0) return nullptr;
  int type = 0;
  socklen_t length = sizeof type;
  if (::getsockopt(kChildChannelFd, SOL_SOCKET, SO_TYPE, &type, &length) != 0) return nullptr;
  ::fcntl(kChildChannelFd, F_SETFD, FD_CLOEXEC);
  return std::make_unique<SocketChannel>(kChildChannelFd);
}

std::string currentProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace zorel::platform
