// Reading the uninstall keys (see uninstall_entries.h).

#include "zorel/detect/uninstall_entries.h"

#include <algorithm>

#include "zorel/platform/registry/registry.h"

namespace zorel {

namespace {

using namespace platform;

constexpr uint32_t kRead = KEY_READ | KEY_WOW64_64KEY;
constexpr int32_t kApiFailed = 20016;

// A REG_SZ / REG_EXPAND_SZ value as text up to its first NUL; empty for a
// missing value or another type. Most values fit the first buffer, so they
// take one query; longer ones are read whole.
std::wstring TextValue(IRegistry& registry, RegKey key, const wchar_t* name) {
  RegValue value;
  value.data.resize(1024);
  uint32_t size = static_cast<uint32_t>(value.data.size());
  const WinError e = registry.queryValue(key, name, &value.type, value.data.data(), &size);
  if (e == ERROR_MORE_DATA) {
    if (readValue(registry, key, name, &value) != ERROR_SUCCESS) return {};
  } else if (e != ERROR_SUCCESS) {
    return {};
  } else {
    value.data.resize(size);
  }
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return {};
  return regText(value.data);
}

bool InstallerValue(IRegistry& registry, RegKey key) {
  RegValue value;
  if (readValue(registry, key, L"WindowsInstaller", &value) != ERROR_SUCCESS) return false;
  return value.type == REG_DWORD && value.data.size() == 4 && value.data[0] == 1 &&
         value.data[1] == 0 && value.data[2] == 0 && value.data[3] == 0;
}

}  // namespace

WinError ReadUninstallKey(IRegistry& registry, const wchar_t* keyPath,
                          std::vector<UninstallEntry>& entries,
                          const std::function<bool(const std::wstring&)>& wantDetails,
                          UninstallScanObserver* observer) {
  UninstallScanObserver quiet;
  UninstallScanObserver& report = observer ? *observer : quiet;
  RegKey key = kRegNoKey;
  if (const WinError e = registry.openKey(kHkeyLocalMachine, keyPath, 0, kRead, &key)) {
    report.KeyOpenFailed(e);
    return e;
  }
  RegKeyInfo info;
  if (const WinError e = registry.queryInfoKey(key, &info)) {
    report.KeyInfoFailed(e);
    registry.closeKey(key);
    return e;
  }
  for (uint32_t index = 0;; ++index) {
    std::wstring name;
    const WinError e = readSubKeyAt(registry, key, index, &name);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e != ERROR_SUCCESS) {
      report.EnumerationFailed(e);
      if (e == ERROR_MORE_DATA) continue;
      break;
    }
    RegKey sub = kRegNoKey;
    if (registry.openKey(key, name, 0, kRead, &sub) != ERROR_SUCCESS) {
      report.SubKeyOpenFailed(name);
      continue;
    }
    UninstallEntry entry;
    entry.displayName = TextValue(registry, sub, L"DisplayName");
    if (!entry.displayName.empty()) {
      if (!wantDetails || wantDetails(entry.displayName)) {
        entry.displayVersion = TextValue(registry, sub, L"DisplayVersion");
        entry.installerValue = InstallerValue(registry, sub);
      }
      entry.subKey = std::move(name);
      entries.push_back(std::move(entry));
    }
    registry.closeKey(sub);
  }
  registry.closeKey(key);
  return ERROR_SUCCESS;
}

UninstallList EnumerateUninstallList(IRegistry& registry) {
  UninstallList list;
  std::vector<UninstallEntry> entries;
  // Only the names are wanted here.
  const auto namesOnly = [](const std::wstring&) { return false; };
  const WinError native = ReadUninstallKey(registry, kUninstallKey, entries, namesOnly);
  const WinError wow64 = ReadUninstallKey(registry, kWow64UninstallKey, entries, namesOnly);
  list.result = (native != ERROR_SUCCESS ? kApiFailed : 0) | (wow64 != ERROR_SUCCESS ? kApiFailed : 0);
  list.bothKeysFailed = native != ERROR_SUCCESS && wow64 != ERROR_SUCCESS;
  list.names.reserve(entries.size());
  for (UninstallEntry& entry : entries) list.names.push_back(std::move(entry.displayName));
  std::sort(list.names.begin(), list.names.end());
  list.names.erase(std::unique(list.names.begin(), list.names.end()), list.names.end());
  return list;
}

}  // namespace zorel
