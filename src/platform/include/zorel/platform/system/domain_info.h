#pragma once
// Domain membership of the machine.
//
// Windows: DsRoleGetPrimaryDomainInformation(NULL,
// DsRolePrimaryDomainInfoBasic, ...) and DsRoleFreeMemory.
// Linux emulation: read from the machine's registry where Windows keeps the
// joined domain: HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters,
// value "Domain" (the DNS name of the domain; empty or missing on a
// workgroup machine), and the ProductOptions ProductType for the role.

#include <cstdint>
#include <optional>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;

// DSROLE_MACHINE_ROLE.
inline constexpr uint32_t DsRole_RoleStandaloneWorkstation = 0;
inline constexpr uint32_t DsRole_RoleMemberWorkstation = 1;
inline constexpr uint32_t DsRole_RoleStandaloneServer = 2;
inline constexpr uint32_t DsRole_RoleMemberServer = 3;
inline constexpr uint32_t DsRole_RoleBackupDomainController = 4;
inline constexpr uint32_t DsRole_RolePrimaryDomainController = 5;

// DSROLE_PRIMARY_DOMAIN_INFO_BASIC; the names Windows leaves NULL are empty
// optionals.
struct PrimaryDomainInfoBasic {
  uint32_t machineRole = DsRole_RoleStandaloneWorkstation;
  std::wstring domainNameFlat;               // NetBIOS domain or workgroup name
  std::optional<std::wstring> domainNameDns;  // absent on a workgroup machine
  std::optional<std::wstring> domainForestName;
};

// RETURNS 0 and the information, or the registry's error when the machine's
// configuration keys cannot be read.
WinError getPrimaryDomainInformation(IRegistry& registry, PrimaryDomainInfoBasic& info);

}  // namespace zorel::platform
