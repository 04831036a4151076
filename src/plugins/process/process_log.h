#pragma once
// The Process object's log lines: FrameWork.log at error or information
// level, printf-style with wide texts.

#include <string>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel::process_log {

template <class... Args>
void Error(const wchar_t* format, Args... args) {
  FrameworkLog::Instance().Write(LogLevel::Error, format, args...);
}

template <class... Args>
void Info(const wchar_t* format, Args... args) {
  FrameworkLog::Instance().Write(LogLevel::Info, format, args...);
}

// An exception's narrow text for a %s.
inline std::wstring Narrow(const char* text) { return fromUtf8(text ? text : ""); }

}  // namespace zorel::process_log
