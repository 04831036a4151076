#pragma once
// File-name patterns as FindFirstFileW reads them: "*" is any run of
// characters, "?" any one character, letters match ignoring case, and a
// pattern ending in ".*" also matches a name without an extension (so "*.*"
// matches every name).

#include <string_view>

namespace zorel::store_detail {

bool MatchesFilePattern(std::wstring_view name, std::wstring_view pattern);

}  // namespace zorel::store_detail
