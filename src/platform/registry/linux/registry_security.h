#pragma once
// Key security of the emulated registry: the stored form of a descriptor and
// the access check Windows makes when a key is opened. Pure functions.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform::reg {

// Text form stored in the keys table, one field per line:
//   "O\t<owner>", "P\t<0|1>" (protected), "D\t<0|1>" (DACL present), then
//   one "+|-\t<mask hex>\t<flags hex>\t<account>" line per entry, in order.
std::string encodeSecurity(const KeySecurity& security);
// Parses encodeSecurity's form; nullopt when it is not one.
std::optional<KeySecurity> decodeSecurity(const std::string& text);

// Maps GENERIC_* bits to the key rights they stand for.
std::uint32_t mapGenericKeyRights(std::uint32_t mask);

// The descriptor that applies to a key: its own entries, then the
// inheritable entries of its ancestors (nearest first) up to a protected
// descriptor. chain[0] is the key's own stored descriptor (or nullopt),
// chain[1] its parent's, and so on. A key with no DACL of its own and no
// inheritable entry above it has no DACL (the machine's default access),
// however many of its ancestors hold DACLs.
KeySecurity effectiveSecurity(const std::vector<std::optional<KeySecurity>>& chain);

// Windows' access check of desired rights (generic bits and MAXIMUM_ALLOWED
// allowed) for the account. Returns the granted rights, or nullopt when a
// requested right is refused.
std::optional<std::uint32_t> accessCheck(const KeySecurity& security,
                                         const RegistryAccount& account,
                                         std::uint32_t desired);

// True when an account name in an entry names the account (its user, a
// group, Everyone or Authenticated Users).
bool accountMatches(const RegistryAccount& account, const std::wstring& trustee);

}  // namespace zorel::platform::reg
