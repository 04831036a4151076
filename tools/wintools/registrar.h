#pragma once
// The registrar script grammar of COM registration resources, parsed into
// operations (pure: no registry is touched here).
//
//   script  := (ROOT block)*          ROOT: HKCR HKCU HKLM HKU or their long names
//   block   := '{' item* '}'
//   item    := 'val' NAME '=' T VALUE
//            | [ForceRemove | NoRemove | Delete] NAME ['=' T VALUE] [block]
//   T       := s (REG_SZ) | e (REG_EXPAND_SZ) | d (REG_DWORD, decimal or 0x hex)
//            | b (REG_BINARY, hex digits) | m (REG_MULTI_SZ, items split at \0)
// Tokens are separated by blanks and line ends; '{' and '}' standing alone
// open and close blocks, any other token is a name (a GUID keeps its
// braces); single quotes enclose a token with blanks, '' standing for a
// quote. In names and values %MODULE% is replaced by the module's path and
// %% by a percent sign; any other %NAME% is an error.

#include <cstdint>
#include <string>
#include <vector>

namespace zorel::wintools {

struct RegistrarOp {
  enum Kind { kCreateKey, kForceRemoveKey, kDeleteKey, kSetValue } kind = kCreateKey;
  std::wstring root;     // HKCR, HKCU, HKLM or HKU
  std::wstring key;      // path below the root
  std::wstring name;     // kSetValue: value name (empty: the default value)
  uint32_t type = 0;     // kSetValue: REG_* type
  std::vector<uint8_t> data;
};

// Parses a script. RETURNS true with the operations in script order (a key
// is created before its values and subkeys); false with *problem and the
// line number when the script does not parse.
bool parseRegistrar(const std::wstring& script, const std::wstring& module,
                    std::vector<RegistrarOp>* ops, std::wstring* problem);

// The script text of a resource: UTF-16LE after a BOM, else UTF-8.
std::wstring registrarText(const uint8_t* data, size_t size);

}  // namespace zorel::wintools
