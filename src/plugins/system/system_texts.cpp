// Size, date, time and requirement texts of the System plug-in.

#include "zorel/plugins/system/system_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace zorel::system_texts {

std::wstring Format(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return L"";
  // Numbers only: the text is ASCII, and a value too wide for the buffer
  // (a float of 39 digits fits) is cut rather than overrun.
  std::string text(buffer, static_cast<size_t>(std::min<int>(length, sizeof buffer - 1)));
  return std::wstring(text.begin(), text.end());
}

std::wstring GbText(float gigabytes) {
  return Format("%.2f", static_cast<double>(gigabytes)) + L" GB(s)";
}

std::wstring DriveRootOf(const std::wstring& windowsDirectory) {
  const size_t slash = windowsDirectory.find(L'\\');
  if (slash == std::wstring::npos) return L"";
  return windowsDirectory.substr(0, slash + 1);
}

std::wstring DateText(const std::tm& local) {
  return std::to_wstring(local.tm_mday) + L"/" + std::to_wstring(local.tm_mon + 1) + L"/" +
         std::to_wstring(local.tm_year + 1900);
}

std::wstring TimeText(const std::tm& local) {
  return std::to_wstring(local.tm_hour) + L":" + std::to_wstring(local.tm_min) + L":" +
         std::to_wstring(local.tm_sec);
}

std::wstring CpuExpectedText(float requiredMhz) {
  return L"$GEN1003$ " + Format("%.*g", 9, static_cast<double>(requiredMhz)) + L" MHz";
}

std::wstring CpuActualText(uint32_t actualMhz) { return std::to_wstring(actualMhz) + L" MHz"; }

std::wstring DiskExpectedText(int32_t requiredMb) {
  return L"$GEN1004$ " + std::to_wstring(requiredMb) + L" MB";
}

std::wstring DiskActualText(int64_t availableMb) { return std::to_wstring(availableMb) + L" MB"; }

std::wstring MemoryExpectedText(float requiredGb) {
  return Format("%.1f", static_cast<double>(requiredGb)) + L" GB" + L" $GEN1002$";
}

std::wstring MemoryActualText(float installedGb) {
  const double rounded = std::floor(static_cast<double>(installedGb) * 10.0) / 10.0;
  return Format("%.1f", rounded) + L" GB";
}

}  // namespace zorel::system_texts
