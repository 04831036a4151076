#pragma once
// The program's one-per-machine instance: the name of its lock and the
// texts a refused start shows.

namespace zorel::app {

inline constexpr const wchar_t* kInstanceName = L"{E71B08E8-3175-445D-964F-BB3CC4FF5E31}";
inline constexpr const char* kWindowTitle = "Consumer Readiscan Tool";
inline constexpr const char* kAlreadyRunning = "Readiscan tool is already running on this machine.";

}  // namespace zorel::app
