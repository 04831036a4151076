// fork and exec for every program this backend starts (see spawn_linux.h).

#include "process/linux/spawn_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/linux/errno_map.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/process/sync.h"

extern char** environ;

namespace zorel::platform::detail {
namespace {

// Moves fd to target in the child (dup2 clears close-on-exec; a descriptor
// already at its place only needs the flag cleared).
bool place(int fd, int target) {
  if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
  return ::dup2(fd, target) == target;
}

// Writes the decimal form of n into out (at least 20 bytes), NUL-ended.
// Async-signal-safe: used between fork and exec.
void formatNumber(long n, char* out) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && count < 20);
  for (int i = 0; i < count; ++i) out[i] = digits[count - 1 - i];
  out[count] = '\0';
}

// What the children tell the starter over the report pipe: the detached
// program's pid and start time, or the errno that stopped the start. One
// write each, below PIPE_BUF, so the two children's reports never mix.
struct Report {
  enum Kind : int32_t { kStarted = 1, kFailed = 2 };
  int32_t kind;
  int32_t error;
  int64_t pid;
  uint64_t startTime;
};

void sendReport(int fd, const Report& report) {
  if (fd < 0) return;
  ssize_t ignored = ::write(fd, &report, sizeof report);
  (void)ignored;
}

WinError execError(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case ENOEXEC:
    case ELIBBAD:
      return ERROR_BAD_EXE_FORMAT;
    default:
      return win32FromErrno(err);
  }
}

}  // namespace

WinError spawnProcess(const SpawnRequest& request, pid_t* pid, uint64_t* startTime) {
  // Everything the child needs is prepared before fork: after it only
  // async-signal-safe calls are allowed in a threaded parent.
  std::vector<char*> argv;
  for (const std::string& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  if (argv.empty()) argv.push_back(const_cast<char*>(request.program.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> envStrings;
  auto overridden = [&](const char* entry) {
    for (const auto& [name, value] : request.environment) {
      if (std::strncmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == '=')
        return true;
    }
    return !request.processIdVariable.empty() &&
           std::strncmp(entry, request.processIdVariable.c_str(),
                        request.processIdVariable.size()) == 0 &&
           entry[request.processIdVariable.size()] == '=';
  };
  for (char** e = environ; e && *e; ++e) {
    if (!overridden(*e)) envStrings.emplace_back(*e);
  }
  for (const auto& [name, value] : request.environment) envStrings.push_back(name + "=" + value);
  size_t pidSlot = envStrings.size();
  if (!request.processIdVariable.empty())
    envStrings.push_back(request.processIdVariable + "=" + std::string(24, '0'));
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(s.data());
  envp.push_back(nullptr);
  char* pidText = request.processIdVariable.empty()
                      ? nullptr
                      : envStrings[pidSlot].data() + request.processIdVariable.size() + 1;

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return win32FromErrno(errno);
  const int devNullIn = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int devNullOut = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (devNullIn < 0 || devNullOut < 0) {
    const int err = errno;
    for (int fd : {report[0], report[1], devNullIn, devNullOut})
      if (fd >= 0) ::close(fd);
    return win32FromErrno(err);
  }
  const int in = request.standardInput >= 0 ? request.standardInput : devNullIn;
  const int out = request.standardOutput >= 0 ? request.standardOutput : devNullOut;
  const int errFd = request.standardError >= 0 ? request.standardError : devNullOut;

  const pid_t child = hostCalls().fork();
  if (child < 0) {
    const int err = errno;
    for (int fd : {report[0], report[1], devNullIn, devNullOut}) ::close(fd);
    return win32FromErrno(err);
  }
  if (child == 0) {
    // The report pipe's write end must survive the renumbering below: put
    // it above every descriptor we place.
    int reportFd = ::fcntl(report[1], F_DUPFD_CLOEXEC, 64);
    int err = 0;
    if (reportFd < 0) err = errno;
    // Standard streams first from copies, so one stream given as another's
    // source is not overwritten before it is used.
    int src[3] = {::fcntl(in, F_DUPFD_CLOEXEC, 64), ::fcntl(out, F_DUPFD_CLOEXEC, 64),
                  ::fcntl(errFd, F_DUPFD_CLOEXEC, 64)};
    int extra = request.extraFd >= 0 ? ::fcntl(request.extraFd, F_DUPFD_CLOEXEC, 64) : -1;
    for (int i = 0; i < 3 && err == 0; ++i) {
      if (src[i] < 0 || !place(src[i], i)) err = errno ? errno : EBADF;
    }
    if (err == 0 && request.extraFd >= 0 && (extra < 0 || !place(extra, request.extraFdTarget)))
      err = errno ? errno : EBADF;
    if (err == 0) {
      // Close everything else: keep 0-2, the extra descriptor and the
      // close-on-exec report pipe.
      const int keep = request.extraFd >= 0 ? request.extraFdTarget : 2;
      for (int fd = 3; fd <= keep; ++fd) {
        if (fd != request.extraFdTarget) ::close(fd);
      }
      if (reportFd > keep + 1) ::syscall(SYS_close_range, keep + 1, reportFd - 1, 0);
      ::syscall(SYS_close_range, reportFd + 1, ~0U, 0);
      ::signal(SIGPIPE, SIG_DFL);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      if (!request.workingFolder.empty() && ::chdir(request.workingFolder.c_str()) != 0)
        err = errno;
    }
    if (err == 0 && request.detached) {
      // This child only forks the program and leaves, so init adopts the
      // program, which leads a session (and process group) of its own.
      const pid_t program = ::fork();
      if (program < 0) {
        err = errno;
      } else if (program > 0) {
        Report started{Report::kStarted, 0, program, 0};
        char state = 0;
        readProcessStart(program, &started.startTime, &state);
        sendReport(reportFd, started);
        ::_exit(0);
      } else if (::setsid() < 0) {
        err = errno;
      }
    }
    if (err == 0) {
      if (pidText) formatNumber(static_cast<long>(::getpid()), pidText);
      ::execve(request.program.c_str(), argv.data(), envp.data());
      err = errno;
    }
    sendReport(reportFd, Report{Report::kFailed, err, 0, 0});
    ::_exit(127);
  }
  ::close(report[1]);
  ::close(devNullIn);
  ::close(devNullOut);
  // The pipe ends when every copy of its write end is gone: at the exec,
  // or when the children that hold it exit.
  Report got{};
  pid_t program = request.detached ? -1 : child;
  uint64_t programStart = 0;
  int childErr = 0;
  for (;;) {
    const ssize_t n = ::read(report[0], &got, sizeof got);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof got)) break;
    if (got.kind == Report::kStarted) {
      program = static_cast<pid_t>(got.pid);
      programStart = got.startTime;
    } else {
      childErr = got.error ? got.error : EIO;
    }
  }
  ::close(report[0]);
  if (request.detached || childErr != 0) {
    int32_t ignored = 0;
    waitForChild(child, kInfinite, &ignored);
  }
  if (childErr != 0) return execError(childErr);
  if (program <= 0) return ERROR_GEN_FAILURE;
  if (startTime) {
    char state = 0;
    if (!request.detached) readProcessStart(program, &programStart, &state);
    *startTime = programStart;
  }
  *pid = program;
  return ERROR_SUCCESS;
}

bool readProcessStart(pid_t pid, uint64_t* startTime, char* state) {
  char path[48] = "/proc/";
  formatNumber(static_cast<long>(pid), path + 6);
  size_t len = 6;
  while (path[len] != '\0') ++len;
  const char tail[] = "/stat";
  for (size_t i = 0; i < sizeof tail; ++i) path[len + i] = tail[i];
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[1024];
  ssize_t n;
  do {
    n = ::read(fd, text, sizeof text - 1);
  } while (n < 0 && errno == EINTR);
  ::close(fd);
  if (n <= 0) return false;
  text[n] = '\0';
  // The name (field 2) may hold blanks and parentheses: fields 3 on follow
  // the last ')'.
  const char* p = nullptr;
  for (ssize_t i = n - 1; i >= 0; --i) {
    if (text[i] == ')') {
      p = text + i + 1;
      break;
    }
  }
  if (p == nullptr || p[0] != ' ') return false;
  *state = p[1];
  int field = 3;
  const char* q = p + 1;
  while (*q != '\0' && field < 22) {
    if (*q == ' ') ++field;
    ++q;
  }
  if (field != 22) return false;
  uint64_t value = 0;
  for (; *q >= '0' && *q <= '9'; ++q) value = value * 10 + static_cast<uint64_t>(*q - '0');
  *startTime = value;
  return true;
}

bool waitForChild(pid_t pid, uint32_t timeoutMs, int32_t* exitCode) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // A pidfd lets the wait sleep until the child ends; without one (old
  // kernels) the wait polls.
  int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  auto finish = [&](bool ended, int32_t code) {
    if (pidfd >= 0) ::close(pidfd);
    if (ended && exitCode) *exitCode = code;
    return ended;
  };
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(pid, &status, WNOHANG);
    if (got == pid) {
      return finish(true, WIFEXITED(status) ? WEXITSTATUS(status)
                                            : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
    }
    if (got < 0 && errno != EINTR) return finish(true, -1);
    int waitMs = 20;
    if (timeoutMs != kInfinite) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return finish(false, 0);
      waitMs = static_cast<int>(std::min<long long>(left, pidfd >= 0 ? 1000 : 20));
    } else if (pidfd >= 0) {
      waitMs = 1000;
    }
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      ::poll(&p, 1, waitMs);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
  }
}

void reapInBackground(pid_t pid) {
  std::thread([pid] {
    int32_t ignored = 0;
    waitForChild(pid, kInfinite, &ignored);
  }).detach();
}

}  // namespace zorel::platform::detail
