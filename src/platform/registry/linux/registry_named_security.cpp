// Key security by object name (GetNamedSecurityInfoW / SetNamedSecurityInfoW
// for SE_REGISTRY_KEY), on top of any IRegistry.

#include <cwctype>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

// Splits "MACHINE\SOFTWARE\x" into the root and the rest; false for a name
// the security functions do not know.
bool splitObjectName(std::wstring_view name, RegKey* root, std::wstring* subKey) {
  static const struct {
    const wchar_t* prefix;
    RegKey root;
  } kRoots[] = {{L"CLASSES_ROOT", kHkeyClassesRoot},
                {L"CURRENT_USER", kHkeyCurrentUser},
                {L"MACHINE", kHkeyLocalMachine},
                {L"USERS", kHkeyUsers},
                {L"CONFIG", kHkeyCurrentConfig}};
  const size_t slash = name.find(L'\\');
  std::wstring head(name.substr(0, slash));
  for (wchar_t& c : head) c = static_cast<wchar_t>(std::towupper(c));
  for (const auto& r : kRoots) {
    if (head == r.prefix) {
      *root = r.root;
      *subKey = slash == std::wstring_view::npos ? L"" : std::wstring(name.substr(slash + 1));
      return true;
    }
  }
  return false;
}

}  // namespace

WinError getNamedKeySecurity(IRegistry& registry, std::wstring_view objectName,
                             KeySecurity* security, std::uint32_t viewFlag) {
  RegKey root;
  std::wstring subKey;
  if (!splitObjectName(objectName, &root, &subKey)) return ERROR_INVALID_PARAMETER;
  RegKey key;
  WinError e = registry.openKey(root, subKey, 0, READ_CONTROL | viewFlag, &key);
  if (e != ERROR_SUCCESS) return e;
  e = registry.getKeySecurity(key, security);
  registry.closeKey(key);
  return e;
}

WinError setNamedKeySecurity(IRegistry& registry, std::wstring_view objectName,
                             const KeySecurity& security, std::uint32_t viewFlag) {
  RegKey root;
  std::wstring subKey;
  if (!splitObjectName(objectName, &root, &subKey)) return ERROR_INVALID_PARAMETER;
  RegKey key;
  WinError e = registry.openKey(root, subKey, 0, READ_CONTROL | WRITE_DAC | viewFlag, &key);
  if (e != ERROR_SUCCESS) return e;
  KeySecurity current;
  e = registry.getKeySecurity(key, &current);
  if (e == ERROR_SUCCESS) {
    // DACL only: the owner stays as it is.
    current.hasDacl = security.hasDacl;
    current.isProtected = security.isProtected;
    current.dacl = security.dacl;
    e = registry.setKeySecurity(key, current);
  }
  registry.closeKey(key);
  return e;
}

}  // namespace zorel::platform
