// Security descriptors of registry keys and the access check.

#include <sstream>

#include "registry/linux/registry_names.h"
#include "registry/linux/registry_security.h"
#include "zorel/common/utf8.h"

namespace zorel::platform::reg {

namespace {

constexpr std::uint32_t kAllKeyRights = KEY_ALL_ACCESS | WRITE_OWNER;

std::wstring afterBackslash(const std::wstring& name) {
  std::size_t slash = name.rfind(L'\\');
  return slash == std::wstring::npos ? name : name.substr(slash + 1);
}

}  // namespace

std::string encodeSecurity(const KeySecurity& security) {
  std::ostringstream out;
  out << "O\t" << toUtf8(security.owner) << "\n";
  out << "P\t" << (security.isProtected ? 1 : 0) << "\n";
  out << "D\t" << (security.hasDacl ? 1 : 0) << "\n";
  for (const RegAce& ace : security.dacl) {
    if (ace.flags & INHERITED_ACE) continue;
    out << (ace.allow ? '+' : '-') << '\t' << std::hex << ace.mask << '\t'
        << ace.flags << std::dec << '\t' << toUtf8(ace.account) << "\n";
  }
  return out.str();
}

std::optional<KeySecurity> decodeSecurity(const std::string& text) {
  KeySecurity sd;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 2 || line[1] != '\t') return std::nullopt;
    std::string rest = line.substr(2);
    if (line[0] == 'O') {
      sd.owner = fromUtf8(rest);
    } else if (line[0] == 'P') {
      sd.isProtected = rest == "1";
    } else if (line[0] == 'D') {
      sd.hasDacl = rest == "1";
    } else if (line[0] == '+' || line[0] == '-') {
      // An entry: mask, flags, account.
      std::size_t t1 = rest.find('\t');
      std::size_t t2 = t1 == std::string::npos ? t1 : rest.find('\t', t1 + 1);
      if (t2 == std::string::npos) return std::nullopt;
      RegAce ace;
      ace.allow = line[0] == '+';
      try {
        ace.mask = static_cast<std::uint32_t>(std::stoul(rest.substr(0, t1), nullptr, 16));
        ace.flags = static_cast<std::uint32_t>(
            std::stoul(rest.substr(t1 + 1, t2 - t1 - 1), nullptr, 16));
      } catch (...) {
        return std::nullopt;
      }
      ace.account = fromUtf8(rest.substr(t2 + 1));
      sd.dacl.push_back(std::move(ace));
    } else {
      return std::nullopt;
    }
  }
  return sd;
}

std::uint32_t mapGenericKeyRights(std::uint32_t mask) {
  std::uint32_t out = mask & ~(GENERIC_ALL | GENERIC_READ | GENERIC_WRITE |
                               GENERIC_EXECUTE | MAXIMUM_ALLOWED |
                               KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if (mask & GENERIC_READ) out |= KEY_READ;
  if (mask & GENERIC_WRITE) out |= KEY_WRITE;
  if (mask & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (mask & GENERIC_ALL) out |= KEY_ALL_ACCESS;
  return out;
}

KeySecurity effectiveSecurity(const std::vector<std::optional<KeySecurity>>& chain) {
  KeySecurity out;
  bool ownerFound = false;
  for (std::size_t depth = 0; depth < chain.size(); ++depth) {
    if (!chain[depth]) continue;
    const KeySecurity& sd = *chain[depth];
    if (!ownerFound && !sd.owner.empty()) {
      out.owner = sd.owner;
      ownerFound = true;
    }
    // The key's own DACL counts as present even when empty (it grants
    // nothing). An ancestor's DACL reaches the key only through its
    // inheritable entries: with none, the key keeps the machine's default
    // access, as Windows gives a new key the creator's default DACL when its
    // parent has nothing to inherit, instead of an empty DACL that would
    // deny everyone.
    if (depth == 0 && sd.hasDacl) out.hasDacl = true;
    for (const RegAce& ace : sd.dacl) {
      if (depth == 0) {
        if (ace.flags & INHERIT_ONLY_ACE) continue;
        out.dacl.push_back(ace);
        continue;
      }
      if (!(ace.flags & CONTAINER_INHERIT_ACE)) continue;
      if ((ace.flags & NO_PROPAGATE_INHERIT_ACE) && depth > 1) continue;
      RegAce inherited = ace;
      inherited.flags = (ace.flags & ~(INHERIT_ONLY_ACE | NO_PROPAGATE_INHERIT_ACE)) |
                        INHERITED_ACE;
      out.dacl.push_back(std::move(inherited));
      out.hasDacl = true;
    }
    if (depth == 0) out.isProtected = sd.isProtected;
    if (sd.isProtected) break;
  }
  return out;
}

bool accountMatches(const RegistryAccount& account, const std::wstring& trustee) {
  std::wstring name = foldName(afterBackslash(trustee));
  if (name == L"EVERYONE" || name == L"AUTHENTICATED USERS") return true;
  if (name == foldName(afterBackslash(account.user))) return true;
  for (const std::wstring& group : account.groups) {
    if (name == foldName(afterBackslash(group))) return true;
  }
  return false;
}

std::optional<std::uint32_t> accessCheck(const KeySecurity& security,
                                         const RegistryAccount& account,
                                         std::uint32_t desired) {
  bool maximum = (desired & MAXIMUM_ALLOWED) != 0;
  std::uint32_t wanted = mapGenericKeyRights(desired);
  if (!security.hasDacl) return maximum ? (wanted | kAllKeyRights) : wanted;
  std::uint32_t granted = 0, denied = 0;
  if (!security.owner.empty() && accountMatches(account, security.owner)) {
    granted |= READ_CONTROL | WRITE_DAC;
  }
  for (const RegAce& ace : security.dacl) {
    if (!accountMatches(account, ace.account)) continue;
    std::uint32_t rights = mapGenericKeyRights(ace.mask);
    if (ace.allow) {
      granted |= rights & ~denied;
    } else {
      denied |= rights & ~granted;
      if (!maximum && (denied & wanted) != 0) return std::nullopt;
    }
    if (!maximum && (granted & wanted) == wanted) return wanted;
  }
  if (maximum) {
    if ((granted & wanted) != wanted) return std::nullopt;
    return granted;
  }
  if ((granted & wanted) != wanted) return std::nullopt;
  return wanted;
}

}  // namespace zorel::platform::reg
