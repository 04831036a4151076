#include "instance_lock.h"

#include <cstdio>

#include "zorel/app/instance.h"

namespace zorel::cli {

std::unique_ptr<platform::INamedInstanceLock> claimMachineInstance(const char* command) {
  platform::WinError error = platform::ERROR_SUCCESS;
  std::unique_ptr<platform::INamedInstanceLock> lock = platform::claimNamedInstance(app::kInstanceName, error);
  if (!lock) {
    if (error == platform::ERROR_ALREADY_EXISTS) {
      std::fprintf(stderr, "%s\n", app::kAlreadyRunning);
    } else {
      std::fprintf(stderr, "zorel %s: cannot claim the machine's instance lock (error %u)\n", command,
                   static_cast<unsigned>(error));
    }
  }
  return lock;
}

}  // namespace zorel::cli
