#pragma once
// The time text of every START_TIME and END_TIME value: UTC, formatted as
// the C library's "%Y-%m-%d.%X" gives it in the C locale, for example
// 2016-02-01.14:03:05.

#include <chrono>
#include <string>

namespace zorel {

std::wstring FormatTimeText(std::chrono::system_clock::time_point when);
std::wstring CurrentTimeText();

}  // namespace zorel
