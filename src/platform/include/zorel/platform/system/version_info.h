#pragma once
// Operating-system version and edition.
//
// Windows: GetVersionExW (OSVERSIONINFOEXW), VerifyVersionInfoW,
// GetProductInfo, GetSystemDefaultUILanguage, LCIDToLocaleName,
// IsWow64Process, GetNativeSystemInfo, GetSystemMetrics.
// Linux emulation: read from the machine's registry where Windows keeps the
// facts, so an image of another Windows answers as that Windows:
//   HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion: CurrentMajorVersionNumber,
//     CurrentMinorVersionNumber (Windows 10; else CurrentVersion "6.1"),
//     CurrentBuildNumber, CSDVersion, EditionID, ProductName;
//   HKLM\SYSTEM\CurrentControlSet\Control\Windows: CSDVersion (DWORD, service
//     pack major in the high byte, minor in the low byte);
//   HKLM\SYSTEM\CurrentControlSet\Control\ProductOptions: ProductType
//     ("WinNT", "ServerNT", "LanmanNT"), ProductSuite;
//   HKLM\SYSTEM\CurrentControlSet\Control\Nls\Language: InstallLanguage;
//   Session Manager\Environment: PROCESSOR_ARCHITECTURE.
// The version reported is the real one (as for a program whose manifest
// declares every Windows version).

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;

inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;
inline constexpr uint8_t VER_NT_WORKSTATION = 1;
inline constexpr uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
inline constexpr uint8_t VER_NT_SERVER = 3;

inline constexpr uint16_t VER_SUITE_SMALLBUSINESS = 0x0001;
inline constexpr uint16_t VER_SUITE_ENTERPRISE = 0x0002;
inline constexpr uint16_t VER_SUITE_BACKOFFICE = 0x0004;
inline constexpr uint16_t VER_SUITE_TERMINAL = 0x0010;
inline constexpr uint16_t VER_SUITE_EMBEDDEDNT = 0x0040;
inline constexpr uint16_t VER_SUITE_DATACENTER = 0x0080;
inline constexpr uint16_t VER_SUITE_SINGLEUSERTS = 0x0100;
inline constexpr uint16_t VER_SUITE_PERSONAL = 0x0200;
inline constexpr uint16_t VER_SUITE_BLADE = 0x0400;
inline constexpr uint16_t VER_SUITE_STORAGE_SERVER = 0x2000;
inline constexpr uint16_t VER_SUITE_COMPUTE_SERVER = 0x4000;
inline constexpr uint16_t VER_SUITE_WH_SERVER = 0x8000;

// VerifyVersionInfoW type bits and conditions.
inline constexpr uint32_t VER_MINORVERSION = 0x0000001;
inline constexpr uint32_t VER_MAJORVERSION = 0x0000002;
inline constexpr uint32_t VER_BUILDNUMBER = 0x0000004;
inline constexpr uint32_t VER_PLATFORMID = 0x0000008;
inline constexpr uint32_t VER_SERVICEPACKMINOR = 0x0000010;
inline constexpr uint32_t VER_SERVICEPACKMAJOR = 0x0000020;
inline constexpr uint32_t VER_SUITENAME = 0x0000040;
inline constexpr uint32_t VER_PRODUCT_TYPE = 0x0000080;
inline constexpr uint8_t VER_EQUAL = 1;
inline constexpr uint8_t VER_GREATER = 2;
inline constexpr uint8_t VER_GREATER_EQUAL = 3;
inline constexpr uint8_t VER_LESS = 4;
inline constexpr uint8_t VER_LESS_EQUAL = 5;
inline constexpr uint8_t VER_AND = 6;
inline constexpr uint8_t VER_OR = 7;
inline constexpr WinError ERROR_OLD_WIN_VERSION = 1150;

inline constexpr uint16_t PROCESSOR_ARCHITECTURE_INTEL = 0;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_IA64 = 6;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_AMD64 = 9;
inline constexpr uint16_t PROCESSOR_ARCHITECTURE_ARM64 = 12;

inline constexpr int SM_TABLETPC = 86;
inline constexpr int SM_MEDIACENTER = 87;
inline constexpr int SM_STARTER = 88;
inline constexpr int SM_SERVERR2 = 89;

// OSVERSIONINFOEXW without its size member.
struct OsVersionInfoEx {
  uint32_t majorVersion = 0;
  uint32_t minorVersion = 0;
  uint32_t buildNumber = 0;
  uint32_t platformId = 0;
  std::wstring csdVersion;  // "Service Pack 1", or empty (at most 127 characters)
  uint16_t servicePackMajor = 0;
  uint16_t servicePackMinor = 0;
  uint16_t suiteMask = 0;
  uint8_t productType = 0;
};

// VerSetConditionMask: sets the 3-bit condition for one type bit.
uint64_t verSetConditionMask(uint64_t conditionMask, uint32_t typeBit, uint8_t condition);

// LCIDToLocaleName for the common locales ("en-US" for 0x0409).
// RETURNS 0, or ERROR_INVALID_PARAMETER for an unknown identifier.
WinError lcidToLocaleName(uint32_t lcid, std::wstring& name);

class IVersionInfo {
 public:
  virtual ~IVersionInfo() = default;

  // GetVersionExW. RETURNS 0, or the registry error when the version keys
  // are missing (info untouched).
  virtual WinError getVersionEx(OsVersionInfoEx& info) const = 0;

  // VerifyVersionInfoW. Major, minor, service-pack major and minor are
  // compared as one number in that order (the condition of the most
  // significant member present rules), the others each on its own.
  // RETURNS 0 when the system meets the conditions, ERROR_OLD_WIN_VERSION
  // when not, ERROR_INVALID_PARAMETER for an empty type mask or a type bit
  // without a condition.
  virtual WinError verifyVersionInfo(const OsVersionInfoEx& wanted, uint32_t typeMask,
                                     uint64_t conditionMask) const = 0;

  // GetProductInfo (arguments as Windows takes them; the answer does not
  // depend on them). RETURNS 0 and the PRODUCT_* number of the edition, or
  // ERROR_NOT_SUPPORTED when the edition is unknown (productType then
  // PRODUCT_UNDEFINED, 0).
  virtual WinError getProductInfo(uint32_t osMajor, uint32_t osMinor, uint32_t spMajor,
                                  uint32_t spMinor, uint32_t& productType) const = 0;

  // GetSystemDefaultUILanguage (a LANGID; 0x0409 for en-US).
  virtual uint16_t systemDefaultUILanguage() const = 0;

  // The machine's processor architecture as GetNativeSystemInfo reports it.
  virtual uint16_t nativeProcessorArchitecture() const = 0;
  // True for a 64-bit Windows.
  virtual bool is64BitOperatingSystem() const = 0;
  // IsWow64Process for this process: false, the program is 64-bit.
  virtual bool isWow64Process() const = 0;
  // GetSystemMetrics for the SM_* edition flags above; 0 for any other.
  virtual int systemMetrics(int index) const = 0;

  // ProductName and EditionID as the registry holds them ("Windows 10 Pro",
  // "Professional").
  virtual std::wstring productName() const = 0;
  virtual std::wstring editionId() const = 0;
};

std::unique_ptr<IVersionInfo> createVersionInfo(IRegistry& registry);

}  // namespace zorel::platform
