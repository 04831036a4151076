// Domain membership from the machine's registry (see domain_info.h).

#include "zorel/platform/system/domain_info.h"

#include <cwctype>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

const wchar_t kTcpipParameters[] = L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
const wchar_t kProductOptions[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

bool sameText(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return i == a.size() && b[i] == 0;
}

}  // namespace

WinError getPrimaryDomainInformation(IRegistry& registry, PrimaryDomainInfoBasic& info) {
  // The ProductOptions key exists on every installed Windows; without it the
  // machine's configuration is unreadable and Windows' call fails too.
  RegKey key = kRegNoKey;
  if (WinError e = registry.openKey(kHkeyLocalMachine, kProductOptions, 0, KEY_READ, &key))
    return e;
  std::wstring productType;
  RegValue value;
  if (readValue(registry, key, L"ProductType", &value) == ERROR_SUCCESS)
    productType = regText(value.data);
  registry.closeKey(key);

  PrimaryDomainInfoBasic result;
  std::wstring dns;
  const bool joined =
      readString(registry, kHkeyLocalMachine, kTcpipParameters, L"Domain", &dns) ==
          ERROR_SUCCESS &&
      !dns.empty();
  const bool server = sameText(productType, L"ServerNT");
  const bool controller = sameText(productType, L"LanmanNT");
  if (controller) {
    result.machineRole = DsRole_RolePrimaryDomainController;
  } else if (joined) {
    result.machineRole = server ? DsRole_RoleMemberServer : DsRole_RoleMemberWorkstation;
  } else {
    result.machineRole = server ? DsRole_RoleStandaloneServer : DsRole_RoleStandaloneWorkstation;
  }
  if (joined) {
    // The NetBIOS name of a domain is, unless an administrator chose
    // otherwise, its first DNS label in capitals.
    std::wstring flat = dns.substr(0, dns.find(L'.'));
    for (wchar_t& c : flat) c = static_cast<wchar_t>(std::towupper(c));
    result.domainNameFlat = flat;
    result.domainNameDns = dns;
    result.domainForestName = dns;
  } else {
    result.domainNameFlat = L"WORKGROUP";
  }
  info = std::move(result);
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
