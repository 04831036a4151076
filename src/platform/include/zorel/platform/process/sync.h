#pragma once
// Named single-instance lock and manual-reset event.
//
// Windows: CreateEventW with a name (ERROR_ALREADY_EXISTS tells that another
// instance holds it) and CreateEventW(bManualReset = TRUE) with SetEvent,
// ResetEvent and WaitForSingleObject.
// Linux emulation: the named lock is an exclusive flock on a file named after
// the object (case-insensitively, as the object manager compares names) in a
// lock folder shared by the machine's processes; it is released when the lock
// object is destroyed or the process ends, even by a crash. The event is a
// process-local condition variable.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

constexpr uint32_t kWaitObject0 = 0;      // WAIT_OBJECT_0
constexpr uint32_t kWaitTimeout = 258;    // WAIT_TIMEOUT
constexpr uint32_t kInfinite = 0xFFFFFFFF;  // INFINITE

class INamedInstanceLock {
 public:
  virtual ~INamedInstanceLock() = default;
  virtual const std::wstring& name() const = 0;
};

// Claims the named object.
//   [I] name   object name; an optional "Global\" or "Local\" prefix is
//              accepted, any other backslash is not.
//   [O] error  0 when claimed; ERROR_ALREADY_EXISTS (183) when another holder
//              (this or another process) has it; ERROR_PATH_NOT_FOUND (3) for a
//              name with a backslash; ERROR_INVALID_NAME (123) for an empty
//              name; ERROR_ACCESS_DENIED (5) when the lock file cannot be made.
// RETURNS the held lock, or null on any error.
std::unique_ptr<INamedInstanceLock> claimNamedInstance(std::wstring_view name, WinError& error);

class IManualResetEvent {
 public:
  virtual ~IManualResetEvent() = default;
  virtual void set() = 0;
  virtual void reset() = 0;
  virtual bool isSet() const = 0;
  // RETURNS kWaitObject0 once the event is set, kWaitTimeout after
  // timeoutMs milliseconds (kInfinite waits for ever).
  virtual uint32_t wait(uint32_t timeoutMs) = 0;
};

std::unique_ptr<IManualResetEvent> createManualResetEvent(bool initiallySet);

}  // namespace zorel::platform
