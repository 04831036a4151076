#pragma once
// The run state of the machine's services, kept by the service control
// manager alone (service_manager_linux.cpp).
//
// Format: <root>/services/state holds one line per service started and not
// yet seen stopped: "<name>\t<pid>\t<start time>\t<boot id>\n", the name
// lower-cased, UTF-8, with "%", tab and line ends written %XX. The file is
// replaced whole (write to a temporary file, rename), so a reader without
// the lock sees the state before or after a change, never half of one.
// Changes hold <root>/services/lock (an exclusive flock, plus a mutex for
// this process's threads): one lock per service operation.

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

// One started service's process.
struct RunRecord {
  std::wstring name;  // lower-cased service name
  uint32_t pid = 0;
  uint64_t startTime = 0;  // field 22 of /proc/<pid>/stat when it started
  std::string bootId;      // /proc/sys/kernel/random/boot_id at its start
};

// What the host shows of a recorded process.
enum class RecordedProcess {
  kGone,     // no such process, a zombie, another start time or another boot
  kRunning,
  kStopped,  // stopped by SIGSTOP: the service is paused
};

class ServiceRunState {
 public:
  explicit ServiceRunState(const std::string& machineRoot);
  ServiceRunState(const ServiceRunState&) = delete;
  ServiceRunState& operator=(const ServiceRunState&) = delete;
  ~ServiceRunState();

  // Holds the cross-process lock while it lives.
  class Lock {
   public:
    explicit Lock(ServiceRunState& state);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    // ERROR_SUCCESS when the lock is held.
    WinError error() const { return error_; }

   private:
    ServiceRunState& state_;
    std::unique_lock<std::mutex> local_;
    WinError error_ = ERROR_SUCCESS;
  };

  // The records as last written (no lock needed).
  std::vector<RunRecord> read() const;
  // Replaces the records. Call with the lock held.
  WinError write(const std::vector<RunRecord>& records);

  // This boot's id.
  const std::string& bootId() const { return bootId_; }
  // What the host shows of rec's process now.
  RecordedProcess inspect(const RunRecord& rec) const;

 private:
  std::string folder_;
  std::string bootId_;
  std::mutex mutex_;
  int lockFd_ = -1;
};

// Lower-cases a service name for comparison, as the manager compares names.
std::wstring serviceKey(std::wstring_view name);

// Sends sig to the recorded process and its process group once the pid is
// confirmed to be that process (pidfd, then its start time), so a pid the
// host gave to another program is never signalled. RETURNS false when the
// process is gone or is not the recorded one.
bool signalRecorded(const RunRecord& rec, int sig);

// Waits up to timeoutMs for the recorded process to end (or become a
// zombie). RETURNS true once it has.
bool waitRecordedEnd(const RunRecord& rec, uint32_t timeoutMs);

}  // namespace zorel::platform::detail
