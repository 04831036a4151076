#pragma once
// A file of the machine opened for reading: its 64-bit size and reads at
// an offset.
//
// Windows: CreateFileW(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
// FILE_ATTRIBUTE_NORMAL), GetFileSizeEx, SetFilePointerEx + ReadFile,
// CloseHandle.
// Linux emulation: open(O_RDONLY | O_NONBLOCK) on the mapped path, then
// pread. Only regular files are opened: a folder, a pipe, a socket or a
// device answers ERROR_ACCESS_DENIED at once, as Windows answers for a
// folder or a device path, and nothing ever waits on a writer. Sharing
// modes are not enforced (the host has none).

#include <cstdint>
#include <memory>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IPathMapper;

class IReadOnlyFile {
 public:
  virtual ~IReadOnlyFile() = default;  // CloseHandle

  // GetFileSizeEx: the size when the file was opened.
  virtual uint64_t size() const = 0;

  // Reads up to `count` bytes at `offset` into `buffer`; *read gets the
  // number read (0 at or past the end).
  // RETURNS 0; the host's error, mapped (also the thread's last error).
  virtual WinError readAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* read) = 0;
};

// Opens the file at `windowsPath` for reading.
//   [O] file  set on success only.
// RETURNS 0; ERROR_FILE_NOT_FOUND (2) / ERROR_PATH_NOT_FOUND (3) for a
// missing file or folder; ERROR_ACCESS_DENIED (5) for what is not a
// regular file or may not be read; the mapper's code for a path it
// refuses. The error is also the thread's last error.
WinError openReadOnlyFile(const IPathMapper& paths, std::wstring_view windowsPath,
                          std::unique_ptr<IReadOnlyFile>* file);

}  // namespace zorel::platform
