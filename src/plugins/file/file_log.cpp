// Log lines and texts of the File plug-in.

#include "file_log.h"

#include <cstdarg>
#include <cwctype>

#include "zorel/log/framework_log.h"
#include "zorel/plugins/common/error_messages.h"

namespace zorel::file_detail {

void LogError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FrameworkLog::Instance().WriteV(static_cast<int32_t>(LogLevel::Error), format, args);
  va_end(args);
}

void LogInfo(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  FrameworkLog::Instance().WriteV(static_cast<int32_t>(LogLevel::Info), format, args);
  va_end(args);
}

void LogFileError(const std::wstring& path, int32_t code) {
  LogError(L"File : %s Error : %s", path.c_str(), GetErrorMessage(code).c_str());
}

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

}  // namespace zorel::file_detail
