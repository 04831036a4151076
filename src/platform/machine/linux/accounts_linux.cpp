// LookupAccountNameW over the machine's registry (see accounts.h).

#include "zorel/platform/machine/accounts.h"

#include <cwctype>
#include <vector>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

constexpr const wchar_t* kProfileList =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kComputerName =
    L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

std::wstring upper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towupper(c));
  return out;
}

std::vector<AccountInfo> knownAccounts(IRegistry& registry) {
  std::vector<AccountInfo> accounts = {
      {L"Administrators", L"BUILTIN", L"S-1-5-32-544", SidTypeAlias},
      {L"Users", L"BUILTIN", L"S-1-5-32-545", SidTypeAlias},
      {L"Everyone", L"", L"S-1-1-0", SidTypeWellKnownGroup},
      {L"Authenticated Users", L"NT AUTHORITY", L"S-1-5-11", SidTypeWellKnownGroup},
      {L"SYSTEM", L"NT AUTHORITY", L"S-1-5-18", SidTypeWellKnownGroup},
  };
  std::wstring computer;
  readString(registry, kHkeyLocalMachine, kComputerName, L"ComputerName", &computer);
  RegKey list;
  if (registry.openKey(kHkeyLocalMachine, kProfileList, 0, KEY_READ, &list) != ERROR_SUCCESS)
    return accounts;
  for (uint32_t i = 0;; ++i) {
    std::wstring sid;
    if (readSubKeyAt(registry, list, i, &sid) != ERROR_SUCCESS) break;
    if (sid == L"S-1-5-18" || sid == L"S-1-5-19" || sid == L"S-1-5-20") continue;
    std::wstring path;
    if (readString(registry, list, sid, L"ProfileImagePath", &path) != ERROR_SUCCESS) continue;
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (!name.empty()) accounts.push_back({name, computer, sid, SidTypeUser});
  }
  registry.closeKey(list);
  return accounts;
}

}  // namespace

WinError lookupAccountName(IRegistry& registry, std::wstring_view name, AccountInfo* info) {
  const size_t slash = name.find(L'\\');
  const bool hasDomain = slash != std::wstring_view::npos;
  const std::wstring domain = hasDomain ? upper(name.substr(0, slash)) : L"";
  const std::wstring account = upper(hasDomain ? name.substr(slash + 1) : name);
  if (account.empty()) return ERROR_NONE_MAPPED;
  for (const AccountInfo& a : knownAccounts(registry)) {
    if (upper(a.name) != account) continue;
    if (hasDomain && domain != upper(a.domain)) continue;
    *info = a;
    return ERROR_SUCCESS;
  }
  return ERROR_NONE_MAPPED;
}

}  // namespace zorel::platform
