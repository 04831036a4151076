#pragma once
// Writing host files through the platform's host calls (base/host_calls.h):
// a file appended to (a log), and files that appear at their name whole or
// not at all (cabinets, the report server's records).
//
// Windows: CreateFileW + WriteFile (FILE_APPEND_DATA for appending),
// FlushFileBuffers, MoveFileExW(MOVEFILE_REPLACE_EXISTING).
// Linux emulation: open, write, fsync and rename through hostCalls();
// EINTR is retried, any other failure answers the Win32 code of its errno
// (ENOSPC: ERROR_DISK_FULL, 112) and leaves it as the thread's last error.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// A file written at its end, created when missing. Several processes may
// append to the same file: every append lands at the end as it is then.
class AppendingFile {
 public:
  AppendingFile() = default;
  ~AppendingFile();
  AppendingFile(const AppendingFile&) = delete;
  AppendingFile& operator=(const AppendingFile&) = delete;

  // Opens hostPath (closing what was open); `empty` cuts it to nothing first.
  WinError open(const std::string& hostPath, bool empty);
  // Writes all of data. A failure can leave a part of it written.
  WinError append(const void* data, size_t size);
  // The file's size now; -1 when none is open.
  int64_t size() const;
  bool isOpen() const { return fd_ >= 0; }
  void close();

 private:
  int fd_ = -1;
};

// A file that appears at its destination whole or not at all. It is written
// under a temporary name in the destination's folder
// ("<destination>.<pid>-<n>.part"), flushed to the disk and renamed onto
// the destination by commit(). Until commit() succeeds the destination
// holds what it held before (or stays missing); after a failed write or
// commit, and when the object ends uncommitted, the temporary is removed.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string destination);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates the temporary file.
  WinError open();
  // Writes all of data to the temporary file; after a failure every later
  // write and commit() answer that failure again.
  WinError write(const void* data, size_t size);
  // fsync, close and rename onto the destination.
  WinError commit();
  // Removes the temporary file, leaving the destination as it is.
  void discard();

  const std::string& destination() const { return destination_; }
  const std::string& temporary() const { return temporary_; }

 private:
  std::string destination_;
  std::string temporary_;
  int fd_ = -1;
  WinError failed_ = ERROR_SUCCESS;
};

// Writes bytes to hostPath as a ReplacingFile does.
WinError replaceFile(const std::string& hostPath, std::string_view bytes);

}  // namespace zorel::platform
