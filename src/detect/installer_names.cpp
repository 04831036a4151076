// Windows Installer product codes and their names (see installer_names.h).

#include "zorel/detect/installer_names.h"

#include <cwctype>

#include "zorel/platform/registry/registry.h"

namespace zorel {

using namespace platform;

namespace {

bool IsHex(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

}  // namespace

bool LooksLikeProductCode(std::wstring_view name) {
  if (name.size() < 2 || name.front() != L'{' || name.back() != L'}') return false;
  size_t dashes = 0;
  for (wchar_t c : name.substr(1, name.size() - 2)) dashes += c == L'-';
  return dashes == 4;
}

std::optional<std::wstring> PackedProductCode(std::wstring_view name) {
  static constexpr size_t kGroups[] = {8, 4, 4, 4, 12};
  if (name.size() != 38 || name.front() != L'{' || name.back() != L'}') return std::nullopt;
  std::wstring_view rest = name.substr(1, 36);
  std::wstring packed;
  for (size_t g = 0; g < 5; ++g) {
    const std::wstring_view group = rest.substr(0, kGroups[g]);
    for (wchar_t c : group)
      if (!IsHex(c)) return std::nullopt;
    if (g < 4 && (rest.size() <= kGroups[g] || rest[kGroups[g]] != L'-')) return std::nullopt;
    rest.remove_prefix(g < 4 ? kGroups[g] + 1 : kGroups[g]);
    if (g < 3) {
      packed.append(group.rbegin(), group.rend());
    } else {
      for (size_t i = 0; i + 1 < group.size(); i += 2) {
        packed += group[i + 1];
        packed += group[i];
      }
    }
  }
  for (wchar_t& c : packed) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
  return packed;
}

WinError InstallerProductName(IRegistry& registry, std::wstring_view subKeyName,
                              std::wstring& productName) {
  const std::optional<std::wstring> packed = PackedProductCode(subKeyName);
  if (!packed) return ERROR_INVALID_NAME;
  RegKey key = kRegNoKey;
  const std::wstring path = L"SOFTWARE\\Classes\\Installer\\Products\\" + *packed;
  if (const WinError e =
          registry.openKey(kHkeyLocalMachine, path, 0, KEY_READ | KEY_WOW64_64KEY, &key))
    return e;
  RegValue value;
  WinError e = readValue(registry, key, L"ProductName", &value);
  registry.closeKey(key);
  if (e != ERROR_SUCCESS) return e;
  std::wstring text = value.type == REG_SZ ? regText(value.data) : std::wstring();
  if (text.empty()) return ERROR_INVALID_DATA;
  productName = std::move(text);
  return ERROR_SUCCESS;
}

}  // namespace zorel
