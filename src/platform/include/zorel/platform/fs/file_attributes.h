#pragma once
// File attributes of files on the machine.
//
// Windows: GetFileAttributesW / SetFileAttributesW.
// Linux emulation: what the host has is derived from it, the rest is kept
// with the file in the extended attribute "user.zorel.attributes" (the
// attribute value as decimal text):
//   FILE_ATTRIBUTE_DIRECTORY  the host's directory type;
//   FILE_ATTRIBUTE_READONLY   a file without the owner's write permission
//                             (setting it removes every write permission,
//                             clearing it gives the owner write permission
//                             back); on a folder it is only recorded, since
//                             Windows does not stop writes into a folder
//                             marked read-only either;
//   HIDDEN, SYSTEM, ARCHIVE, TEMPORARY, OFFLINE, NOT_CONTENT_INDEXED and the
//   COMPRESSED / ENCRYPTED flags a machine image may record: the extended
//   attribute.
// A file without the extended attribute reads as Windows shows a newly
// written file: FILE_ATTRIBUTE_ARCHIVE (a folder: FILE_ATTRIBUTE_DIRECTORY).
// A file with no attribute at all reads FILE_ATTRIBUTE_NORMAL. Symbolic
// links are followed, as Windows follows them for these calls.

#include <cstdint>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x00000002;
inline constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x00000004;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr uint32_t FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
inline constexpr uint32_t FILE_ATTRIBUTE_COMPRESSED = 0x00000800;
inline constexpr uint32_t FILE_ATTRIBUTE_OFFLINE = 0x00001000;
inline constexpr uint32_t FILE_ATTRIBUTE_NOT_CONTENT_INDEXED = 0x00002000;
inline constexpr uint32_t FILE_ATTRIBUTE_ENCRYPTED = 0x00004000;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// GetFileAttributesW on a host path.
//   [O] attributes  set only on success.
// RETURNS 0; ERROR_FILE_NOT_FOUND (2) for a missing file;
// ERROR_PATH_NOT_FOUND (3) when a folder on the way is missing or is a file;
// another code from the host's error.
WinError getFileAttributes(const std::string& hostPath, uint32_t& attributes);

// SetFileAttributesW on a host path. FILE_ATTRIBUTE_NORMAL alone clears
// every attribute; DIRECTORY, COMPRESSED and ENCRYPTED in `attributes` are
// ignored, as Windows ignores them here.
// RETURNS 0; the codes of getFileAttributes; ERROR_ACCESS_DENIED (5) when
// the file's owner is someone else; ERROR_NOT_SUPPORTED (50) when the host
// file system keeps no extended attributes and an attribute other than
// READONLY (or the default ARCHIVE of a file) was asked for.
WinError setFileAttributes(const std::string& hostPath, uint32_t attributes);

}  // namespace zorel::platform
