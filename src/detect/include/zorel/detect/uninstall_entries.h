#pragma once
// The system's uninstall list (the programs Add/Remove shows), read from
// the machine's two uninstall keys: the 64-bit view's and, by its explicit
// WOW6432Node path (never redirected again), the 32-bit programs'.
//
// A display name is the text of a REG_SZ or REG_EXPAND_SZ "DisplayName" of
// any length, up to its first NUL or the data's end; any other type, or an
// empty text, is no name (Windows does not list such entries either). The
// sub-keys are walked by index until the registry reports the end: an index
// whose name does not fit is skipped, any other error ends the walk (a key
// deleted under the walk answers the same error at every index).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel {

namespace platform {
class IRegistry;
}

inline constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr wchar_t kWow64UninstallKey[] =
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// One sub-key of an uninstall key.
struct UninstallEntry {
  std::wstring subKey;          // the sub-key's name
  std::wstring displayName;     // empty: the entry has no name
  std::wstring displayVersion;  // "DisplayVersion" by the same text rule, else empty
  bool installerValue = false;  // "WindowsInstaller" is REG_DWORD 1
};

// What went wrong during a walk, for callers that log it. Every method
// does nothing by default.
class UninstallScanObserver {
 public:
  virtual ~UninstallScanObserver() = default;
  virtual void KeyOpenFailed(platform::WinError) {}
  virtual void KeyInfoFailed(platform::WinError) {}
  virtual void EnumerationFailed(platform::WinError) {}
  virtual void SubKeyOpenFailed(const std::wstring& /*name*/) {}
};

// Reads the named entries of one uninstall key (kUninstallKey or
// kWow64UninstallKey, below HKEY_LOCAL_MACHINE in the 64-bit view), in
// enumeration order. DisplayVersion and WindowsInstaller are read only for
// names `wantDetails` accepts (all names when it is empty).
// RETURNS 0; the error opening the key or reading its sub-key count (then
// nothing is read).
platform::WinError ReadUninstallKey(platform::IRegistry& registry, const wchar_t* key,
                                    std::vector<UninstallEntry>& entries,
                                    const std::function<bool(const std::wstring&)>& wantDetails = {},
                                    UninstallScanObserver* observer = nullptr);

// The uninstall list as the Products plug-in shows it: the display names of
// both keys, each once, ordered by ordinal comparison of the characters.
struct UninstallList {
  std::vector<std::wstring> names;
  int32_t result = 0;            // 0 when both keys opened, else 20016 (API failed)
  bool bothKeysFailed = false;   // neither key could be read: the list says nothing
};
UninstallList EnumerateUninstallList(platform::IRegistry& registry);

}  // namespace zorel
