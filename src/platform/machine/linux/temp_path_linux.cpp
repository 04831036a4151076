// The temporary folder: the machine's %TEMP% once a machine can be had.

#include <sys/stat.h>

#include "machine/linux/machine_internal.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel::platform {

std::string hostTempFolder() {
  if (IMachine* machine = currentMachine()) {
    std::wstring temp;
    std::string host;
    if (machine->environment().getVariable(L"TEMP", temp) == ERROR_SUCCESS &&
        machine->paths().toHostPath(temp, host) == ERROR_SUCCESS) {
      struct stat st;
      if (::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (host.back() != '/') host.push_back('/');
        return host;
      }
    }
  }
  return detail::hostFallbackTempFolder();
}

}  // namespace zorel::platform
