#include "zorel/store/time_text.h"

#include <cwchar>

namespace zorel {

// The calendar arithmetic of <chrono> gives the same text as a wide
// strftime of "%Y-%m-%d.%X" on the UTC time in the C locale, without the
// shared static buffer of gmtime.
std::wstring FormatTimeText(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto seconds = floor<std::chrono::seconds>(when);
  const auto day = floor<days>(seconds);
  const year_month_day date{day};
  const hh_mm_ss<std::chrono::seconds> time{seconds - day};
  wchar_t buffer[160];
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%d-%02u-%02u.%02d:%02d:%02d",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return buffer;
}

std::wstring CurrentTimeText() { return FormatTimeText(std::chrono::system_clock::now()); }

}  // namespace zorel
