// The Process object's pure rules (see process_rules.h).

#include "zorel/plugins/process/process_rules.h"

#include <boost/regex.hpp>
#include <cmath>
#include <cwctype>

#include "zorel/platform/process/sync.h"

namespace zorel::process_rules {

namespace {
// The first whole number of seconds whose milliseconds do not fit the
// 32-bit wait (4 294 967 × 1000 > 0xFFFFFFFE).
constexpr double kUnlimitedSeconds = 4294967.0;
}  // namespace

std::string LowBytes(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t c : text) narrow += static_cast<char>(static_cast<uint32_t>(c) & 0xFF);
  return narrow;
}

std::wstring Lower(const std::wstring& text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

bool NameMatches(const std::wstring& candidate, const std::wstring& name,
                 const boost::regex& pattern) {
  const std::wstring lower = Lower(candidate);
  if (lower == Lower(name)) return true;
  return boost::regex_match(LowBytes(lower), pattern);
}

std::wstring StartCommandLine(const std::wstring& path, const std::wstring& name,
                              const std::wstring& argument) {
  std::wstring line = path.empty() ? name : path + L"//" + name;
  return line + L" " + argument;
}

uint32_t WaitFromSeconds(float seconds) {
  if (std::isnan(seconds)) return 0;
  if (seconds < 0 || std::isinf(seconds)) return platform::kInfinite;
  const double whole = std::trunc(static_cast<double>(seconds));
  if (whole >= kUnlimitedSeconds) return platform::kInfinite;
  return static_cast<uint32_t>(whole) * 1000u;
}

uint32_t WaitFromWholeSeconds(int32_t seconds) {
  if (seconds <= 0) return 0;
  if (seconds >= kUnlimitedSeconds) return platform::kInfinite;
  return static_cast<uint32_t>(seconds) * 1000u;
}

std::wstring DownloadedName(const std::wstring& url) {
  // The name downloadFile saves under: after the last separator of either
  // kind, so a URL such as http://h/a\b/c.cab extracts the file it saved.
  const size_t cut = url.find_last_of(L"\\/");
  return cut == std::wstring::npos ? url : url.substr(cut + 1);
}

bool IsCabinetName(const std::wstring& name) {
  return name.size() >= 4 && Lower(name.substr(name.size() - 4)) == L".cab";
}

}  // namespace zorel::process_rules
