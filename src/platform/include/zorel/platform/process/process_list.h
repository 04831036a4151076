#pragma once
// The machine's running processes: the process snapshot, opening a process
// and what a process handle tells (image path, bitness, owner, elevation,
// working set), terminating it.
//
// Windows: CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, TH32CS_SNAPMODULE)
// with Process32FirstW/NextW and Module32FirstW, OpenProcess,
// QueryFullProcessImageNameW, IsWow64Process, OpenProcessToken with
// GetTokenInformation (TokenUser, TokenElevation) and LookupAccountSidW,
// GetProcessMemoryInfo, TerminateProcess, AdjustTokenPrivileges.
// Linux emulation: the host's processes, read from /proc.
// - A snapshot is one pass over /proc: live processes (no zombies, no
//   threads) in pid order. A process is its pid plus its start time (field
//   22 of /proc/<pid>/stat): a handle whose pid now belongs to another
//   process answers ERROR_INVALID_PARAMETER, as a handle to a gone process.
// - Name: the recorded Windows file when pid and start time match a start
//   record of this machine (process.h records every start), else the file
//   name of /proc/<pid>/exe without " (deleted)", else the kernel's command
//   name. Image path: the recorded path, else the exe link as a Windows path
//   (C:\ inside drive_c, else Z:\).
// - Bitness: the ELF class of /proc/<pid>/exe (a 32-bit image is a WOW64
//   process). Owner: the real uid named by the host's passwd. Elevated: an
//   effective uid of 0. Working set: VmRSS.
// - Terminate: SIGKILL through a pidfd, sent only after the start time is
//   confirmed through it, so a reused pid is never signalled; the call
//   returns once the process has ended (at most a second).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/process/process.h"

namespace zorel::platform {

// OpenProcess access rights.
inline constexpr uint32_t PROCESS_TERMINATE = 0x0001;
inline constexpr uint32_t PROCESS_VM_READ = 0x0010;
inline constexpr uint32_t PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr uint32_t PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;

// Process32NextW past the last entry, Module32FirstW without a module.
inline constexpr WinError ERROR_NO_MORE_FILES = 18;
// QueryFullProcessImageNameW's buffer (MAX_PATH, the NUL included).
inline constexpr size_t kImagePathBuffer = 260;

// One PROCESSENTRY32W.
struct ProcessEntry {
  uint32_t processId = 0;
  uint32_t parentProcessId = 0;
  uint32_t threads = 0;
  uint64_t startTime = 0;  // clock ticks since boot: with the pid, the process
  std::wstring exeFile;    // szExeFile: the file name, no folder
};

// An open process (the handle of OpenProcess). Every query first checks
// that the pid still has the start time the handle was opened on.
class IProcessHandle {
 public:
  virtual ~IProcessHandle() = default;
  virtual uint32_t processId() const = 0;
  // QueryFullProcessImageNameW (Win32 form). ERROR_INSUFFICIENT_BUFFER
  // when the path has kImagePathBuffer characters or more; ERROR_GEN_FAILURE
  // for a process without an image (a kernel thread).
  virtual WinError imagePath(std::wstring* path) = 0;
  // IsWow64Process: true for a 32-bit image. ERROR_ACCESS_DENIED when the
  // image cannot be read.
  virtual WinError isWow64(bool* wow64) = 0;
  // TokenUser looked up by SID: the account name without its domain.
  // ERROR_NONE_MAPPED (1332) for a uid the host does not name.
  virtual WinError userName(std::wstring* name) = 0;
  // TokenElevation.
  virtual WinError elevated(bool* isElevated) = 0;
  // GetProcessMemoryInfo's WorkingSetSize, in bytes.
  virtual WinError workingSetSize(uint64_t* bytes) = 0;
  // TerminateProcess. Needs PROCESS_TERMINATE; ERROR_ACCESS_DENIED for a
  // kernel thread or a process this one may not signal.
  virtual WinError terminate(uint32_t exitCode) = 0;
};

// The process list as the Process plug-in uses it. The host's
// (hostProcessSource) reads /proc; tests give their own.
class IProcessSource {
 public:
  virtual ~IProcessSource() = default;
  // CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS) walked to its end.
  virtual WinError snapshot(std::vector<ProcessEntry>* entries) = 0;
  // Module32FirstW on a module snapshot of the process: its main module's
  // name. ERROR_ACCESS_DENIED when the image may not be read;
  // ERROR_NO_MORE_FILES when the process has no module (a kernel thread);
  // ERROR_INVALID_PARAMETER when it is gone.
  virtual WinError moduleName(const ProcessEntry& entry, std::wstring* name) = 0;
  // OpenProcess. ERROR_INVALID_PARAMETER for a pid that is gone;
  // ERROR_ACCESS_DENIED when an asked right is not there (terminate: the
  // right to signal it; query: a readable image; limited query: nothing).
  virtual WinError open(uint32_t access, const ProcessEntry& entry,
                        std::unique_ptr<IProcessHandle>* handle) = 0;
  // Enables SeDebugPrivilege in this program's token. Here: success with
  // no effect (the host's rights are what they are).
  virtual WinError enableDebugPrivilege() = 0;
  // CreateProcessW with and without an application name (process.h).
  virtual WinError start(const std::wstring& applicationName, const std::wstring& commandLine,
                         const ProcessStartOptions& options,
                         std::unique_ptr<IProcess>* process) = 0;
  // GetTempPathW: the machine's %TEMP% as a Windows path with a trailing
  // backslash.
  virtual WinError tempPath(std::wstring* path) = 0;
};

std::shared_ptr<IProcessSource> hostProcessSource();

// OpenProcess by pid alone (the start time read now).
WinError openProcess(uint32_t access, uint32_t processId,
                     std::unique_ptr<IProcessHandle>* handle);

}  // namespace zorel::platform
