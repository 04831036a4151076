#pragma once
// Pure pieces of a log line, kept apart from the file handling for tests.

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>

namespace zorel::logfmt {

// "Info", "Error " or "Warn "; any other level reads as "Info".
const char* levelText(int32_t level);

// asctime layout without the newline: "Tue Feb  6 14:03:09 2018".
std::string timestamp(const std::tm& local);

// Rewrites a Windows-style wide format for glibc: a plain %s (wide on
// Windows) becomes %ls. Other directives pass through unchanged.
std::wstring windowsFormatToGlibc(const wchar_t* format);

// Formats with wide printf rules, cut to at most maxChars characters.
std::wstring formatMessage(const wchar_t* format, va_list args, size_t maxChars);

}  // namespace zorel::logfmt
