#pragma once
// Host facts Windows reports about the hardware and the clock: memory,
// processors, disk space and volumes, time zone and local time.
//
// Windows: GlobalMemoryStatusEx, GetPhysicallyInstalledSystemMemory,
// GetSystemInfo, CPUID, GetDiskFreeSpaceExW, GetVolumeInformationW,
// localtime and strftime.
// Linux emulation: the real host (/proc/meminfo, /proc/cpuinfo, statvfs,
// statfs, the C library's time zone). Paths are Windows paths of the machine.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IPathMapper;

// MEMORYSTATUSEX without its length member.
struct MemoryStatus {
  uint32_t memoryLoad = 0;        // percent of physical memory in use
  uint64_t totalPhys = 0;         // bytes
  uint64_t availPhys = 0;
  uint64_t totalPageFile = 0;     // commit limit: physical memory + swap
  uint64_t availPageFile = 0;
  uint64_t totalVirtual = 0;      // user address space of a 64-bit process
  uint64_t availVirtual = 0;
  uint64_t availExtendedVirtual = 0;  // always 0, as on Windows
};

struct DiskSpace {
  uint64_t freeBytesAvailableToCaller = 0;
  uint64_t totalBytes = 0;
  uint64_t totalFreeBytes = 0;
};

struct VolumeInformation {
  std::wstring volumeName;
  uint32_t serialNumber = 0;
  uint32_t maxComponentLength = 255;
  uint32_t fileSystemFlags = 0;
  std::wstring fileSystemName;  // "NTFS", "FAT32", ...
};

class ISystemInfo {
 public:
  virtual ~ISystemInfo() = default;

  // RETURNS 0, or the error that kept the numbers from being read.
  virtual WinError globalMemoryStatus(MemoryStatus& status) const = 0;
  // Installed memory in KB. RETURNS 0 or an error code.
  virtual WinError physicallyInstalledMemoryKb(uint64_t& kilobytes) const = 0;

  // Logical processors (GetSystemInfo's dwNumberOfProcessors).
  virtual uint32_t processorCount() const = 0;
  // The CPUID brand text (48 bytes at most, leading blanks kept), empty when
  // the processor has no brand leaves.
  virtual std::wstring processorBrandString() const = 0;
  // The processor's rated speed in MHz (what Windows stores as ~MHz), 0 when
  // unknown.
  virtual uint32_t processorMhz() const = 0;
  // "GenuineIntel", "AuthenticAMD", ...
  virtual std::wstring processorVendor() const = 0;
  // "Intel64 Family 6 Model 85 Stepping 7", as in the CentralProcessor key.
  virtual std::wstring processorIdentifier() const = 0;

  // GetDiskFreeSpaceExW on a folder of the machine (Windows path).
  // RETURNS 0; ERROR_PATH_NOT_FOUND (3) when the folder does not exist;
  // ERROR_INVALID_NAME (123) for a malformed path.
  virtual WinError diskFreeSpace(std::wstring_view windowsPath, DiskSpace& space) const = 0;
  // GetVolumeInformationW on a volume root such as C:\ .
  // RETURNS 0; ERROR_INVALID_NAME (123) when the path is not a volume root;
  // ERROR_PATH_NOT_FOUND (3) for a drive that does not exist.
  virtual WinError volumeInformation(std::wstring_view rootPath, VolumeInformation& info) const = 0;

  // The C library's local time of t. RETURNS 0 or the errno of the failed
  // conversion.
  virtual int localTime(std::time_t t, std::tm& local) const = 0;
  // strftime "%Z" of the current local time: the time zone's name.
  virtual std::wstring timeZoneName() const = 0;
  // Minutes to add to local time to get UTC (Windows' Bias).
  virtual int32_t timeZoneBiasMinutes() const = 0;
};

// System facts for the machine whose paths the mapper resolves.
std::unique_ptr<ISystemInfo> createSystemInfo(std::shared_ptr<const IPathMapper> paths);

}  // namespace zorel::platform
