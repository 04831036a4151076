// The services' run state in the machine root and the checks made before a
// recorded process is signalled (see service_run_state_linux.h).

#include "services/linux/service_run_state_linux.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <thread>

#include "base/linux/errno_map.h"
#include "process/linux/program_records_linux.h"
#include "process/linux/spawn_linux.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/host_file.h"

namespace zorel::platform::detail {
namespace {

std::string escapeName(const std::string& name) {
  std::string out;
  for (char c : name) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string unescapeName(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

int openPidfd(uint32_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
}

// True while the pidfd's process has not exited.
bool alive(int pidfd) {
  pollfd p{pidfd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 0;
}

}  // namespace

std::wstring serviceKey(std::wstring_view name) {
  std::wstring key(name);
  for (wchar_t& c : key) c = static_cast<wchar_t>(std::towlower(c));
  return key;
}

ServiceRunState::ServiceRunState(const std::string& machineRoot)
    : folder_(machineRoot + "/services"), bootId_(::zorel::platform::detail::bootId()) {}

ServiceRunState::~ServiceRunState() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

ServiceRunState::Lock::Lock(ServiceRunState& state) : state_(state), local_(state.mutex_) {
  if (state_.lockFd_ < 0) {
    hostCalls().mkdir(state_.folder_.c_str(), 0755);
    state_.lockFd_ =
        hostCalls().open((state_.folder_ + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (state_.lockFd_ < 0) {
      error_ = win32FromErrno(errno);
      return;
    }
  }
  int r;
  do {
    r = ::flock(state_.lockFd_, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  if (r != 0) error_ = win32FromErrno(errno);
}

ServiceRunState::Lock::~Lock() {
  if (error_ == ERROR_SUCCESS) ::flock(state_.lockFd_, LOCK_UN);
}

std::vector<RunRecord> ServiceRunState::read() const {
  std::vector<RunRecord> records;
  std::ifstream in(folder_ + "/state");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string name, pid, start, boot;
    if (!std::getline(fields, name, '\t') || !std::getline(fields, pid, '\t') ||
        !std::getline(fields, start, '\t') || !std::getline(fields, boot))
      continue;
    try {
      RunRecord rec;
      rec.name = fromUtf8(unescapeName(name));
      rec.pid = static_cast<uint32_t>(std::stoul(pid));
      rec.startTime = std::stoull(start);
      rec.bootId = boot;
      records.push_back(std::move(rec));
    } catch (...) {
      // A line that is not a record is skipped: its service reads stopped.
    }
  }
  return records;
}

WinError ServiceRunState::write(const std::vector<RunRecord>& records) {
  hostCalls().mkdir(folder_.c_str(), 0755);
  std::ostringstream out;
  for (const RunRecord& rec : records)
    out << escapeName(toUtf8(rec.name)) << '\t' << rec.pid << '\t' << rec.startTime << '\t'
        << rec.bootId << '\n';
  // Replaced whole: a failed write leaves the previous state in place.
  return replaceFile(folder_ + "/state", out.str());
}

RecordedProcess ServiceRunState::inspect(const RunRecord& rec) const {
  if (rec.bootId != bootId_ || rec.pid == 0) return RecordedProcess::kGone;
  uint64_t start = 0;
  char state = 0;
  if (!readProcessStart(static_cast<pid_t>(rec.pid), &start, &state) || start != rec.startTime)
    return RecordedProcess::kGone;
  switch (state) {
    case 'Z':
    case 'X':
    case 'x':
      return RecordedProcess::kGone;
    case 'T':
      return RecordedProcess::kStopped;
    default:
      return RecordedProcess::kRunning;
  }
}

bool signalRecorded(const RunRecord& rec, int sig) {
  const int pidfd = openPidfd(rec.pid);
  if (pidfd < 0) return false;
  // The pidfd pins the process: once its start time matches, the pid (and
  // the process group it leads) cannot pass to another program while the
  // pidfd shows it alive.
  uint64_t start = 0;
  char state = 0;
  bool ours = readProcessStart(static_cast<pid_t>(rec.pid), &start, &state) &&
              start == rec.startTime && alive(pidfd);
  if (ours) {
    ours = ::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0) == 0;
    if (ours && alive(pidfd)) ::kill(-static_cast<pid_t>(rec.pid), sig);
  }
  ::close(pidfd);
  return ours;
}

bool waitRecordedEnd(const RunRecord& rec, uint32_t timeoutMs) {
  const int pidfd = openPidfd(rec.pid);
  if (pidfd < 0) return true;
  uint64_t start = 0;
  char state = 0;
  if (!readProcessStart(static_cast<pid_t>(rec.pid), &start, &state) || start != rec.startTime ||
      state == 'Z') {
    ::close(pidfd);
    return true;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{pidfd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, std::min<long long>(left, 50))));
    if (r > 0) {
      ended = true;
      break;
    }
    // A zombie whose parent does not collect it still counts as ended.
    if (!readProcessStart(static_cast<pid_t>(rec.pid), &start, &state) || state == 'Z') {
      ended = true;
      break;
    }
    if (left <= 0) break;
  }
  ::close(pidfd);
  return ended;
}

}  // namespace zorel::platform::detail
