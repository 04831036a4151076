#pragma once
// Opening a file for its contents on the Linux backend: only regular files,
// and never a call that can wait.
//
// Windows opens a device path (\\.\PIPE\x, CON) only for what it is and a
// check script never meets one by accident; on the host, Z:\dev\zero, a
// named pipe or a socket sits beside ordinary files, and a plain open() of a
// pipe without a writer waits for ever. Every open of a file's bytes in the
// backend goes through openRegularFile.

#include <sys/types.h>

#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

// A host file descriptor closed at the end of its scope.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  int release();
  // Closes now; the errno of a failed close(), else 0.
  int close();

 private:
  int fd_ = -1;
};

// Opens hostPath when it is a regular file (symbolic links followed), or,
// with O_CREAT, a name that does not exist yet.
//   flags  O_RDONLY, O_WRONLY or O_RDWR, with O_CREAT, O_EXCL, O_TRUNC or
//          O_APPEND as for open(2); O_CLOEXEC is always added.
//   mode   permissions of a file O_CREAT makes.
// The type is looked at before the open, so a device is never opened at
// all; the open itself adds O_NONBLOCK and O_NOCTTY, so a pipe put in the
// name's place meanwhile cannot make it wait; the open descriptor is checked
// again (fstat) and O_NONBLOCK cleared before it is handed out.
// RETURNS 0 with fd set; ERROR_ACCESS_DENIED (5) for a folder, a named
// pipe, a socket or a device, as Windows answers for a device path; the
// codes of missingFileError for a missing file or folder; the host's error
// mapped otherwise (ERROR_ACCESS_DENIED for permissions).
WinError openRegularFile(const std::string& hostPath, int flags, mode_t mode, UniqueFd& fd);

// Reads from fd until `size` bytes or the end. RETURNS 0 or the mapped
// errno; `done` receives the bytes read either way.
WinError readAll(int fd, char* data, size_t size, size_t& done);
// Writes all of data. RETURNS 0 or the mapped errno.
WinError writeAll(int fd, const char* data, size_t size);

}  // namespace zorel::platform::detail
