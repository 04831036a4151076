#pragma once
// Message tables (RT_MESSAGETABLE) of PE files loaded as data files.
//
// Windows: LoadLibraryExW(LOAD_LIBRARY_AS_DATAFILE |
// DONT_RESOLVE_DLL_REFERENCES), then the lookup FormatMessageW's
// FORMAT_MESSAGE_FROM_HMODULE makes.
// Linux emulation: the file is mapped (a regular file only: a folder, a
// named pipe or a device is refused before any read, so never waited on)
// and read with the shared resource reader (pe_resource.h). No code runs.
//
// MESSAGE_RESOURCE_DATA: NumberOfBlocks (u32), then per block LowId, HighId,
// OffsetToEntries (u32 each, the offset from the table's start); a block's
// entries follow each other: Length (u16, including this header), Flags
// (u16: 0 ANSI in code page 1252, 1 UTF-16LE), the text. Every offset and
// length is checked against the table: a block or entry outside it, or an
// entry Length below 4 or running past it, ends the walk with no text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/pe_resource.h"

namespace zorel::platform {

inline constexpr WinError ERROR_MR_MID_NOT_FOUND = 317;

// Looks up the message `id` (the full 32-bit value) in one table; the text
// ends at the first NUL inside the entry.
// RETURNS 0; ERROR_MR_MID_NOT_FOUND when the table has no such entry or is
// damaged on the way to it.
WinError findMessageInTable(const uint8_t* table, size_t size, uint32_t id, std::wstring* text);

// A PE file loaded as a data file.
class MessageModule {
 public:
  // LoadLibraryExW as a data file, by Windows path of the current machine.
  // RETURNS 0; 2 or 3 for a missing file; 5 for a folder or a file that is
  // not regular; ERROR_BAD_EXE_FORMAT (193) for a file that is not PE.
  WinError load(std::wstring_view windowsPath);
  // The same by host path.
  WinError loadHost(const std::string& hostPath);

  // The message `id` of the table of `language` (then the language-neutral
  // one); language 0 takes the neutral lookup order and then any table.
  // RETURNS 0; ERROR_RESOURCE_TYPE_NOT_FOUND (1813) without message table;
  // ERROR_RESOURCE_LANG_NOT_FOUND (1815) when only other languages have
  // one; ERROR_MR_MID_NOT_FOUND (317) when the table lacks the id.
  WinError findMessage(uint32_t id, uint16_t language, std::wstring* text) const;

 private:
  WinError lookup(uint32_t id, uint16_t language, std::wstring* text) const;

  MappedFile file_;
  PeResources resources_;
  bool loaded_ = false;
  // Answers already looked up, by language and id: a log repeats its ids.
  mutable std::unordered_map<uint64_t, std::pair<WinError, std::wstring>> found_;
};

}  // namespace zorel::platform
