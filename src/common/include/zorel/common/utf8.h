#pragma once
// Conversion between the program's wide text and the UTF-8 it hands to every
// narrow boundary (JSON, SQLite, the script engine, files, command lines).
// ASCII is byte-identical both ways. Malformed UTF-8 becomes U+FFFD per bad
// byte, so a conversion never fails and never drops the rest of the text.

#include <string>
#include <string_view>

namespace zorel {

std::string toUtf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);

}  // namespace zorel
