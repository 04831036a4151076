// UTF-16LE conversions (see utf16.h).

#include "zorel/platform/base/utf16.h"

namespace zorel::platform {

void appendUtf16(std::vector<std::uint8_t>& out, std::wstring_view text) {
  for (wchar_t wc : text) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      std::uint32_t hi = 0xD800 + (c >> 10), lo = 0xDC00 + (c & 0x3FF);
      out.push_back(hi & 0xFF);
      out.push_back(hi >> 8);
      out.push_back(lo & 0xFF);
      out.push_back(lo >> 8);
    } else {
      if (c > 0xFFFF) c = 0xFFFD;
      out.push_back(c & 0xFF);
      out.push_back((c >> 8) & 0xFF);
    }
  }
}

std::wstring decodeUtf16(const std::uint8_t* p, std::size_t units) {
  std::wstring out;
  out.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t c = p[2 * i] | (p[2 * i + 1] << 8);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      std::uint32_t d = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (d >= 0xDC00 && d < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
        ++i;
      }
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

}  // namespace zorel::platform
