#pragma once
// ACLHelper: grants or changes one account's access to a named object, as
// the permission step of importRegistryAndPermissionSet needs it: look the
// account up, read the object's DACL, merge one explicit entry by
// SetEntriesInAclW's rules, write the DACL back. It calls the platform's
// security functions directly (nothing is loaded at run time, and the
// privilege the Windows program enables first has no counterpart here).

#include <cstdint>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel {

namespace platform {
class IRegistry;
}

class ACLHelper {
 public:
  static constexpr int SE_REGISTRY_KEY = 4;
  static constexpr int TRUSTEE_IS_NAME = 1;

  explicit ACLHelper(platform::IRegistry& registry) : registry_(registry) {}

  // RETURNS 0; ERROR_NONE_MAPPED (1332) for an unknown account (nothing is
  // changed); ERROR_INVALID_PARAMETER for an object type other than a
  // registry key or a name the security functions do not know (HKLM\...);
  // the registry's error otherwise. The entry names the account as the
  // machine spells it (one SID, whatever prefix the caller wrote).
  platform::WinError SetPermission(const std::wstring& objectName, int objectType,
                                   const std::wstring& trustee, int trusteeForm,
                                   uint32_t accessMask, int accessMode, uint32_t inheritance);

 private:
  platform::IRegistry& registry_;
};

}  // namespace zorel
