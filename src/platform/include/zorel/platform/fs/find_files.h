#pragma once
// Listing the entries of a folder whose names match a pattern.
//
// Windows: FindFirstFileW / FindNextFileW / FindClose.
// Linux emulation: the folder part of the pattern is mapped to the host
// (case-insensitively, as every Windows path); its last component may hold
// "*" and "?", matched against each entry name ignoring case by the Windows
// wildcard rules ("x.*" also finds "x"). Entries come in the order the host
// lists the folder, without "." and "..", each with its name, attributes
// (file_attributes.h: FILE_ATTRIBUTE_DIRECTORY, 16, for a plain folder) and
// 64-bit size (0 for a folder). The folder is read as the calls go, so an
// entry added or removed meanwhile may or may not be seen, as on Windows.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IPathMapper;

inline constexpr WinError ERROR_NO_MORE_FILES = 18;

// WIN32_FIND_DATAW, reduced to what the program reads.
struct FindData {
  std::wstring name;        // cFileName
  uint32_t attributes = 0;  // dwFileAttributes
  uint64_t size = 0;        // nFileSizeHigh:nFileSizeLow
};

// An open search (a find handle); destroying it is FindClose.
class IFileFind {
 public:
  virtual ~IFileFind() = default;
  // FindNextFileW: the next matching entry.
  // RETURNS 0; ERROR_NO_MORE_FILES (18) after the last one.
  virtual WinError next(FindData& data) = 0;
};

// FindFirstFileW.
//   [I] pattern  a Windows path whose last component is a name pattern.
//   [O] find     set on success only: the search, for further entries.
//   [O] data     the first matching entry (on success only).
// RETURNS 0; ERROR_FILE_NOT_FOUND (2) when the folder exists but no entry
// matches (or the pattern ends in a separator); ERROR_PATH_NOT_FOUND (3)
// when the folder is missing or is not a folder; ERROR_INVALID_NAME (123)
// for wildcards or forbidden characters in the folder part; the host's
// error, mapped, when the folder cannot be read. The error is also the
// thread's last error.
WinError findFirstFile(const IPathMapper& paths, std::wstring_view pattern,
                       std::unique_ptr<IFileFind>* find, FindData& data);

}  // namespace zorel::platform
