#pragma once
// File and folder calls on Windows paths of the current machine, answering
// Windows error codes. This is what plug-ins use; the host-path calls of
// file_ops.h and file_attributes.h serve the program's own files.
//
// Windows: GetFullPathNameW, GetFileAttributesExW, DeleteFileW,
// RemoveDirectoryW, MoveFileExW (replacing), CopyFileW, CreateDirectoryW,
// FindFirstFileW / FindNextFileW, CreateFileW with ReadFile / WriteFile,
// GetFileVersionInfoW.
// Linux emulation: each path is mapped with the machine's paths (paths.h)
// and the host call's errno becomes a Windows code inside the platform.
// Only regular files are opened for their contents: a folder, a named pipe,
// a socket or a device (Z:\dev\zero) answers ERROR_ACCESS_DENIED (5) at
// once, as Windows answers for a device path, so no call ever waits on one;
// deletions refuse them likewise. A drive root (C:\, Z:\) is never removed.
//
// Every failure is also the thread's last error (win_error.h). Without a
// current machine every call answers ERROR_PATH_NOT_FOUND (3).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/file_ops.h"

namespace zorel::platform {
struct VersionResource;  // pe_version.h
}  // namespace zorel::platform

namespace zorel::platform::files {

// The host path behind a Windows path, for the few callers that hand a
// path on to a host library (cabinet extraction, downloads).
// RETURNS 0; the mapper's codes (3 for an empty path or unknown drive, 123
// for a malformed name).
WinError hostPath(std::wstring_view path, std::string& host);
// The Windows path a host path is shown as (C:\... or Z:\...).
std::wstring windowsPath(std::string_view host);

// Whether the path names a drive root (C:\ or Z:\, however written).
bool isDriveRoot(std::wstring_view path);

// GetFullPathNameW: the absolute path with '\' separators, "." and ".."
// elements resolved as text (never above the drive root) and a relative
// path taken from the current directory. Nothing is looked up on disk, so
// the case (the drive letter's too) and the wildcards stay as written; a trailing
// separator is kept ("C:\a\" stays a folder name).
// RETURNS 0; ERROR_PATH_NOT_FOUND (3) for an empty path; ERROR_BAD_NETPATH
// (53) for a UNC path.
WinError fullPathName(std::wstring_view path, std::wstring& full);

// What the path names, symbolic links followed (FileType: file_ops.h).
// RETURNS 0 with type set; for a missing name the code PathFileExistsW
// gives (2, or 3 when a folder on the way is missing) with type kMissing;
// the mapper's codes (type kMissing); another host error (type unchanged).
WinError fileType(std::wstring_view path, FileType& type);

// PathFileExistsW's answer: 0 when the path names anything.
WinError pathFileExists(std::wstring_view path);
// The size of a regular file in bytes; ERROR_ACCESS_DENIED (5) for a
// folder, a pipe or a device (Windows opens neither for its size).
WinError fileSize(std::wstring_view path, uint64_t& size);
WinError fileAttributes(std::wstring_view path, uint32_t& attributes);
WinError fileTimes(std::wstring_view path, FileTimes& times);

// DeleteFileW: a file or a symbolic link (never what it points to).
// ERROR_ACCESS_DENIED for a folder, a read-only file, a pipe or a device.
WinError deleteFile(std::wstring_view path);
// RemoveDirectoryW: an empty folder only (145 otherwise, 267 for a file).
WinError removeDirectory(std::wstring_view path);
// A folder with everything below it. Symbolic links are removed, never
// followed; read-only files go too. Pipes and devices are not removed:
// ERROR_ACCESS_DENIED, after the rest is gone. RETURNS 0 or the first
// failure.
WinError removeTree(std::wstring_view path);
// MoveFileExW with MOVEFILE_REPLACE_EXISTING: renames a file or a folder,
// replacing an existing file of the new name.
WinError moveFile(std::wstring_view from, std::wstring_view to);
// CopyFileW: regular files only, on either side (see file_ops.h copyFile).
WinError copyFile(std::wstring_view source, std::wstring_view destination,
                  bool failIfExists);
// The folder with every missing folder above it (SHCreateDirectoryExW).
WinError createFolders(std::wstring_view path);

struct FolderEntry {
  std::wstring name;
  FileType type = FileType::kMissing;  // of the entry, links followed
  bool link = false;                   // the entry itself is a symbolic link
};
// The entries of a folder ("." and ".." left out), in the host's order.
// RETURNS 0; ERROR_DIRECTORY (267) for a file; the codes of a missing path.
WinError listFolder(std::wstring_view path, std::vector<FolderEntry>& entries);

// The bytes of a regular file. ERROR_OUTOFMEMORY (14) when it is larger
// than `limit` (nothing read).
WinError readFile(std::wstring_view path, std::string& bytes, uint64_t limit);
// CreateFileW(CREATE_ALWAYS) and WriteFile: creates or truncates a regular
// file and writes `bytes`. ERROR_ACCESS_DENIED for a read-only file.
WinError writeFile(std::wstring_view path, std::string_view bytes);
// Appends to a regular file, creating it when missing (OPEN_ALWAYS).
WinError appendToFile(std::wstring_view path, std::string_view bytes);
// GetFileVersionInfoW: the version resource of a PE file (pe_version.h).
// RETURNS 0; the reader's codes; ERROR_ACCESS_DENIED for anything but a
// regular file.
WinError fileVersionResource(std::wstring_view path, VersionResource& version);

// Replaces a regular file's contents whole: the bytes go to a temporary
// file beside it, which takes the original's permissions and attributes
// and is renamed over it, so a failure half way leaves the original as it
// was. ERROR_ACCESS_DENIED for a read-only file.
WinError replaceFileContents(std::wstring_view path, std::string_view bytes);

}  // namespace zorel::platform::files
