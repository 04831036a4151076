#include "injected_fault.h"

#include <errno.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "zorel/platform/base/host_calls.h"

namespace zorel::testing {

namespace {

using platform::hostCalls;
using platform::hostDefaultCalls;

struct Fault {
  FaultCall call;
  std::string pathPart;
  int error = 0;
  int nth = 1;
  bool every = true;
  int matched = 0;
  int failed = 0;
};

Fault* active = nullptr;

std::string fdPath(int fd) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX];
  const ssize_t n = ::readlink(link, target, sizeof target);
  return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

// True when this call is to fail (errno is then set).
bool strikes(FaultCall call, const std::string& path) {
  if (!active || active->call != call) return false;
  if (call != FaultCall::kFork && path.find(active->pathPart) == std::string::npos) return false;
  const int n = ++active->matched;
  if (n < active->nth || (!active->every && n != active->nth)) return false;
  ++active->failed;
  errno = active->error;
  return true;
}

int faultyOpen(const char* path, int flags, mode_t mode) {
  if (strikes(FaultCall::kOpen, path)) return -1;
  return hostDefaultCalls().open(path, flags, mode);
}
int faultyOpenAt(int folder, const char* path, int flags, mode_t mode) {
  if (strikes(FaultCall::kOpen, path)) return -1;
  return hostDefaultCalls().openat(folder, path, flags, mode);
}
ssize_t faultyWrite(int fd, const void* data, size_t size) {
  if (strikes(FaultCall::kWrite, fdPath(fd))) return -1;
  return hostDefaultCalls().write(fd, data, size);
}
ssize_t faultyPwrite(int fd, const void* data, size_t size, off_t offset) {
  if (strikes(FaultCall::kWrite, fdPath(fd))) return -1;
  return hostDefaultCalls().pwrite(fd, data, size, offset);
}
int faultyFtruncate(int fd, off_t size) {
  if (strikes(FaultCall::kWrite, fdPath(fd))) return -1;
  return hostDefaultCalls().ftruncate(fd, size);
}
int faultyFsync(int fd) {
  if (strikes(FaultCall::kFsync, fdPath(fd))) return -1;
  return hostDefaultCalls().fsync(fd);
}
int faultyRename(const char* from, const char* to) {
  if (strikes(FaultCall::kRename, std::string(from) + "\n" + to)) return -1;
  return hostDefaultCalls().rename(from, to);
}
pid_t faultyFork() {
  if (strikes(FaultCall::kFork, {})) return -1;
  return hostDefaultCalls().fork();
}

}  // namespace

const char* faultCallName(FaultCall call) {
  switch (call) {
    case FaultCall::kOpen: return "open";
    case FaultCall::kWrite: return "write";
    case FaultCall::kFsync: return "fsync";
    case FaultCall::kRename: return "rename";
    case FaultCall::kFork: return "fork";
  }
  return "?";
}

InjectedFault::InjectedFault(FaultCall call, std::string pathPart, int error, int nth, bool every) {
  active = new Fault{call, std::move(pathPart), error, nth, every};
  platform::HostCalls& table = hostCalls();
  table.open = faultyOpen;
  table.openat = faultyOpenAt;
  table.write = faultyWrite;
  table.pwrite = faultyPwrite;
  table.ftruncate = faultyFtruncate;
  table.fsync = faultyFsync;
  table.rename = faultyRename;
  table.fork = faultyFork;
}

InjectedFault::~InjectedFault() {
  hostCalls() = hostDefaultCalls();
  delete active;
  active = nullptr;
}

int InjectedFault::matched() const { return active->matched; }
int InjectedFault::failed() const { return active->failed; }

}  // namespace zorel::testing
