#pragma once
// File-name patterns as FindFirstFileW matches them.
//
// Windows: FindFirstFileW / FindNextFileW do the matching themselves.
// Linux emulation: "*" is any run of characters, "?" any one character,
// letters match ignoring case, and a pattern ending in ".*" also matches a
// name without an extension (so "*.*" matches every name). The match is
// iterative with one backtrack point per "*": linear in practice and never
// recursive, whatever the pattern.

#include <string_view>

namespace zorel::platform {

bool matchesFilePattern(std::wstring_view name, std::wstring_view pattern);

// Whether a path or name holds a wildcard ("*" or "?").
bool hasWildcard(std::wstring_view text);

}  // namespace zorel::platform
