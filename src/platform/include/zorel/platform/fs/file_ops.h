#pragma once
// Windows file operations on host paths, with their Windows error codes.
//
// Windows: PathFileExistsW, DeleteFileW, RemoveDirectoryW, CopyFileW,
// GetFileTime (and the errors GetLastError gives for each).
// Linux emulation: the host calls with the Windows rules kept where they
// differ: a missing file is ERROR_FILE_NOT_FOUND only when its folder
// exists (else ERROR_PATH_NOT_FOUND); DeleteFileW refuses folders and
// read-only files with ERROR_ACCESS_DENIED; CopyFileW onto itself fails
// with ERROR_SHARING_VIOLATION instead of truncating the file. Named pipes,
// sockets and devices are never opened, copied or deleted: they answer
// ERROR_ACCESS_DENIED, as Windows answers for a device path.

#include <cstdint>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

inline constexpr WinError ERROR_DIR_NOT_EMPTY = 145;
inline constexpr WinError ERROR_DIRECTORY = 267;

// The Win32 code for a host errno (ERROR_GEN_FAILURE when none fits).
WinError winErrorFromErrno(int err);

enum class FileType {
  kMissing,  // nothing by that name (or a symbolic link to nothing)
  kRegular,  // a file whose bytes can be read
  kFolder,
  kSpecial,  // a named pipe, a socket or a device
};

// What hostPath names, symbolic links followed.
// RETURNS 0 with type set; for a missing name the code of pathFileExists
// (2 or 3) with type kMissing; another host error with type unchanged.
WinError getFileType(const std::string& hostPath, FileType& type);

// PathFileExistsW: 0 when the file or folder exists, else 2 or 3 (or the
// host's error when it cannot be examined).
WinError pathFileExists(const std::string& hostPath);

// DeleteFileW. A symbolic link is removed, never what it points to; a
// folder, a read-only file, a pipe, a socket or a device is refused with
// ERROR_ACCESS_DENIED.
WinError deleteFile(const std::string& hostPath);

// RemoveDirectoryW: only an empty folder; ERROR_DIR_NOT_EMPTY (145)
// otherwise, ERROR_DIRECTORY (267) for a file.
WinError removeDirectory(const std::string& hostPath);

// CopyFileW: the bytes and the permissions of `source` into `destination`.
// With failIfExists an existing destination gives ERROR_FILE_EXISTS (80).
// Anything but a regular file as source or destination (a folder, a pipe,
// a device) gives ERROR_ACCESS_DENIED (5) without being opened.
WinError copyFile(const std::string& source, const std::string& destination,
                  bool failIfExists);

// Creation, last-access and last-write time in seconds since 1970 (UTC).
// Creation time is the host's birth time where the file system keeps one,
// else the last-write time.
struct FileTimes {
  int64_t creation = 0;
  int64_t lastAccess = 0;
  int64_t lastWrite = 0;
};
WinError getFileTimes(const std::string& hostPath, FileTimes& times);

// The creation time alone, in seconds since 1970 (UTC), for callers that
// must know whether the host really keeps one (the cabinet writer falls
// back to the last-write time itself).
// RETURNS 0; ERROR_NOT_SUPPORTED (50) when the host file system keeps no
// birth time for the file; the codes of pathFileExists for a missing file.
WinError creationTime(const std::string& hostPath, int64_t& seconds);

}  // namespace zorel::platform
