#pragma once
// The start records of the machine: which Windows program each process we
// started runs, so the process list can name a "#!" script or a program
// behind a stand-in by the file the caller started (C:\Tools\tool.exe),
// not by its host interpreter.
//
// On disk: <root>/run/programs, one line per start,
//   <boot id> TAB <pid> TAB <start time> TAB <Windows path> LF
// where the start time is field 22 of /proc/<pid>/stat (clock ticks since
// boot) and the boot id /proc/sys/kernel/random/boot_id. A process is its
// pid plus start time within one boot, so a record whose pid now belongs to
// another process matches nothing. Every change happens under an exclusive
// flock of <root>/run/programs.lock; a file grown past a limit is rewritten
// (through a renamed temporary file) with only the records of live
// processes, so readers never see a half file and need no lock.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

struct ProgramRecord {
  uint32_t pid = 0;
  uint64_t startTime = 0;    // field 22 of /proc/<pid>/stat
  std::wstring windowsPath;  // the program as started, e.g. C:\Tools\tool.exe
};

// Field 22 of /proc/<pid>/stat; 0 when the process is gone or unreadable.
uint64_t processStartTime(pid_t pid);

// This boot's id (/proc/sys/kernel/random/boot_id), read once.
const std::string& bootId();

// Records that `pid` (running now) is the program `windowsPath`, on the
// machine rooted at the host folder machineRoot. Callers: program starts of
// process.h, and detached starts that must be named in the process list.
// RETURNS 0; ERROR_INVALID_PARAMETER for a path holding a line end or tab,
// or a pid already gone; the code of a failing file operation.
WinError recordProgramStart(const std::string& machineRoot, const std::wstring& windowsPath,
                            pid_t pid);

// The records of this boot, in the order they were written (a pid may
// appear more than once: the last one with a matching start time holds).
std::vector<ProgramRecord> readProgramRecords(const std::string& machineRoot);

}  // namespace zorel::platform::detail
