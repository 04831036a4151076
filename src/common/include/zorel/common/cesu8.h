#pragma once
// Text at a script heap's boundary (the check script's and the JScript
// engine's). The heap keeps strings as CESU-8: UTF-8 except that a
// character outside the Basic Multilingual Plane is a surrogate pair, each
// half written as its own three-byte sequence. Standard
// UTF-8 four-byte sequences pushed into it would read as one odd character
// of length 1, so text going in is converted to CESU-8 and text coming out
// is decoded from it (four-byte sequences are accepted too). Invalid bytes
// and unpaired surrogates become U+FFFD; a conversion never fails.

#include <string>
#include <string_view>

namespace zorel {

std::string WideToCesu8(std::wstring_view text);
std::wstring Cesu8ToWide(std::string_view text);
std::string Utf8ToCesu8(std::string_view text);
std::string Cesu8ToUtf8(std::string_view text);

}  // namespace zorel
