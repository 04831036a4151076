// The run model's JSON writer.

#include "json_text.h"

namespace zorel::runreport {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void escapeUnit(std::string& out, uint32_t unit) {
  out += "\\u";
  out += kHex[(unit >> 12) & 0xf];
  out += kHex[(unit >> 8) & 0xf];
  out += kHex[(unit >> 4) & 0xf];
  out += kHex[unit & 0xf];
}

// The length of the well-formed UTF-8 sequence at text[i], 0 when it is
// malformed (overlong, surrogate, beyond U+10FFFF or cut short).
size_t sequenceLength(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const auto cont = [&](size_t k) { return k < text.size() && (byte(k) & 0xc0) == 0x80; };
  if (lead >= 0xc2 && lead <= 0xdf) return cont(i + 1) ? 2 : 0;
  if (lead >= 0xe0 && lead <= 0xef) {
    if (!cont(i + 1) || !cont(i + 2)) return 0;
    if (lead == 0xe0 && byte(i + 1) < 0xa0) return 0;   // overlong
    if (lead == 0xed && byte(i + 1) >= 0xa0) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xf0 && lead <= 0xf4) {
    if (!cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return 0;
    if (lead == 0xf0 && byte(i + 1) < 0x90) return 0;   // overlong
    if (lead == 0xf4 && byte(i + 1) >= 0x90) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

void JsonText::separate() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_) out_ += ',';
  first_ = false;
}

void JsonText::open(char c) {
  separate();
  out_ += c;
  first_ = true;
}

void JsonText::close(char c) {
  out_ += c;
  first_ = false;
}

void JsonText::Key(std::string_view key) {
  String(key);
  out_ += ':';
  afterKey_ = true;
}

void JsonText::String(std::string_view text) {
  separate();
  out_ += '"';
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        case '<':
        case '>':
        case '&': escapeUnit(out_, c); break;
        default:
          if (c < 0x20 || c == 0x7f) {
            escapeUnit(out_, c);
          } else {
            out_ += static_cast<char>(c);
          }
      }
      ++i;
      continue;
    }
    const size_t length = sequenceLength(text, i);
    if (length == 0) {
      out_ += "\xef\xbf\xbd";  // U+FFFD for the one bad byte
      ++i;
      continue;
    }
    // U+2028 and U+2029 end a line in older script parsers.
    if (length == 3 && c == 0xe2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (static_cast<unsigned char>(text[i + 2]) & 0xfe) == 0xa8) {
      escapeUnit(out_, 0x2028u + (static_cast<unsigned char>(text[i + 2]) & 1u));
    } else {
      out_.append(text.data() + i, length);
    }
    i += length;
  }
  out_ += '"';
}

void JsonText::Number(int64_t value) {
  separate();
  out_ += std::to_string(value);
}

void JsonText::Bool(bool value) {
  separate();
  out_ += value ? "true" : "false";
}

void JsonText::Null() {
  separate();
  out_ += "null";
}

}  // namespace zorel::runreport
