#pragma once
// FrameWork.log lines of the File plug-in, and the texts its input details
// and comparisons use.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorel::file_detail {

// One error-level (or info-level) line of FrameWork.log; %s takes wide
// strings.
void LogError(const wchar_t* format, ...);
void LogInfo(const wchar_t* format, ...);

// "File : <path> Error : <the code's message>", the line a file the
// platform refused (a pipe or a device among them) leaves.
void LogFileError(const std::wstring& path, int32_t code);

// Lower case for the comparisons that ignore case (every character, not
// only ASCII).
std::wstring Lower(std::wstring_view text);

// "True"/"False" and "true"/"false" as the input details write them.
inline const wchar_t* TitleBool(bool value) { return value ? L"True" : L"False"; }
inline const wchar_t* LowerBool(bool value) { return value ? L"true" : L"false"; }

}  // namespace zorel::file_detail
