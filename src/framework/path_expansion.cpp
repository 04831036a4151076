// %...% expansion for plug-in arguments, including the JSON-aware form used
// for object arguments.
//
// Why the JSON form exists: expanding the whole JSON text would put a value
// such as C:\Windows into a JSON string unescaped ("C:\Windows\x" reads as
// an invalid escape), and the text would no longer parse. Each string value
// is therefore decoded, expanded, and written back escaped.

#include "path_expansion.h"

#include <cwchar>

#include "zorel/pathvars/env_and_csidl_variable.h"

namespace zorel {

bool ExpandPathVariables(std::wstring& text) {
  if (text.find(L'%') == std::wstring::npos) return false;
  return EnvAndCsidlVariable::Instance().Expand(text);
}

namespace {

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads four hex digits at text[pos]; -1 when they are not there.
long ReadHex4(const std::wstring& text, size_t pos) {
  if (pos + 4 > text.size()) return -1;
  long value = 0;
  for (size_t i = 0; i < 4; ++i) {
    int digit = HexValue(text[pos + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Decodes the JSON string content text[begin, end) (between the quotes).
std::wstring DecodeJsonString(const std::wstring& text, size_t begin, size_t end) {
  std::wstring out;
  out.reserve(end - begin);
  for (size_t i = begin; i < end; ++i) {
    wchar_t c = text[i];
    if (c != L'\\' || i + 1 >= end) {
      out.push_back(c);
      continue;
    }
    wchar_t e = text[++i];
    switch (e) {
      case L'b': out.push_back(L'\b'); break;
      case L'f': out.push_back(L'\f'); break;
      case L'n': out.push_back(L'\n'); break;
      case L'r': out.push_back(L'\r'); break;
      case L't': out.push_back(L'\t'); break;
      case L'u': {
        long unit = ReadHex4(text, i + 1);
        if (unit < 0) {
          out.push_back(L'\\');
          out.push_back(e);
          break;
        }
        i += 4;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 6 < end && text[i + 1] == L'\\' &&
            text[i + 2] == L'u') {
          long low = ReadHex4(text, i + 3);
          if (low >= 0xDC00 && low <= 0xDFFF) {
            i += 6;
            out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00)));
            break;
          }
        }
        out.push_back(static_cast<wchar_t>(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit));
        break;
      }
      default: out.push_back(e); break;  // \" \\ \/ and anything lenient
    }
  }
  return out;
}

void AppendJsonEscaped(const std::wstring& value, std::wstring& out) {
  for (wchar_t c : value) {
    switch (c) {
      case L'"': out += L"\\\""; break;
      case L'\\': out += L"\\\\"; break;
      case L'\b': out += L"\\b"; break;
      case L'\f': out += L"\\f"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      case L'\t': out += L"\\t"; break;
      default:
        if (static_cast<unsigned long>(c) < 0x20) {
          wchar_t buffer[8];
          std::swprintf(buffer, 8, L"\\u%04x", static_cast<unsigned>(c));
          out += buffer;
        } else {
          out.push_back(c);
        }
    }
  }
}

}  // namespace

void ExpandJsonStringValues(std::wstring& json) {
  ExpandJsonStringValues(json, ExpandPathVariables);
}

void ExpandJsonStringValues(std::wstring& json,
                            const std::function<bool(std::wstring&)>& expand) {
  if (json.find(L'%') == std::wstring::npos) return;
  std::wstring out;
  out.reserve(json.size() + 64);
  size_t i = 0;
  const size_t n = json.size();
  while (i < n) {
    if (json[i] != L'"') {
      out.push_back(json[i++]);
      continue;
    }
    // Find the closing quote, stepping over escapes.
    size_t close = i + 1;
    while (close < n && json[close] != L'"') close += (json[close] == L'\\') ? 2 : 1;
    if (close >= n) {  // unterminated: keep the rest as it is
      out.append(json, i, std::wstring::npos);
      break;
    }
    size_t next = close + 1;
    while (next < n && (json[next] == L' ' || json[next] == L'\t' || json[next] == L'\n' ||
                        json[next] == L'\r'))
      ++next;
    bool isKey = next < n && json[next] == L':';
    bool hasPercent = false;
    for (size_t k = i + 1; k < close && !hasPercent; ++k) hasPercent = json[k] == L'%';
    if (isKey || !hasPercent) {
      out.append(json, i, close + 1 - i);
    } else {
      std::wstring value = DecodeJsonString(json, i + 1, close);
      expand(value);
      out.push_back(L'"');
      AppendJsonEscaped(value, out);
      out.push_back(L'"');
    }
    i = close + 1;
  }
  json = std::move(out);
}

}  // namespace zorel
