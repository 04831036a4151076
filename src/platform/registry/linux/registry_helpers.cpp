// Helpers over any IRegistry: key path parsing, whole-value reads and writes,
// value encodings and the ACL merge rule. Nothing here knows how the
// registry is stored.

#include <algorithm>
#include <cwctype>

#include "zorel/platform/registry/registry.h"
#include "zorel/platform/base/utf16.h"

namespace zorel::platform {

namespace {

bool equalsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  }
  return true;
}

struct RootName {
  const wchar_t* full;
  const wchar_t* abbreviation;
  RegKey key;
};

constexpr RootName kRoots[] = {
    {L"HKEY_LOCAL_MACHINE", L"HKLM", kHkeyLocalMachine},
    {L"HKEY_CURRENT_USER", L"HKCU", kHkeyCurrentUser},
    {L"HKEY_CLASSES_ROOT", L"HKCR", kHkeyClassesRoot},
    {L"HKEY_USERS", L"HKU", kHkeyUsers},
    {L"HKEY_CURRENT_CONFIG", L"HKCC", kHkeyCurrentConfig},
};

}  // namespace

WinError parseKeyPath(std::wstring_view path, RegKey* root,
                      std::wstring* subKey) {
  if (root == nullptr) return ERROR_INVALID_PARAMETER;
  std::size_t slash = path.find(L'\\');
  std::wstring_view rootName = path.substr(0, slash);
  for (const RootName& r : kRoots) {
    if (equalsNoCase(rootName, r.full) || equalsNoCase(rootName, r.abbreviation)) {
      *root = r.key;
      if (subKey != nullptr) {
        *subKey = slash == std::wstring_view::npos
                      ? std::wstring()
                      : std::wstring(path.substr(slash + 1));
      }
      return ERROR_SUCCESS;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

std::wstring rootKeyName(RegKey root) {
  for (const RootName& r : kRoots) {
    if (r.key == root) return r.full;
  }
  return {};
}

std::wstring rootKeyAbbreviation(RegKey root) {
  for (const RootName& r : kRoots) {
    if (r.key == root) return r.abbreviation;
  }
  return {};
}

WinError readValue(IRegistry& registry, RegKey key, std::wstring_view name,
                   RegValue* value) {
  if (value == nullptr) return ERROR_INVALID_PARAMETER;
  // The size can change between the two calls when another process writes;
  // retry until the read fits.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::uint32_t type = 0, size = 0;
    WinError rc = registry.queryValue(key, name, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<std::uint8_t> data(size);
    rc = registry.queryValue(key, name, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return rc;
    data.resize(size);
    value->name = std::wstring(name);
    value->type = type;
    value->data = std::move(data);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

WinError readValueAt(IRegistry& registry, RegKey key, std::uint32_t index,
                     RegValue* value) {
  if (value == nullptr) return ERROR_INVALID_PARAMETER;
  // Most names and data are short: start small and grow on ERROR_MORE_DATA.
  std::uint32_t nameCap = 256;
  std::uint32_t dataCap = 1024;
  WinError rc = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::wstring name(nameCap, L'\0');
    std::vector<std::uint8_t> data(dataCap);
    std::uint32_t cch = nameCap, cb = dataCap, type = 0;
    rc = registry.enumValue(key, index, name.data(), &cch, &type, data.data(), &cb);
    if (rc == ERROR_MORE_DATA) {
      nameCap = std::max<std::uint32_t>(nameCap * 2, kRegMaxValueNameChars + 1);
      dataCap = std::max(dataCap, cb);
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    name.resize(cch);
    data.resize(cb);
    value->name = std::move(name);
    value->type = type;
    value->data = std::move(data);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

WinError readSubKeyAt(IRegistry& registry, RegKey key, std::uint32_t index,
                      std::wstring* name) {
  if (name == nullptr) return ERROR_INVALID_PARAMETER;
  std::wstring buffer(kRegMaxKeyNameChars + 1, L'\0');
  std::uint32_t cch = static_cast<std::uint32_t>(buffer.size());
  WinError rc = registry.enumKey(key, index, buffer.data(), &cch, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  buffer.resize(cch);
  *name = std::move(buffer);
  return ERROR_SUCCESS;
}

WinError writeValue(IRegistry& registry, RegKey key, std::wstring_view name,
                    std::uint32_t type, const std::vector<std::uint8_t>& data) {
  if (data.size() > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
  return registry.setValue(key, name, type, data.data(),
                           static_cast<std::uint32_t>(data.size()));
}

WinError readString(IRegistry& registry, RegKey root, std::wstring_view subKey,
                    std::wstring_view name, std::wstring* text,
                    std::uint32_t flags) {
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  RegKey key;
  WinError rc = registry.openKey(root, subKey, 0, KEY_QUERY_VALUE | flags, &key);
  if (rc != ERROR_SUCCESS) return rc;
  RegValue value;
  rc = readValue(registry, key, name, &value);
  registry.closeKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  *text = regText(value.data);
  return ERROR_SUCCESS;
}

WinError readDword(IRegistry& registry, RegKey root, std::wstring_view subKey,
                   std::wstring_view name, std::uint32_t* number,
                   std::uint32_t flags) {
  if (number == nullptr) return ERROR_INVALID_PARAMETER;
  RegKey key;
  WinError rc = registry.openKey(root, subKey, 0, KEY_QUERY_VALUE | flags, &key);
  if (rc != ERROR_SUCCESS) return rc;
  RegValue value;
  rc = readValue(registry, key, name, &value);
  registry.closeKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  if (value.type != REG_DWORD || value.data.size() != 4) return ERROR_INVALID_DATA;
  *number = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
            (static_cast<std::uint32_t>(value.data[3]) << 24);
  return ERROR_SUCCESS;
}

WinError writeValueAt(IRegistry& registry, RegKey root,
                      std::wstring_view subKey, std::wstring_view name,
                      std::uint32_t type, const std::vector<std::uint8_t>& data,
                      std::uint32_t flags) {
  RegKey key;
  WinError rc = registry.createKey(root, subKey, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE | flags, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = writeValue(registry, key, name, type, data);
  registry.closeKey(key);
  return rc;
}

std::vector<std::uint8_t> regSz(std::wstring_view text) {
  std::vector<std::uint8_t> out;
  out.reserve(text.size() * 2 + 2);
  appendUtf16(out, text);
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> regMultiSz(const std::vector<std::wstring>& items) {
  std::vector<std::uint8_t> out;
  for (const std::wstring& item : items) {
    appendUtf16(out, item);
    out.push_back(0);
    out.push_back(0);
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

std::vector<std::uint8_t> regDword(std::uint32_t number) {
  return {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
          static_cast<std::uint8_t>(number >> 16),
          static_cast<std::uint8_t>(number >> 24)};
}

std::vector<std::uint8_t> regQword(std::uint64_t number) {
  std::vector<std::uint8_t> out(8);
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(number >> (8 * i));
  return out;
}

std::wstring regText(const std::vector<std::uint8_t>& data) {
  std::size_t units = data.size() / 2;
  std::size_t end = 0;
  while (end < units && (data[2 * end] | data[2 * end + 1]) != 0) ++end;
  return decodeUtf16(data.data(), end);
}

std::vector<std::wstring> regMultiText(const std::vector<std::uint8_t>& data) {
  std::vector<std::wstring> items;
  std::size_t units = data.size() / 2, start = 0;
  for (std::size_t i = 0; i <= units; ++i) {
    bool atEnd = i == units;
    if (atEnd || (data[2 * i] | data[2 * i + 1]) == 0) {
      if (i == start) {
        // An empty string ends the list (the double NUL); a trailing
        // unterminated item is kept.
        break;
      }
      items.push_back(decodeUtf16(data.data() + 2 * start, i - start));
      start = i + 1;
    }
  }
  return items;
}

WinError mergeAclEntry(KeySecurity* security, int mode,
                       std::wstring_view account, std::uint32_t mask,
                       std::uint32_t inheritance) {
  if (security == nullptr || account.empty() || mode < GRANT_ACCESS ||
      mode > REVOKE_ACCESS) {
    return ERROR_INVALID_PARAMETER;
  }
  security->hasDacl = true;
  auto& dacl = security->dacl;
  auto forAccount = [&](const RegAce& ace) {
    return (ace.flags & INHERITED_ACE) == 0 && equalsNoCase(ace.account, account);
  };
  switch (mode) {
    case GRANT_ACCESS: {
      auto it = std::find_if(dacl.begin(), dacl.end(), [&](const RegAce& ace) {
        return ace.allow && forAccount(ace) && ace.flags == inheritance;
      });
      if (it != dacl.end()) {
        it->mask |= mask;
      } else {
        dacl.push_back({true, std::wstring(account), mask, inheritance});
      }
      break;
    }
    case SET_ACCESS:
      std::erase_if(dacl, forAccount);
      dacl.push_back({true, std::wstring(account), mask, inheritance});
      break;
    case DENY_ACCESS:
      // Deny entries go first, as Windows keeps the canonical order.
      dacl.insert(dacl.begin(), {false, std::wstring(account), mask, inheritance});
      break;
    case REVOKE_ACCESS:
      std::erase_if(dacl, forAccount);
      break;
  }
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
