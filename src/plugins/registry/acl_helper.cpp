// ACLHelper (see acl_helper.h).

#include "acl_helper.h"

#include "zorel/platform/machine/accounts.h"
#include "zorel/platform/registry/registry.h"

namespace zorel {

using namespace platform;

WinError ACLHelper::SetPermission(const std::wstring& objectName, int objectType,
                                  const std::wstring& trustee, int trusteeForm,
                                  uint32_t accessMask, int accessMode, uint32_t inheritance) {
  WinError e = ERROR_SUCCESS;
  if (objectType != SE_REGISTRY_KEY || trusteeForm != TRUSTEE_IS_NAME) e = ERROR_INVALID_PARAMETER;
  AccountInfo account;
  if (e == ERROR_SUCCESS) e = lookupAccountName(registry_, trustee, &account);
  KeySecurity security;
  if (e == ERROR_SUCCESS) e = getNamedKeySecurity(registry_, objectName, &security);
  if (e == ERROR_SUCCESS) e = mergeAclEntry(&security, accessMode, account.name, accessMask, inheritance);
  if (e == ERROR_SUCCESS) e = setNamedKeySecurity(registry_, objectName, security);
  if (e != ERROR_SUCCESS) setLastError(e);
  return e;
}

}  // namespace zorel
