#pragma once
// Runs the real `zorel` binary with an argument vector (no shell, so any
// text reaches it as written) and collects its exit status and output.

#include <string>
#include <vector>

namespace zorel::testing {

struct ZorelRun {
  int status = -1;   // exit code; -1 when the process did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error
};

// `PROGRAM ARGS`, with ZOREL_MACHINE=machineRoot when machineRoot is not empty.
ZorelRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& machineRoot = "");
// The same for the build's zorel and zorel-wintools.
ZorelRun RunZorel(const std::vector<std::string>& args, const std::string& machineRoot = "");
ZorelRun RunWintools(const std::vector<std::string>& args, const std::string& machineRoot);

}  // namespace zorel::testing
