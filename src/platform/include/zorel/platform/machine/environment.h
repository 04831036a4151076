#pragma once
// The process's Windows environment block and ExpandEnvironmentStringsW.
//
// Windows: the block the logon built (CreateEnvironmentBlock) and the
// kernel32 environment calls.
// Linux emulation: the block is built from the machine's registry the way
// Windows builds it at logon, never from the host's variables:
//   1. SystemRoot, SystemDrive, ALLUSERSPROFILE, ProgramData, PUBLIC,
//      ProgramFiles, ProgramFiles(x86), ProgramW6432, CommonProgramFiles,
//      CommonProgramFiles(x86), CommonProgramW6432, COMPUTERNAME from where
//      Windows keeps them (CurrentVersion keys, ProfileList, ComputerName);
//   2. HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment;
//   3. HKCU\Volatile Environment (USERPROFILE, APPDATA, LOCALAPPDATA, ...);
//   4. HKCU\Environment, whose Path is appended to the machine's Path.
// REG_SZ values are set before REG_EXPAND_SZ ones, which are expanded
// against the block so far. Names compare case-insensitively and keep the
// case first given.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;

inline constexpr WinError ERROR_ENVVAR_NOT_FOUND = 203;

class IEnvironment {
 public:
  virtual ~IEnvironment() = default;

  // GetEnvironmentVariableW. RETURNS 0 and the value, or
  // ERROR_ENVVAR_NOT_FOUND.
  virtual WinError getVariable(std::wstring_view name, std::wstring& value) const = 0;

  // SetEnvironmentVariableW on this process's block (the registry is not
  // changed). value null deletes the variable. An empty name or one holding
  // '=' after its first character: ERROR_INVALID_PARAMETER.
  virtual WinError setVariable(std::wstring_view name, const std::wstring* value) = 0;

  // The block, sorted case-insensitively by name as Windows keeps it.
  virtual std::vector<std::pair<std::wstring, std::wstring>> block() const = 0;

  // ExpandEnvironmentStringsW: each %NAME% of a defined variable is replaced
  // by its value; anything else (unknown names, a lone %) stays as written.
  //   [I] source   text to expand (NUL-terminated)
  //   [O] dest     buffer of size characters; may be null when size is 0
  // RETURNS the characters needed including the terminating NUL. dest is
  // written only when they fit; 0 when source is null.
  virtual uint32_t expandEnvironmentStrings(const wchar_t* source, wchar_t* dest,
                                            uint32_t size) const = 0;

  // The same expansion without buffer sizes.
  virtual std::wstring expand(std::wstring_view text) const = 0;
};

// Builds the block from the registry (see above). Missing keys and values
// only leave their variables out.
std::unique_ptr<IEnvironment> createEnvironment(IRegistry& registry);

// Expands %NAME% in text with lookup (no registry needed); exposed for the
// block builder and its tests.
std::wstring expandWith(std::wstring_view text,
                        const std::vector<std::pair<std::wstring, std::wstring>>& variables);

}  // namespace zorel::platform
