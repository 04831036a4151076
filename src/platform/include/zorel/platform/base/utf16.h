#pragma once
// UTF-16LE bytes, as Windows stores text in files, registry values and
// records, to and from wide text (UTF-32 on the host).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorel::platform {

// Appends text as UTF-16LE (characters past U+FFFF as surrogate pairs), no
// NUL.
void appendUtf16(std::vector<std::uint8_t>& out, std::wstring_view text);

// Decodes `units` UTF-16LE code units at p; unpaired surrogates are kept as
// they are (Windows keeps them too).
std::wstring decodeUtf16(const std::uint8_t* p, std::size_t units);

}  // namespace zorel::platform
