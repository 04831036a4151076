// CESU-8 <-> wide / UTF-8 conversion for a script engine's boundary.

#include "zorel/common/cesu8.h"

#include "zorel/common/utf8.h"

namespace zorel {

namespace {

bool IsAscii(std::string_view text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

void AppendUnit(std::string& out, unsigned long cp) {  // cp <= 0xFFFF
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one sequence at text[i]; advances i. Returns U+FFFD for a bad one.
unsigned long DecodeOne(std::string_view text, size_t& i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int extra;
  unsigned long cp;
  if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<size_t>(extra) >= text.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(text[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  static const unsigned long kMin[] = {0, 0x80, 0x800, 0x10000};
  i += static_cast<size_t>(extra) + 1;
  if (cp < kMin[extra] || cp > 0x10FFFF) return 0xFFFD;
  return cp;
}

}  // namespace

std::string WideToCesu8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long cp = static_cast<unsigned long>(text[i]);
    if (cp > 0x10FFFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(out, 0xD800 + (cp >> 10));
      AppendUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      AppendUnit(out, cp);  // a lone surrogate from UTF-16 text stays as it is
    }
  }
  return out;
}

std::wstring Cesu8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned long cp = DecodeOne(text, i);
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      size_t j = i;
      unsigned long low = j < text.size() ? DecodeOne(text, j) : 0;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        i = j;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      } else {
        cp = 0xFFFD;
      }
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    out.push_back(static_cast<wchar_t>(cp));
  }
  return out;
}

std::string Utf8ToCesu8(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  return WideToCesu8(fromUtf8(text));
}

std::string Cesu8ToUtf8(std::string_view text) {
  if (IsAscii(text)) return std::string(text);
  return toUtf8(Cesu8ToWide(text));
}

}  // namespace zorel
