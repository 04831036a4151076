#pragma once
// Account names of the machine.
//
// Windows: LookupAccountNameW on the local machine.
// Linux emulation: the machine's users are the profiles under
// HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\ProfileList (the name is
// the last element of ProfileImagePath, the SID the key's name; the system
// profiles S-1-5-18/19/20 are not users), plus the well-known groups
// Administrators and Users (BUILTIN), Everyone, Authenticated Users and
// SYSTEM (NT AUTHORITY). A name may carry its domain: the computer's name
// for a user, BUILTIN or NT AUTHORITY for the others; names compare without
// regard to case.

#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;

// SID_NAME_USE values.
inline constexpr int SidTypeUser = 1;
inline constexpr int SidTypeAlias = 4;
inline constexpr int SidTypeWellKnownGroup = 5;

struct AccountInfo {
  std::wstring name;    // as the machine spells it ("User", "Administrators")
  std::wstring domain;  // computer name, "BUILTIN", "NT AUTHORITY" or empty
  std::wstring sid;     // "S-1-5-32-544"
  int use = 0;          // SidType*
};

// RETURNS 0 with *info; ERROR_NONE_MAPPED (1332) for a name the machine
// does not know (an empty one included).
WinError lookupAccountName(IRegistry& registry, std::wstring_view name, AccountInfo* info);

}  // namespace zorel::platform
