// The replaceable table of host calls (see host_calls.h), filled with the C
// library's functions.

#include "zorel/platform/base/host_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorel::platform {

namespace {

int hostOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int hostOpenAt(int folder, const char* path, int flags, mode_t mode) {
  return ::openat(folder, path, flags, mode);
}
pid_t hostFork() { return ::fork(); }

constexpr HostCalls kDefaultCalls{
    hostOpen, hostOpenAt, ::write, ::pwrite, ::fsync, ::ftruncate, ::rename,
    ::unlink, ::unlinkat, ::mkdir, ::rmdir, hostFork,
};

HostCalls liveCalls = kDefaultCalls;

}  // namespace

HostCalls& hostCalls() { return liveCalls; }

const HostCalls& hostDefaultCalls() { return kDefaultCalls; }

}  // namespace zorel::platform
