#include "log_format.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace zorel::logfmt {

const char* levelText(int32_t level) {
  switch (level) {
    case 2: return "Error ";
    case 3: return "Warn ";
    default: return "Info";
  }
}

std::string timestamp(const std::tm& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char buf[64];
  const int wday = (t.tm_wday >= 0 && t.tm_wday < 7) ? t.tm_wday : 0;
  const int mon = (t.tm_mon >= 0 && t.tm_mon < 12) ? t.tm_mon : 0;
  std::snprintf(buf, sizeof buf, "%s %s %2d %02d:%02d:%02d %d", kDays[wday], kMonths[mon],
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return buf;
}

std::wstring windowsFormatToGlibc(const wchar_t* format) {
  std::wstring out;
  for (const wchar_t* p = format; *p; ++p) {
    out.push_back(*p);
    if (*p != L'%') continue;
    if (p[1] == L'%') {
      out.push_back(*++p);
      continue;
    }
    // Copy flags, width, precision and length; then look at the conversion.
    const wchar_t* q = p + 1;
    bool hasLength = false;
    while (*q && std::wcschr(L"-+ #0123456789.*", *q)) out.push_back(*q++);
    while (*q && std::wcschr(L"hlLqjzt", *q)) {
      hasLength = true;
      out.push_back(*q++);
    }
    if (!*q) break;
    if ((*q == L's' || *q == L'c') && !hasLength) out.push_back(L'l');
    out.push_back(*q);
    p = q;
  }
  return out;
}

std::wstring formatMessage(const wchar_t* format, va_list args, size_t maxChars) {
  if (!format) return {};
  const std::wstring glibcFormat = windowsFormatToGlibc(format);
  wchar_t* buffer = nullptr;
  size_t size = 0;
  FILE* stream = open_wmemstream(&buffer, &size);
  if (!stream) return {};
  va_list copy;
  va_copy(copy, args);
  std::vfwprintf(stream, glibcFormat.c_str(), copy);
  va_end(copy);
  std::fclose(stream);
  std::wstring text = buffer ? std::wstring(buffer, size) : std::wstring();
  std::free(buffer);
  if (text.size() > maxChars) text.resize(maxChars);
  return text;
}

}  // namespace zorel::logfmt
