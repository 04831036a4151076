// Detached program starts (process.h): the command line is resolved as for
// createProcess, then the shared spawn routine double-forks it into a
// session of its own.

#include <sys/types.h>

#include "process/linux/program_records_linux.h"
#include "process/linux/program_start_linux.h"
#include "process/linux/spawn_linux.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/process.h"

namespace zorel::platform {

WinError startDetachedProcess(const std::wstring& commandLine, const std::wstring& workingFolder,
                              DetachedProcess* started) {
  *started = DetachedProcess{};
  IMachine* machine = currentMachine();
  if (machine == nullptr) return ERROR_FILE_NOT_FOUND;
  detail::SpawnRequest request;
  WinError e = detail::prepareProgramStart(*machine, commandLine, &request);
  if (e != ERROR_SUCCESS) return e;
  if (!workingFolder.empty()) {
    e = machine->paths().toHostPath(workingFolder, request.workingFolder);
    if (e != ERROR_SUCCESS) return e;
  }
  request.detached = true;
  pid_t pid = 0;
  uint64_t startTime = 0;
  e = detail::spawnProcess(request, &pid, &startTime);
  if (e != ERROR_SUCCESS) return e;
  // The process list names it by the Windows file started (svchost.exe),
  // not by the host program behind it. A record that cannot be written
  // only costs the list that name.
  detail::recordProgramStart(machine->hostRoot(), machine->paths().toWindowsPath(request.program),
                             pid);
  started->processId = static_cast<uint32_t>(pid);
  started->startTime = startTime;
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
