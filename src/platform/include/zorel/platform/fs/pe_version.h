#pragma once
// The version resource (VS_VERSIONINFO) of a PE file.
//
// Windows: GetFileVersionInfoSizeW / GetFileVersionInfoW / VerQueryValueW.
// Linux emulation: our own reader of the VS_VERSIONINFO block tree; the
// resource is found by the shared PE resource reader (pe_resource.h), with
// Windows' language-neutral order: the neutral language, the user's and the
// system's UI language, English (0x0409), then the first language the file
// has. So a file with several version resources answers in the machine's
// language, as on Windows. The block tree is decoded whole: the fixed file
// information, every StringFileInfo table with its strings, and the
// VarFileInfo\Translation list. Every offset and length is checked, so a
// truncated or hostile file gives an error, never a crash. A file that is
// not a PE image, or one without a version resource, has no version
// information (as GetFileVersionInfoSizeW answers 0 for it); a named pipe,
// a device or a folder is refused at once with ERROR_ACCESS_DENIED.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/pe_resource.h"

namespace zorel::platform {


// VS_FIXEDFILEINFO without its signature and structure version.
struct FixedFileInfo {
  uint32_t fileVersionMS = 0;     // major << 16 | minor
  uint32_t fileVersionLS = 0;     // build << 16 | revision
  uint32_t productVersionMS = 0;
  uint32_t productVersionLS = 0;
  uint32_t fileFlagsMask = 0;
  uint32_t fileFlags = 0;
  uint32_t fileOS = 0;
  uint32_t fileType = 0;
  uint32_t fileSubtype = 0;
  uint32_t fileDateMS = 0;
  uint32_t fileDateLS = 0;
};

// One StringFileInfo table: its key ("040904B0": language and code page in
// hexadecimal) and its strings in file order.
struct VersionStringTable {
  std::wstring key;
  std::vector<std::pair<std::wstring, std::wstring>> strings;
};

struct VersionResource {
  bool hasFixedInfo = false;  // the root carried a valid VS_FIXEDFILEINFO
  FixedFileInfo fixed;
  // \VarFileInfo\Translation: (language, code page) pairs in file order.
  std::vector<std::pair<uint16_t, uint16_t>> translations;
  std::vector<VersionStringTable> stringTables;

  // VerQueryValueW(L"\\StringFileInfo\\%04X%04X\\<name>"): the table is
  // matched by its key and the string by its name, both ignoring case.
  // False when either is missing.
  bool queryString(uint16_t language, uint16_t codePage, std::wstring_view name,
                   std::wstring& value) const;
};

// Decodes a VS_VERSIONINFO block (the bytes of an RT_VERSION resource).
// RETURNS 0; ERROR_INVALID_DATA (13) when the root block is malformed or is
// not VS_VERSION_INFO. Malformed children are skipped.
WinError parseVersionBlock(const uint8_t* data, size_t size, VersionResource& out);

// Finds the RT_VERSION resource in the bytes of a PE image, in the first of
// `languages` it has (else its first language), and decodes it.
// RETURNS 0; ERROR_BAD_FORMAT (11) when the bytes are not a PE image;
// ERROR_RESOURCE_TYPE_NOT_FOUND (1813) when the image has no version
// resource; ERROR_INVALID_DATA (13) for a damaged one.
WinError parseVersionResource(const uint8_t* image, size_t size, VersionResource& out,
                              const std::vector<uint16_t>& languages);
// The same for an English machine.
WinError parseVersionResource(const uint8_t* image, size_t size, VersionResource& out);

// The same for a file on the host, in the current machine's languages.
// The file is mapped: only what its headers and resource need is read.
// RETURNS as parseVersionResource, or the error of opening or reading.
WinError readFileVersionResource(const std::string& hostPath, VersionResource& out);

}  // namespace zorel::platform
