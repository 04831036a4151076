#pragma once
// A child process of this program joined to it by a message channel.
//
// Windows: CreateProcessW with an inherited anonymous pipe pair,
// TerminateProcess and WaitForSingleObject on the process handle.
// Linux emulation: fork and exec with one end of a Unix stream socket pair
// placed at kChildChannelFd in the child; the child's standard input is
// /dev/null and its standard output goes to this process's standard error,
// so a child never reads or corrupts the parent's own streams. Every other
// descriptor of the parent is closed in the child.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/platform/process/sync.h"
#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// Where the child finds its end of the channel.
inline constexpr int kChildChannelFd = 3;

enum class ChannelStatus { Ok, Timeout, Closed };

// One end of a two-way byte stream. write and read may be used from two
// threads at once (one writer, one reader).
class IMessageChannel {
 public:
  virtual ~IMessageChannel() = default;
  // Writes all `size` bytes. RETURNS false when the other end is gone.
  virtual bool write(const void* data, size_t size) = 0;
  // Waits up to timeoutMs (kInfinite for ever) for bytes and appends what is
  // there (at most 64 KiB) to `into`. RETURNS Ok with bytes appended,
  // Timeout with none, Closed once the other end is gone and nothing is left.
  virtual ChannelStatus read(std::string& into, uint32_t timeoutMs) = 0;
};

class IChildProcess {
 public:
  // Ends the child (killing it when it still runs) and collects it.
  virtual ~IChildProcess() = default;
  virtual IMessageChannel& channel() = 0;
  virtual int32_t processId() const = 0;
  // RETURNS true once the child has ended (exitCode, may be null, receives
  // its exit code, or 128 + signal number); false after timeoutMs.
  virtual bool waitForExit(uint32_t timeoutMs, int32_t* exitCode) = 0;
  // TerminateProcess: ends the child at once. Harmless once it has ended.
  // Safe to call while another thread reads or waits.
  virtual void terminate() = 0;
};

// Starts `program` with `args` (argv[1]...) and the channel.
// RETURNS the child, or null with error set (ERROR_FILE_NOT_FOUND when the
// program does not exist, another code when the process cannot be made).
std::unique_ptr<IChildProcess> startChildProcess(const std::string& program,
                                                 const std::vector<std::string>& args,
                                                 WinError& error);

// The channel a child was started with (kChildChannelFd in this process);
// null when there is none.
std::unique_ptr<IMessageChannel> openParentChannel();

// The host path of the running program (GetModuleFileNameW(NULL)).
std::string currentProgramPath();

}  // namespace zorel::platform
