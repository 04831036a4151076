#pragma once
// Name rules of the emulated registry: case folding as Windows compares key
// and value names, path splitting, and the WOW64 redirection rule of the
// 32-bit view. Pure functions, no storage.

#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::reg {

// The upper-case form names are compared and sorted by (locale-independent,
// full Unicode case mapping).
std::wstring foldName(std::wstring_view name);

// One key name component: as written and folded.
struct Component {
  std::wstring name;
  std::wstring fold;
};

// Splits a subkey path at backslashes. A leading backslash:
// ERROR_BAD_PATHNAME; empty components (doubled or trailing backslashes) are
// skipped; a component over 255 characters or an embedded NUL:
// ERROR_INVALID_PARAMETER.
WinError splitSubKey(std::wstring_view subKey, std::vector<Component>* out);

// Which hive a path starts in.
enum class Hive { Machine, Users };

// Applies the 32-bit view's redirection to a full path below a hive (folded
// components in path[i].fold). Returns the index at which a "WOW6432Node"
// component was inserted, or -1 when the path is not redirected.
int redirect32(Hive hive, std::vector<Component>* path);

}  // namespace zorel::platform::reg
