// The resolver cache flush: which host command, and running it.

#include "net/linux/dns_flush.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/base/host_variable.h"
#include "zorel/platform/net/network.h"

namespace zorel::platform::detail {
namespace {

bool isExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// Collects `pid` without blocking. RETURNS true once it has ended, with its
// wait status in `status`.
bool reaped(pid_t pid, int& status) {
  pid_t got;
  do {
    got = ::waitpid(pid, &status, WNOHANG);
  } while (got < 0 && errno == EINTR);
  return got == pid || (got < 0 && errno == ECHILD);
}

}  // namespace

std::string findOnHostPath(const std::string& name) {
  const std::optional<std::wstring> variable = hostVariable(L"PATH");
  const std::string path = variable ? toUtf8(*variable) : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    // An empty element would mean the working folder; it is not searched.
    if (end > start) {
      std::string candidate = path.substr(start, end - start);
      if (candidate.back() != '/') candidate += '/';
      candidate += name;
      if (isExecutableFile(candidate)) return candidate;
    }
    start = end + 1;
  }
  return {};
}

std::vector<std::string> dnsFlushCommand() {
  if (const std::optional<std::wstring> command = hostVariable(kDnsFlushVariable)) {
    if (command->empty()) return {};
    return {"/bin/sh", "-c", toUtf8(*command)};
  }
  if (std::string resolvectl = findOnHostPath("resolvectl"); !resolvectl.empty())
    return {resolvectl, "flush-caches"};
  if (std::string nscd = findOnHostPath("nscd"); !nscd.empty()) return {nscd, "-i", "hosts"};
  return {};
}

bool runWithTimeLimit(const std::vector<std::string>& argv, uint32_t timeoutMs) {
  if (argv.empty()) return false;
  // Prepared before fork: only async-signal-safe calls follow in the child.
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  sigset_t none;
  sigemptyset(&none);

  const pid_t pid = hostCalls().fork();
  if (pid < 0) return false;
  if (pid == 0) {
    ::setpgid(0, 0);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull < 0 || ::dup2(devNull, STDIN_FILENO) < 0 || ::dup2(devNull, STDOUT_FILENO) < 0 ||
        ::dup2(devNull, STDERR_FILENO) < 0)
      ::_exit(127);
    ::syscall(SYS_close_range, 3U, ~0U, 0);
    ::signal(SIGPIPE, SIG_DFL);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  // Also set here, so the group exists before a kill can be needed.
  ::setpgid(pid, pid);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pause = std::chrono::milliseconds(1);
  int status = 0;
  while (!reaped(pid, status)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      // The pid is not reaped yet, so the group cannot belong to a stranger.
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return false;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zorel::platform::detail
