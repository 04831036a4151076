#pragma once
// A fault put into the platform's host-call table for the length of a scope:
// calls of one kind on files whose path holds a given text fail with an
// errno, from the nth such call on (or only the nth).

#include <string>

namespace zorel::testing {

enum class FaultCall { kOpen, kWrite, kFsync, kRename, kFork };

const char* faultCallName(FaultCall call);

class InjectedFault {
 public:
  //   call      open/openat; write/pwrite/ftruncate; fsync; rename (either
  //             name); fork (pathPart is ignored)
  //   pathPart  matched against the path, or for a descriptor against the
  //             file it is open on
  //   every     false: only the nth call fails (the way EINTR comes)
  InjectedFault(FaultCall call, std::string pathPart, int error, int nth = 1, bool every = true);
  ~InjectedFault();
  InjectedFault(const InjectedFault&) = delete;
  InjectedFault& operator=(const InjectedFault&) = delete;

  // Calls that matched so far, and how many of them were made to fail.
  int matched() const;
  int failed() const;
};

}  // namespace zorel::testing
