#pragma once
// The one place the Linux backend starts a host program: fork, set up the
// child's descriptors and environment, exec. Both the framework worker's
// child process (child_process_linux.cpp) and program starts (process.h)
// go through it.
//
// The outcome of exec is known before spawnProcess returns: the child
// reports a failed exec through a close-on-exec pipe, so a caller never
// mistakes a program that could not run for one that exited with 127.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

struct SpawnRequest {
  std::string program;             // host path given to exec
  std::vector<std::string> argv;   // argv[0] included
  // Descriptors of this process that become the child's standard streams;
  // -1 gives /dev/null (standard input read-only, the others write-only).
  int standardInput = -1;
  int standardOutput = -1;
  int standardError = -1;
  // A descriptor of this process placed at a fixed number in the child
  // (the worker's channel); -1 for none. Its number must be above 2.
  int extraFd = -1;
  int extraFdTarget = -1;
  // Variables set (NAME=VALUE) or replaced in the child's environment; the
  // rest is this process's environment.
  std::vector<std::pair<std::string, std::string>> environment;
  // A variable whose value becomes the child's own process id (so the child
  // can tell the variables meant for it from inherited ones); empty: none.
  std::string processIdVariable;
  // The host folder the program starts in; empty: this process's.
  std::string workingFolder;
  // Start the program detached: as a grandchild that the host's init
  // adopts, leading a session and process group of its own (setsid), so it
  // is no child of this process and outlives it. *pid is then the program's
  // own pid, which is also its session and process group id.
  bool detached = false;
};

// Starts the program. Every descriptor of this process but the ones named
// in the request is closed in the child, SIGPIPE is restored to its default
// and the child gets a signal mask with nothing blocked.
// RETURNS ERROR_SUCCESS with *pid set (and *startTime, when given, the
// program's start time in clock ticks after boot, field 22 of
// /proc/<pid>/stat); ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
// ERROR_BAD_EXE_FORMAT (the exec's own failure, or a working folder that
// cannot be entered) or the code of the failed fork.
WinError spawnProcess(const SpawnRequest& request, pid_t* pid, uint64_t* startTime = nullptr);

// The start time of pid (field 22 of /proc/<pid>/stat) and its state letter
// (field 3). Async-signal-safe. RETURNS false when the process is gone.
bool readProcessStart(pid_t pid, uint64_t* startTime, char* state);

// Waits for the child to end, up to timeoutMs (kInfinite: for ever), and
// collects it. RETURNS true with *exitCode (the exit status, or 128 + the
// signal number) once it has ended; false on timeout. A child that is
// already collected elsewhere (ECHILD) counts as ended with exit code -1.
bool waitForChild(pid_t pid, uint32_t timeoutMs, int32_t* exitCode);

// Collects the child in the background once it ends, so a program nobody
// waits for leaves no zombie behind while this process lives (after this
// process ends, the system collects it).
void reapInBackground(pid_t pid);

}  // namespace zorel::platform::detail
