#pragma once
// The machine's one-instance lock for the commands that use the machine's
// own data folder: `zorel ui` holds it for its whole run, and `zorel check`
// and `zorel bridge` without --store take it too, since two controllers on
// one data folder delete each other's ResultStore.db.

#include <memory>

#include "zorel/platform/process/sync.h"

namespace zorel::cli {

// Claims the lock for `command`. Refused (another instance holds it): says
// so on standard error and returns null.
std::unique_ptr<platform::INamedInstanceLock> claimMachineInstance(const char* command);

}  // namespace zorel::cli
