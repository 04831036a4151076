#pragma once
// Running this program against machines other than the current one: a
// scratch folder to hold their roots, and a child that sees one of them as
// its machine (zorel matrix runs one check per image this way).
//
// Windows: not supported (ERROR_NOT_SUPPORTED): a real Windows is one
// machine.
// Linux emulation: the child is started with posix_spawn; its environment
// is this process's with ZOREL_MACHINE set to the root, its standard input
// /dev/null, its standard output and error the given host files (created or
// truncated), and no other descriptor of this process.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IScratchRun {
 public:
  // Kills a child that still runs and collects it.
  virtual ~IScratchRun() = default;
  // RETURNS true once the child has ended (exitCode, may be null, receives
  // its exit status, or 128 + the signal number); false after timeoutMs.
  virtual bool waitForExit(uint32_t timeoutMs, int32_t* exitCode) = 0;
  // Ends the child at once; harmless once it has ended.
  virtual void terminate() = 0;
};

// Starts program (a host path) with args on the machine at the host folder
// root. RETURNS the child, or null with error set (ERROR_FILE_NOT_FOUND for
// a missing program, ERROR_CANTWRITE when an output file cannot be made).
std::unique_ptr<IScratchRun> startOnMachine(const std::string& root, const std::string& program,
                                            const std::vector<std::string>& args,
                                            const std::string& outputFile,
                                            const std::string& errorFile, WinError& error);

// Makes a new empty host folder <host temporary folder>/<prefix>XXXXXX
// (mode 0700). RETURNS ERROR_SUCCESS with *folder set, else ERROR_CANTWRITE.
WinError createScratchFolder(const std::string& prefix, std::string* folder);

}  // namespace zorel::platform
