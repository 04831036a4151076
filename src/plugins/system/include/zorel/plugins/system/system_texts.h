#pragma once
// The System plug-in's texts that follow from numbers alone: sizes, date
// and time, the system drive root and the requirement checks' "expected"
// and "actual" texts. The "$GEN100n$" tokens are replaced by the report
// side with its own wording.

#include <cstdint>
#include <ctime>
#include <string>

namespace zorel::system_texts {

inline constexpr float kBytesPerGb = 1073741824.0f;  // 2^30
inline constexpr float kKbPerGb = 1048576.0f;        // 2^20
inline constexpr uint64_t kBytesPerMb = 1048576;     // 2^20

// printf-style formatting into wide text (ASCII formats only).
std::wstring Format(const char* format, ...);

// "8.00 GB(s)": a size in GB with two decimals.
std::wstring GbText(float gigabytes);

// The volume root of the Windows folder: the text up to and including its
// first backslash (C:\Windows gives C:\); empty when there is none.
std::wstring DriveRootOf(const std::wstring& windowsDirectory);

// 5/12/2016 for 5 December 2016; 9:5:7 for 09:05:07.
std::wstring DateText(const std::tm& local);
std::wstring TimeText(const std::tm& local);

// checkForCPUSpeed: "$GEN1003$ 2000 MHz" / "1800 MHz"; the required speed
// written with 9 significant digits, as a float holds it.
std::wstring CpuExpectedText(float requiredMhz);
std::wstring CpuActualText(uint32_t actualMhz);
// checkForDiskSpace: "$GEN1004$ 500 MB" / "300 MB".
std::wstring DiskExpectedText(int32_t requiredMb);
std::wstring DiskActualText(int64_t availableMb);
// checkForMemorySize: "4.0 GB $GEN1002$" / "8.0 GB" (installed GB rounded
// down to one decimal).
std::wstring MemoryExpectedText(float requiredGb);
std::wstring MemoryActualText(float installedGb);

}  // namespace zorel::system_texts
