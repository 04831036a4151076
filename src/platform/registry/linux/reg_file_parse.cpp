// Reading .reg files: byte decoding and the line parser. Applying the parsed
// operations to a registry is in reg_file_apply.cpp.

#include <cwctype>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::platform {

namespace {

constexpr std::wstring_view kHeader5 = L"Windows Registry Editor Version 5.00";
constexpr std::wstring_view kHeader4 = L"REGEDIT4";

std::wstring_view trimRight(std::wstring_view s) {
  while (!s.empty() && (s.back() == L' ' || s.back() == L'\t')) s.remove_suffix(1);
  return s;
}

std::wstring_view trimLeft(std::wstring_view s) {
  while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) s.remove_prefix(1);
  return s;
}

// Splits text into lines at CRLF, LF or CR.
std::vector<std::wstring_view> splitLines(std::wstring_view text) {
  std::vector<std::wstring_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' || text[i] == L'\n') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

int hexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// Reads a quoted string starting after its opening quote. regedit's only
// escapes are \\ and \"; any other backslash is kept as written. pos ends
// after the closing quote. False when it does not close.
bool readQuoted(std::wstring_view line, std::size_t* pos, std::wstring* out) {
  out->clear();
  for (std::size_t i = *pos; i < line.size(); ++i) {
    wchar_t c = line[i];
    if (c == L'"') {
      *pos = i + 1;
      return true;
    }
    if (c == L'\\' && i + 1 < line.size() && (line[i + 1] == L'\\' || line[i + 1] == L'"')) {
      out->push_back(line[++i]);
      continue;
    }
    out->push_back(c);
  }
  return false;
}

// Parses comma-separated hex bytes; the list may end in a backslash
// (continued). False on any malformed byte.
bool readHexBytes(std::wstring_view text, std::vector<std::uint8_t>* out, bool* continued) {
  *continued = false;
  text = trimRight(text);
  if (!text.empty() && text.back() == L'\\') {
    *continued = true;
    text.remove_suffix(1);
  }
  std::size_t i = 0;
  bool needByte = false;
  while (true) {
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i >= text.size()) return !needByte || *continued;
    int hi = hexDigit(text[i]);
    int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
    if (hi < 0) return false;
    if (lo < 0) {
      // A single digit is a byte too (regedit accepts "hex:1").
      out->push_back(static_cast<std::uint8_t>(hi));
      i += 1;
    } else {
      out->push_back(static_cast<std::uint8_t>(hi * 16 + lo));
      i += 2;
    }
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i >= text.size()) return true;
    if (text[i] != L',') return false;
    ++i;
    needByte = true;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    if (i >= text.size()) return true;  // a trailing comma is accepted
  }
}

// REGEDIT4 string data in hex form is 8-bit; Windows stores UTF-16.
std::vector<std::uint8_t> widen(const std::vector<std::uint8_t>& narrow) {
  std::wstring text = fromUtf8(std::string_view(reinterpret_cast<const char*>(narrow.data()),
                                                narrow.size()));
  std::vector<std::uint8_t> out = regSz(text);
  out.resize(out.size() - 2);  // fromUtf8 kept the NULs already present
  return out;
}

}  // namespace

std::wstring decodeRegFileBytes(std::string_view bytes) {
  auto b = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && ((b(0) == 0xFF && b(1) == 0xFE) || (b(0) == 0xFE && b(1) == 0xFF))) {
    bool little = b(0) == 0xFF;
    std::vector<std::uint8_t> units;
    units.reserve(bytes.size());
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      units.push_back(little ? b(i) : b(i + 1));
      units.push_back(little ? b(i + 1) : b(i));
    }
    // Decode all units, NULs included (regText would stop at the first).
    std::wstring out;
    out.reserve(units.size() / 2);
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
      std::uint32_t c = units[i] | (units[i + 1] << 8);
      if (c >= 0xD800 && c < 0xDC00 && i + 3 < units.size()) {
        std::uint32_t d = units[i + 2] | (units[i + 3] << 8);
        if (d >= 0xDC00 && d < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
          i += 2;
        }
      }
      out.push_back(static_cast<wchar_t>(c));
    }
    return out;
  }
  if (bytes.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) bytes.remove_prefix(3);
  return fromUtf8(bytes);
}

WinError parseRegText(std::wstring_view text, RegFileParse* parse) {
  if (parse == nullptr) return ERROR_INVALID_PARAMETER;
  *parse = RegFileParse();
  std::vector<std::wstring_view> lines = splitLines(text);
  if (lines.empty()) return ERROR_BAD_FORMAT;
  std::wstring_view header = trimRight(trimLeft(lines[0]));
  if (header == kHeader5) {
    parse->format = RegFileFormat::Version5;
  } else if (header == kHeader4) {
    parse->format = RegFileFormat::Regedit4;
  } else {
    return ERROR_BAD_FORMAT;
  }
  bool v4 = parse->format == RegFileFormat::Regedit4;
  auto problem = [&](std::size_t line, std::wstring message) {
    parse->problems.push_back({line, std::move(message)});
  };
  std::wstring currentKey;  // empty: no key open (none yet, or after [-KEY])
  bool skipSection = false;  // the section's key line was bad: drop its values quietly
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::size_t lineNo = n + 1;
    std::wstring_view line = trimRight(trimLeft(lines[n]));
    if (line.empty() || line.front() == L';' || line.front() == L'#') continue;
    if (line.front() == L'[') {
      std::size_t close = line.rfind(L']');
      if (close == std::wstring_view::npos) {
        problem(lineNo, L"key name is not closed by ']'");
        currentKey.clear();
        skipSection = true;
        continue;
      }
      bool remove = line.size() > 1 && line[1] == L'-';
      std::wstring path(trimRight(line.substr(remove ? 2 : 1, close - (remove ? 2 : 1))));
      while (!path.empty() && path.back() == L'\\') path.pop_back();
      RegKey root;
      if (path.empty() || parseKeyPath(path, &root, nullptr) != ERROR_SUCCESS) {
        problem(lineNo, L"invalid key name: " + path);
        currentKey.clear();
        skipSection = true;
        continue;
      }
      RegFileOp op;
      op.kind = remove ? RegFileOp::Kind::DeleteKey : RegFileOp::Kind::CreateKey;
      op.line = lineNo;
      op.path = path;
      parse->ops.push_back(std::move(op));
      currentKey = remove ? std::wstring() : path;
      skipSection = remove;
      continue;
    }
    // A value line: "name"=data or @=data.
    RegFileOp op;
    op.line = lineNo;
    std::size_t pos = 0;
    if (line.front() == L'@') {
      pos = 1;
    } else if (line.front() == L'"') {
      pos = 1;
      if (!readQuoted(line, &pos, &op.name)) {
        problem(lineNo, L"value name is not closed by '\"'");
        continue;
      }
    } else {
      problem(lineNo, L"unrecognised line");
      continue;
    }
    std::wstring_view rest = trimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != L'=') {
      problem(lineNo, L"'=' expected after the value name");
      continue;
    }
    rest = trimLeft(rest.substr(1));
    // Gather continuation lines of hex data before judging the line, so a
    // bad value does not leave its continuation lines to be misread.
    std::vector<std::uint8_t> bytes;
    bool ok = true;
    bool isHex = false;
    std::uint32_t type = REG_NONE;
    if (rest.substr(0, 4) == L"hex:" || rest.substr(0, 4) == L"hex(") {
      isHex = true;
      std::size_t colon = rest.find(L':');
      type = REG_BINARY;
      if (rest[3] == L'(') {
        std::size_t closeParen = rest.find(L')');
        if (closeParen == std::wstring_view::npos || closeParen + 1 != colon || closeParen == 4 ||
            closeParen > 12) {
          ok = false;
        } else {
          type = 0;
          for (std::size_t i = 4; i < closeParen && ok; ++i) {
            int d = hexDigit(rest[i]);
            if (d < 0) ok = false;
            else type = type * 16 + static_cast<std::uint32_t>(d);
          }
        }
      }
      bool continued = false;
      std::wstring_view data = colon == std::wstring_view::npos ? std::wstring_view() : rest.substr(colon + 1);
      if (colon == std::wstring_view::npos) ok = false;
      if (!readHexBytes(data, &bytes, &continued)) ok = false;
      std::size_t first = n;
      while (continued && n + 1 < lines.size()) {
        ++n;
        std::wstring_view next = trimLeft(lines[n]);
        if (!next.empty() && next.front() == L';') continue;  // a comment between lines
        if (!readHexBytes(next, &bytes, &continued)) ok = false;
      }
      if (!ok) {
        problem(first + 1, L"invalid hex data");
        continue;
      }
    }
    if (currentKey.empty()) {
      if (!skipSection) problem(lineNo, L"value outside of a key");
      continue;
    }
    op.path = currentKey;
    if (isHex) {
      op.kind = RegFileOp::Kind::SetValue;
      op.type = type;
      if (v4 && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
        op.data = widen(bytes);
      } else {
        op.data = std::move(bytes);
      }
    } else if (rest == L"-") {
      op.kind = RegFileOp::Kind::DeleteValue;
    } else if (rest.front() == L'"') {
      std::size_t q = 1;
      std::wstring value;
      if (!readQuoted(rest, &q, &value)) {
        problem(lineNo, L"string data is not closed by '\"'");
        continue;
      }
      std::wstring_view after = trimLeft(rest.substr(q));
      if (!after.empty() && after.front() != L';') {
        problem(lineNo, L"unexpected text after the string data");
        continue;
      }
      op.kind = RegFileOp::Kind::SetValue;
      op.type = REG_SZ;
      op.data = regSz(value);
    } else if (rest.substr(0, 6) == L"dword:") {
      std::wstring_view digits = trimRight(rest.substr(6));
      std::size_t semi = digits.find(L';');
      if (semi != std::wstring_view::npos) digits = trimRight(digits.substr(0, semi));
      std::uint32_t number = 0;
      bool good = !digits.empty() && digits.size() <= 8;
      for (wchar_t c : digits) {
        int d = hexDigit(c);
        if (d < 0) good = false;
        else number = number * 16 + static_cast<std::uint32_t>(d);
      }
      if (!good) {
        problem(lineNo, L"invalid dword data");
        continue;
      }
      op.kind = RegFileOp::Kind::SetValue;
      op.type = REG_DWORD;
      op.data = regDword(number);
    } else {
      problem(lineNo, L"unrecognised value data");
      continue;
    }
    parse->ops.push_back(std::move(op));
  }
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
