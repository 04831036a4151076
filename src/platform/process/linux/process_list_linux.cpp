// The process list over /proc (see process_list.h).

#include "zorel/platform/process/process_list.h"

#include <dirent.h>
#include <elf.h>
#include <fcntl.h>
#include <pwd.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "base/linux/errno_map.h"
#include "process/linux/program_records_linux.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel::platform {
namespace {

constexpr const char* kDeleted = " (deleted)";
// How long terminate waits for a killed process to end.
constexpr int kTerminateWaitMs = 1000;

// What one read of /proc/<pid>/stat tells.
struct StatFields {
  char state = 0;
  uint32_t parent = 0;
  uint32_t threads = 0;
  uint64_t startTime = 0;
  uint64_t flags = 0;
  std::string comm;
};

constexpr uint64_t kPfKthread = 0x00200000;  // PF_KTHREAD in the stat flags

bool readStat(uint32_t pid, StatFields* out) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return false;
  buffer[n] = '\0';
  char* open = std::strchr(buffer, '(');
  char* close = std::strrchr(buffer, ')');
  if (!open || !close || close < open) return false;
  out->comm.assign(open + 1, close);
  // Fields 3 onwards, numbered as proc(5) does.
  char* p = close + 1;
  for (int field = 3; field <= 22; ++field) {
    while (*p == ' ') ++p;
    if (!*p) return false;
    char* end = nullptr;
    if (field == 3) {
      out->state = *p;
      end = p + 1;
    } else {
      const unsigned long long value = std::strtoull(p, &end, 10);
      if (field == 4) out->parent = static_cast<uint32_t>(value);
      if (field == 9) out->flags = value;
      if (field == 20) out->threads = static_cast<uint32_t>(value);
      if (field == 22) out->startTime = value;
    }
    while (*end && *end != ' ') ++end;
    p = end;
  }
  return true;
}

// The exe link of pid. RETURNS 0; ERROR_ACCESS_DENIED when it may not be
// read; ERROR_NO_MORE_FILES when there is none (a kernel thread, or gone).
WinError readExe(uint32_t pid, std::string* target) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/exe", pid);
  char buffer[4096];
  const ssize_t n = ::readlink(path, buffer, sizeof buffer);
  if (n < 0)
    return errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_NO_MORE_FILES;
  target->assign(buffer, static_cast<size_t>(n));
  const size_t deleted = std::strlen(kDeleted);
  if (target->size() > deleted && target->compare(target->size() - deleted, deleted, kDeleted) == 0)
    target->resize(target->size() - deleted);
  return ERROR_SUCCESS;
}

std::wstring fileName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The start records of the current machine by pid: the last record whose
// start time is the one asked for holds.
class Records {
 public:
  Records() {
    if (IMachine* machine = currentMachine()) {
      for (detail::ProgramRecord& r : detail::readProgramRecords(machine->hostRoot()))
        byPid_[r.pid].push_back(std::move(r));
    }
  }
  const std::wstring* find(uint32_t pid, uint64_t startTime) const {
    auto it = byPid_.find(pid);
    if (it == byPid_.end()) return nullptr;
    for (auto r = it->second.rbegin(); r != it->second.rend(); ++r)
      if (r->startTime == startTime) return &r->windowsPath;
    return nullptr;
  }

 private:
  std::unordered_map<uint32_t, std::vector<detail::ProgramRecord>> byPid_;
};

// The name of a live process (see process_list.h), with its exe link's
// outcome in *exeError.
std::wstring processName(const Records& records, uint32_t pid, const StatFields& stat,
                         WinError* exeError) {
  if (const std::wstring* recorded = records.find(pid, stat.startTime)) {
    *exeError = ERROR_SUCCESS;
    return fileName(*recorded);
  }
  std::string exe;
  *exeError = readExe(pid, &exe);
  if (*exeError == ERROR_SUCCESS) {
    const size_t slash = exe.rfind('/');
    return fromUtf8(slash == std::string::npos ? exe : exe.substr(slash + 1));
  }
  return fromUtf8(stat.comm);
}

int pidfdOpen(uint32_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

class HostProcessHandle final : public IProcessHandle {
 public:
  HostProcessHandle(uint32_t pid, uint64_t startTime, uint32_t access, bool kernelThread,
                    std::shared_ptr<const Records> records)
      : pid_(pid),
        startTime_(startTime),
        access_(access),
        kernelThread_(kernelThread),
        records_(std::move(records)) {}

  uint32_t processId() const override { return pid_; }

  WinError imagePath(std::wstring* path) override {
    StatFields stat;
    if (!same(&stat)) return ERROR_INVALID_PARAMETER;
    std::wstring full;
    if (const std::wstring* recorded = records_->find(pid_, startTime_)) {
      full = *recorded;
    } else {
      std::string exe;
      const WinError e = readExe(pid_, &exe);
      if (e == ERROR_ACCESS_DENIED) return e;
      if (e != ERROR_SUCCESS) return ERROR_GEN_FAILURE;
      IMachine* machine = currentMachine();
      full = machine ? machine->paths().toWindowsPath(exe) : L"Z:" + fromUtf8(exe);
      std::replace(full.begin(), full.end(), L'/', L'\\');
    }
    if (full.size() >= kImagePathBuffer) return ERROR_INSUFFICIENT_BUFFER;
    *path = full;
    return ERROR_SUCCESS;
  }

  WinError isWow64(bool* wow64) override {
    if (!same()) return ERROR_INVALID_PARAMETER;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/exe", pid_);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ERROR_ACCESS_DENIED;
    unsigned char ident[EI_NIDENT] = {};
    const ssize_t n = ::read(fd, ident, sizeof ident);
    ::close(fd);
    if (n < EI_NIDENT || std::memcmp(ident, ELFMAG, SELFMAG) != 0) return ERROR_ACCESS_DENIED;
    *wow64 = ident[EI_CLASS] == ELFCLASS32;
    return ERROR_SUCCESS;
  }

  WinError userName(std::wstring* name) override {
    uint32_t ids[2];
    if (!statusIds("Uid:", ids)) return ERROR_INVALID_PARAMETER;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(ids[0], &entry, buffer, sizeof buffer, &found) != 0 || !found)
      return ERROR_NONE_MAPPED;
    *name = fromUtf8(found->pw_name);
    return ERROR_SUCCESS;
  }

  WinError elevated(bool* isElevated) override {
    uint32_t ids[2];
    if (!statusIds("Uid:", ids)) return ERROR_INVALID_PARAMETER;
    *isElevated = ids[1] == 0;
    return ERROR_SUCCESS;
  }

  WinError workingSetSize(uint64_t* bytes) override {
    std::string status;
    if (!readStatus(&status)) return ERROR_INVALID_PARAMETER;
    const size_t at = status.find("\nVmRSS:");
    // A kernel thread has no memory of its own.
    *bytes = at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + 7, nullptr, 10) * 1024;
    return ERROR_SUCCESS;
  }

  WinError terminate(uint32_t) override {
    if (!(access_ & PROCESS_TERMINATE)) return ERROR_ACCESS_DENIED;
    if (kernelThread_) return ERROR_ACCESS_DENIED;
    // The pidfd pins the process: once its start time is confirmed through
    // /proc, the signal sent through the pidfd reaches that process or none.
    const int pidfd = pidfdOpen(pid_);
    if (pidfd < 0) return errno == ESRCH ? ERROR_INVALID_PARAMETER : detail::win32FromErrno(errno);
    WinError result = ERROR_SUCCESS;
    if (!same()) {
      result = ERROR_INVALID_PARAMETER;
    } else if (::syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) != 0) {
      result = errno == ESRCH ? ERROR_INVALID_PARAMETER
               : errno == EPERM ? ERROR_ACCESS_DENIED
                                : detail::win32FromErrno(errno);
    } else {
      // The pidfd turns readable once the process has ended, so a snapshot
      // taken after this call no longer lists it.
      pollfd ended{pidfd, POLLIN, 0};
      ::poll(&ended, 1, kTerminateWaitMs);
    }
    ::close(pidfd);
    return result;
  }

 private:
  // True while the pid is still the process this handle was opened on.
  bool same(StatFields* stat = nullptr) const {
    StatFields local;
    StatFields& s = stat ? *stat : local;
    return readStat(pid_, &s) && s.startTime == startTime_ && s.state != 'Z';
  }

  bool readStatus(std::string* text) const {
    if (!same()) return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/status", pid_);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) return false;
    text->assign("\n").append(buffer, static_cast<size_t>(n));
    return true;
  }

  // The first two ids of a status line (real and effective).
  bool statusIds(const char* key, uint32_t ids[2]) const {
    std::string status;
    if (!readStatus(&status)) return false;
    const size_t at = status.find(std::string("\n") + key);
    if (at == std::string::npos) return false;
    char* end = nullptr;
    ids[0] = static_cast<uint32_t>(std::strtoul(status.c_str() + at + 1 + std::strlen(key), &end, 10));
    ids[1] = static_cast<uint32_t>(std::strtoul(end, nullptr, 10));
    return true;
  }

  uint32_t pid_;
  uint64_t startTime_;
  uint32_t access_;
  bool kernelThread_;
  std::shared_ptr<const Records> records_;  // start records to name the image by
};

// OpenProcess on pid (with startTime when not 0); `records` names images.
WinError openEntry(uint32_t access, uint32_t pid, uint64_t startTime,
                   std::shared_ptr<const Records> records,
                   std::unique_ptr<IProcessHandle>* handle) {
  handle->reset();
  StatFields stat;
  if (pid == 0 || !readStat(pid, &stat) || stat.state == 'Z' ||
      (startTime != 0 && stat.startTime != startTime))
    return ERROR_INVALID_PARAMETER;
  const bool kernelThread = (stat.flags & kPfKthread) != 0;
  if (access & PROCESS_TERMINATE) {
    if (::kill(static_cast<pid_t>(pid), 0) != 0)
      return errno == ESRCH ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED;
  }
  if (access & (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
    std::string exe;
    if (readExe(pid, &exe) != ERROR_SUCCESS) return ERROR_ACCESS_DENIED;
  }
  *handle = std::make_unique<HostProcessHandle>(pid, stat.startTime, access, kernelThread,
                                                std::move(records));
  return ERROR_SUCCESS;
}

class HostProcessSource final : public IProcessSource {
 public:
  WinError snapshot(std::vector<ProcessEntry>* entries) override {
    entries->clear();
    DIR* dir = ::opendir("/proc");
    if (!dir) return detail::win32FromErrno(errno);
    std::vector<uint32_t> pids;
    while (dirent* e = ::readdir(dir)) {
      char* end = nullptr;
      const unsigned long pid = std::strtoul(e->d_name, &end, 10);
      if (*end == '\0' && pid != 0) pids.push_back(static_cast<uint32_t>(pid));
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    auto records = std::make_shared<const Records>();
    for (uint32_t pid : pids) {
      StatFields stat;
      if (!readStat(pid, &stat) || stat.state == 'Z' || stat.state == 'X') continue;
      ProcessEntry entry;
      entry.processId = pid;
      entry.parentProcessId = stat.parent;
      entry.threads = stat.threads;
      entry.startTime = stat.startTime;
      WinError ignored = 0;
      entry.exeFile = processName(*records, pid, stat, &ignored);
      entries->push_back(std::move(entry));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    records_ = std::move(records);
    return ERROR_SUCCESS;
  }

  WinError moduleName(const ProcessEntry& entry, std::wstring* name) override {
    StatFields stat;
    if (!readStat(entry.processId, &stat) || stat.startTime != entry.startTime)
      return ERROR_INVALID_PARAMETER;
    WinError exe = 0;
    const std::wstring found = processName(*cachedRecords(), entry.processId, stat, &exe);
    if (exe != ERROR_SUCCESS) return exe;
    *name = found;
    return ERROR_SUCCESS;
  }

  WinError open(uint32_t access, const ProcessEntry& entry,
                std::unique_ptr<IProcessHandle>* handle) override {
    return openEntry(access, entry.processId, entry.startTime, cachedRecords(), handle);
  }

  WinError enableDebugPrivilege() override { return ERROR_SUCCESS; }

  WinError start(const std::wstring& applicationName, const std::wstring& commandLine,
                 const ProcessStartOptions& options, std::unique_ptr<IProcess>* process) override {
    return createProcess(applicationName, commandLine, options, process);
  }

  WinError tempPath(std::wstring* path) override {
    const std::string host = hostTempFolder();
    if (host.empty()) return ERROR_PATH_NOT_FOUND;
    IMachine* machine = currentMachine();
    std::wstring windows = machine ? machine->paths().toWindowsPath(host) : fromUtf8(host);
    if (windows.empty() || windows.back() != L'\\') windows += L'\\';
    *path = windows;
    return ERROR_SUCCESS;
  }

 private:
  // The records read by the last snapshot: a walk over its entries reads
  // them once.
  std::shared_ptr<const Records> cachedRecords() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!records_) records_ = std::make_shared<const Records>();
    return records_;
  }

  std::mutex mutex_;
  std::shared_ptr<const Records> records_;  // as the last snapshot read them
};

}  // namespace

std::shared_ptr<IProcessSource> hostProcessSource() {
  static const auto source = std::make_shared<HostProcessSource>();
  return source;
}

WinError openProcess(uint32_t access, uint32_t processId,
                     std::unique_ptr<IProcessHandle>* handle) {
  return openEntry(access, processId, 0, std::make_shared<const Records>(), handle);
}

}  // namespace zorel::platform
