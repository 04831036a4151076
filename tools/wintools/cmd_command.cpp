// cmd: the command interpreter as far as programs start it: "cmd /c
// COMMAND", with COMMAND's standard output sent to a file by "> FILE" or
// ">> FILE". Any other operator outside double quotes ("<", "|", "&",
// "2>", "^") is refused with a message and exit code 1, running nothing:
// this stand-in has no pipelines or command sequences. COMMAND starts as
// CreateProcessW starts a command line; cmd exits with its exit code, or
// 9009 when it cannot be started.

#include <fcntl.h>
#include <unistd.h>

#include <cwctype>

#include "cmd_line.h"
#include "wintools.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/process/sync.h"

namespace zorel::wintools {

namespace {

// Creates or truncates the redirection target before the command runs, as
// cmd does, so a command that cannot start still leaves the file.
bool prepareOutput(const CmdCommand& command) {
  if (command.outputFile.empty() || command.append) return true;
  platform::IMachine* machine = platform::currentMachine();
  std::string host;
  if (machine == nullptr || machine->paths().toHostPath(command.outputFile, host) != 0) return false;
  int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

int cmdMain(const Args&) {
  CmdCommand command;
  std::wstring problem;
  if (!parseCmdLine(platform::commandLine(), &command, &problem)) {
    err(problem + L"\n");
    return 1;
  }
  if (machineRegistry() == nullptr) return 1;
  if (!prepareOutput(command)) {
    err(L"The system cannot find the path specified.\n");
    return 1;
  }
  platform::ProcessStartOptions options;
  options.standardOutputFile = command.outputFile;
  options.appendStandardOutput = true;  // created or truncated above
  options.inheritConsole = true;
  std::unique_ptr<platform::IProcess> process;
  if (platform::createProcess(command.text, options, &process) != 0) {
    err(L"'" + command.programName() +
        L"' is not recognized as an internal or external command,\n"
        L"operable program or batch file.\n");
    return 9009;
  }
  process->wait(platform::kInfinite);
  return static_cast<int>(process->exitCode());
}

}  // namespace zorel::wintools
