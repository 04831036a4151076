#pragma once
// Starting a program from a Windows command line, waiting for it and
// reading its exit code.
//
// Windows: CreateProcessW without an application name, WaitForSingleObject
// on the process handle, GetExitCodeProcess, GetCommandLineW.
// Linux emulation: the program is found as CreateProcessW finds it: the
// quoted first token, or, unquoted, each blank-separated prefix in turn
// (C:\Program.exe before C:\Program Files\...); ".exe" is added to a name
// without an extension; a name without a folder is looked up in System32,
// the Windows folder, then the machine's Path. Paths go through the
// machine's path mapper. A host ELF file or a "#!" script runs natively:
// argv[0] is its host path as found (so the multi-call zorel-wintools sees
// its name and folder) and the other arguments are the command line split
// by the Windows C runtime's rules (command_line.h). Any other existing
// file cannot run: ERROR_BAD_EXE_FORMAT (193), as for a PE image; a
// missing one ERROR_FILE_NOT_FOUND (2); a folder ERROR_ACCESS_DENIED (5).
//
// The started program gets an empty standard input, its standard output
// and error discarded unless the caller hands a file, none of the caller's
// other descriptors, ZOREL_MACHINE naming the machine, and its command line
// as written (read back with commandLine()). Host exit statuses are 8-bit;
// a program of ours that ends through exitProcess hands its whole 32-bit
// exit code back over a pipe the start made for it. A program nobody waits
// for keeps running after its caller's handle is gone, and is collected
// when it ends.
//
// A file inside drive_c that lacks its owner's execute bit gets it before it
// runs (Windows has no such bit). Before a start returns, the program's
// Windows path, pid and start time are recorded in the machine root, so the
// process list names the process after the file that was started (a "#!"
// script started as C:\Tools\tool.exe is tool.exe, not its interpreter).

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// CreateProcessW creation flags this emulation accepts (and ignores: there
// are no windows to show).
inline constexpr uint32_t CREATE_NEW_CONSOLE = 0x00000010;
inline constexpr uint32_t CREATE_NO_WINDOW = 0x08000000;

// GetExitCodeProcess while the process runs.
inline constexpr uint32_t STILL_ACTIVE = 259;
// WaitForSingleObject results.
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;

struct ProcessStartOptions {
  uint32_t creationFlags = 0;
  // A Windows path that receives the program's standard output (created or
  // truncated, or appended to); empty: the output is discarded.
  std::wstring standardOutputFile;
  bool appendStandardOutput = false;
  // Give the program this process's standard output (unless a file takes
  // it) and standard error, as a console program's children share its
  // console; otherwise both are discarded.
  bool inheritConsole = false;
};

// A started program (the process handle).
class IProcess {
 public:
  // CloseHandle: the program keeps running; it is collected when it ends.
  virtual ~IProcess() = default;
  virtual uint32_t processId() const = 0;
  // WaitForSingleObject: WAIT_OBJECT_0 once the program has ended,
  // WAIT_TIMEOUT after timeoutMs (kInfinite waits for ever).
  virtual uint32_t wait(uint32_t timeoutMs) = 0;
  // GetExitCodeProcess: STILL_ACTIVE while it runs, then its exit code
  // (128 + the signal number for a program a signal ended).
  virtual uint32_t exitCode() = 0;
  // TerminateProcess: ends the program at once (SIGKILL); afterwards its
  // exit code is `exitCode`. RETURNS 0, also for a program that had ended
  // already (its own exit code then stays).
  virtual WinError terminate(uint32_t exitCode) = 0;
};

// CreateProcessW(NULL, commandLine, ..., no handle inheritance, flags).
// RETURNS ERROR_SUCCESS with *process set; ERROR_INVALID_PARAMETER for an
// empty line or one holding a NUL; the codes above when the program cannot
// be found or run; ERROR_FILENAME_EXCED_RANGE for a line over 32767
// characters. The exec's outcome is known before this returns.
WinError createProcess(const std::wstring& commandLine, const ProcessStartOptions& options,
                       std::unique_ptr<IProcess>* process);

// CreateProcessW(applicationName, commandLine, ...): the application name is
// the program, taken as written (no search, no ".exe" added; relative to the
// current directory), and the program's arguments are still the command
// line's tokens after the first, so " x" gives the one argument x. An empty
// application name is the form above.
// RETURNS as above; ERROR_PATH_NOT_FOUND for a folder on the way that does
// not exist.
WinError createProcess(const std::wstring& applicationName, const std::wstring& commandLine,
                       const ProcessStartOptions& options, std::unique_ptr<IProcess>* process);

// GetCommandLineW: the command line this program was started with by
// createProcess, as written; for a program started otherwise, its
// arguments quoted and joined.
std::wstring commandLine();

// ExitProcess: ends this program with a 32-bit exit code. Started by
// createProcess, the starter's GetExitCodeProcess sees the whole code;
// otherwise the host sees its low 8 bits.
[[noreturn]] void exitProcess(uint32_t code);

}  // namespace zorel::platform

// ---------------------------------------------------------------------------
// Detached start (the service control manager's)
// ---------------------------------------------------------------------------

namespace zorel::platform {

// A program started detached: the process, identified by its pid and its
// start time (so a pid the host later gives to another program is not
// mistaken for it).
struct DetachedProcess {
  uint32_t processId = 0;
  // Clock ticks after boot at which it started (field 22 of
  // /proc/<pid>/stat on Linux).
  uint64_t startTime = 0;
};

// Starts the program of a Windows command line (found and split as
// createProcess does) so that it outlives this program: on Windows the
// service control manager's own child; in the Linux emulation in a session
// of its own, leading its own process group (whose id is its pid), adopted
// by the host's init rather than a child of this process. workingFolder is
// a Windows path (empty: this process's folder). Standard streams are
// /dev/null. RETURNS ERROR_SUCCESS with *started filled; the codes of
// createProcess otherwise (2, 5, 193 ...), known before this returns.
WinError startDetachedProcess(const std::wstring& commandLine, const std::wstring& workingFolder,
                              DetachedProcess* started);

}  // namespace zorel::platform
