#pragma once
// Windows Installer product names: an uninstall entry whose sub-key name is
// a product code has its name kept under
//   HKLM\SOFTWARE\Classes\Installer\Products\<packed code>   "ProductName"
// where the packed code is the GUID's hex digits with its first three groups
// written backwards and each two-digit pair of the last two groups swapped,
// in upper case: {12345678-9ABC-DEF0-1234-56789ABCDEF0} packs to
// 87654321CBA90FED21436587A9CBED0F.

#include <optional>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel {

namespace platform {
class IRegistry;
}

// The loose product-code test of an uninstall entry: braces around five
// parts separated by "-" ("{a-b-c-d-e}" passes).
bool LooksLikeProductCode(std::wstring_view name);

// The packed form of a braced 8-4-4-4-12 hex GUID; nothing for any other
// text.
std::optional<std::wstring> PackedProductCode(std::wstring_view name);

// The non-empty REG_SZ "ProductName" of the product whose code is
// `subKeyName`.
// RETURNS 0 and the name; ERROR_INVALID_NAME (123) when the name is not a
// GUID that can be packed; the registry's error for a missing key or value;
// ERROR_INVALID_DATA (13) for another type or an empty text.
platform::WinError InstallerProductName(platform::IRegistry& registry,
                                        std::wstring_view subKeyName, std::wstring& productName);

}  // namespace zorel
