#pragma once
// Registry files (.reg) as regedit and reg.exe read and write them.
//
// Formats: "REGEDIT4" (8-bit text, strings in the ANSI code page; we read and
// write it as UTF-8, which keeps ASCII identical) and "Windows Registry
// Editor Version 5.00" (UTF-16LE with a BOM, as regedit writes it; an 8-bit
// file with that header is read too). Lines end in CRLF when written; LF,
// CRLF and CR are all read.
//
// Value forms: "text" (escapes \\ and \"), dword:XXXXXXXX, hex:..,
// hex(2): REG_EXPAND_SZ, hex(7): REG_MULTI_SZ, hex(b): REG_QWORD and hex(N):
// for any type, with a trailing backslash continuing the list on the next
// line (regedit wraps lines at 80 columns). @ is the default value. [-KEY]
// deletes a key tree, "name"=- deletes a value. In REGEDIT4 files, hex(2)
// and hex(7) data are 8-bit strings and are widened on import.
//
// Import, like regedit: a malformed line is reported with its line number
// and skipped; the rest of the file is applied. A key with an unknown root
// skips its section.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/registry/registry.h"
#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

enum class RegFileFormat {
  Regedit4,   // "REGEDIT4", 8-bit
  Version5,   // "Windows Registry Editor Version 5.00", UTF-16LE with BOM
};

// One operation a .reg file asks for. path is the full key path as written
// (root name included).
struct RegFileOp {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  std::size_t line = 0;       // line number of the operation (1-based)
  std::wstring path;
  std::wstring name;          // value name; empty is the default value
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};

// A line that could not be read or applied.
struct RegFileProblem {
  std::size_t line = 0;       // 1-based; 0 for the file as a whole
  std::wstring message;
};

struct RegFileParse {
  RegFileFormat format = RegFileFormat::Version5;
  std::vector<RegFileOp> ops;
  std::vector<RegFileProblem> problems;
};

struct RegImportResult {
  std::vector<RegFileProblem> problems;  // parse and apply problems, in line order
  std::size_t keysCreated = 0;    // keys opened or created by a [KEY] line
  std::size_t valuesSet = 0;
  std::size_t keysDeleted = 0;
  std::size_t valuesDeleted = 0;
};

// Decodes the bytes of a .reg file to text: a UTF-16LE BOM (or a UTF-16BE
// one) selects UTF-16, a UTF-8 BOM or none selects UTF-8 (bytes that are not
// UTF-8 are taken as Latin-1).
std::wstring decodeRegFileBytes(std::string_view bytes);

// Parses .reg text (no BOM). A text that does not start with one of the two
// headers: ERROR_BAD_FORMAT (nothing parsed). Otherwise ERROR_SUCCESS, with
// the lines that could not be read in parse->problems.
WinError parseRegText(std::wstring_view text, RegFileParse* parse);

// Applies parsed operations to the registry in one batch. Operations that
// fail (bad root, access denied, ...) are reported and skipped; a failure of
// the registry file itself (ERROR_DISK_FULL, ERROR_REGISTRY_IO_FAILED,
// ERROR_REGISTRY_CORRUPT, ERROR_CANTWRITE, ERROR_NOT_ENOUGH_MEMORY) ends the
// import with that code and leaves the registry as it was.
WinError applyRegFileOps(IRegistry& registry, const std::vector<RegFileOp>& ops,
                         RegImportResult* result);

// Reads, parses and applies the file at hostPath. ERROR_FILE_NOT_FOUND when
// it does not exist, ERROR_BAD_FORMAT when it is not a registry file; else
// ERROR_SUCCESS even when some lines were skipped (see result->problems).
WinError importRegFile(IRegistry& registry, const std::string& hostPath,
                       RegImportResult* result);
// As importRegFile, from the file's bytes.
WinError importRegBytes(IRegistry& registry, std::string_view bytes,
                        RegImportResult* result);

// Writes the key (full path, root name included) and everything below it in
// the format regedit writes: header, blank line, then each key as
// [PATH] followed by its values in creation order and a blank line; subkeys
// in enumeration order. An empty keyPath exports every root (HKLM, HKCU,
// HKCR, HKU, HKCC), as regedit /E without a key does. bytes receives the
// file content (with BOM for Version5). Missing key: ERROR_FILE_NOT_FOUND.
WinError exportRegKey(IRegistry& registry, std::wstring_view keyPath,
                      RegFileFormat format, std::string* bytes);
// Formats one value line ("name"=data, wrapped at 80 columns with "\" and
// two-blank continuation lines) as regedit writes it, without line end.
std::wstring formatRegValueLine(const RegValue& value, RegFileFormat format);

}  // namespace zorel::platform
