#pragma once
// Helpers of the File plug-in: Windows path to host path, the status query
// its methods share, wildcard matching as FindFirstFileW does it, and the
// log line writer.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorel::file_detail {

// Maps a Windows path of the current machine to its host path.
// RETURNS 0, the mapper's error, or 3 when there is no machine.
int32_t ToHost(const std::wstring& windowsPath, std::string& hostPath);

// The status query the methods use (the filesystem library's status with an
// error code): the type and the Windows code of a failed query. A path
// that does not exist has type kNotFound and code 2 or 3.
enum class PathType { kStatusError, kNotFound, kRegular, kDirectory, kOther };
PathType QueryStatus(const std::wstring& windowsPath, int32_t& code);

// FindFirstFileW's name matching: * and ?, ignoring case; "x.*" matches
// "x" as well.
bool MatchesPattern(std::wstring_view name, std::wstring_view pattern);
bool HasWildcard(std::wstring_view text);

// Lower case for the find-and-replace comparisons (every character, not
// only ASCII).
std::wstring Lower(std::wstring_view text);

// "True"/"False" and "true"/"false" as the input details write them.
inline const wchar_t* TitleBool(bool value) { return value ? L"True" : L"False"; }
inline const wchar_t* LowerBool(bool value) { return value ? L"true" : L"false"; }

// One error-level line of FrameWork.log; %s takes wide strings.
void LogError(const wchar_t* format, ...);
void LogInfo(const wchar_t* format, ...);

}  // namespace zorel::file_detail

namespace zorel::file_detail {

// Reads a whole host file as bytes. RETURNS 0 or a Windows code;
// ERROR_OUTOFMEMORY (14) for a file larger than `limit`.
int32_t ReadWholeFile(const std::string& hostPath, std::string& bytes, uint64_t limit);

// Replaces a host file's contents: the bytes go to a temporary file beside
// it, which takes the original's permissions and attributes and is renamed
// over it, so a failure half way leaves the original whole.
// RETURNS 0 or a Windows code (5 for a read-only file, as Windows refuses
// to open one for writing).
int32_t ReplaceFileContents(const std::string& hostPath, const std::string& bytes);

// The result store folder as a host path: a text that starts with "/" is a
// host path already, anything else a Windows path of the machine.
int32_t StoreFolderToHost(const std::wstring& folder, std::string& hostPath);

}  // namespace zorel::file_detail
