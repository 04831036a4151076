#pragma once
// The name test of the folder search: FindFirstFileW's wildcard rules
// ("*" any run, "?" any one character, letters ignoring case, a pattern
// ending in ".*" also matching a name without a dot).
//
// This is the Windows matcher the result store uses for collection
// patterns, kept here as the one call the search makes, until the platform
// holds the single matcher every caller shares.

#include <string_view>

namespace zorel::platform::detail {

bool findPatternMatches(std::wstring_view name, std::wstring_view pattern);

}  // namespace zorel::platform::detail
