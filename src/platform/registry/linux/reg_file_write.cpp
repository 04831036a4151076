// Writing .reg files as regedit does: header, one block per key with its
// values in creation order, hex data wrapped at 80 columns.

#include <cstdio>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::platform {

namespace {

// regedit breaks a hex list once a line reaches this many characters; the
// continuation lines start with two blanks and so hold 25 bytes each.
constexpr std::size_t kHexWrapColumn = 77;

std::wstring escapeString(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out.push_back(L'\\');
    out.push_back(c);
  }
  return out;
}

// A REG_SZ that a quoted string gives back exactly: one terminating NUL, no
// NUL or line break inside.
bool isPlainString(const RegValue& value, std::wstring* text) {
  const auto& d = value.data;
  if (d.size() < 2 || d.size() % 2 != 0 || d[d.size() - 1] != 0 || d[d.size() - 2] != 0) {
    return false;
  }
  *text = regText(d);
  if (regSz(*text) != d) return false;
  return text->find_first_of(L"\r\n") == std::wstring::npos;
}

// REGEDIT4 writes string data as 8-bit text.
std::vector<std::uint8_t> narrow(const std::vector<std::uint8_t>& utf16) {
  std::wstring text;
  for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) {
    text.push_back(static_cast<wchar_t>(utf16[i] | (utf16[i + 1] << 8)));
  }
  std::string bytes = toUtf8(text);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void appendHex(std::wstring* line, const std::vector<std::uint8_t>& data) {
  std::size_t column = line->size();
  wchar_t byte[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::swprintf(byte, 4, L"%02x", data[i]);
    *line += byte;
    if (i + 1 == data.size()) break;
    *line += L',';
    column += 3;
    if (column >= kHexWrapColumn) {
      *line += L"\\\r\n  ";
      column = 2;
    }
  }
}

void appendUtf16(std::string* out, std::wstring_view text) {
  std::vector<std::uint8_t> bytes = regSz(text);
  out->append(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 2);
}

class Writer {
 public:
  Writer(IRegistry& registry, RegFileFormat format) : registry_(registry), format_(format) {}

  // Writes the key opened as key under the display path, then its subkeys.
  WinError writeTree(RegKey key, const std::wstring& path, std::size_t depth) {
    if (depth > kRegMaxDepth) return ERROR_INVALID_PARAMETER;
    text_ += L"[" + path + L"]\r\n";
    for (std::uint32_t i = 0;; ++i) {
      RegValue value;
      WinError rc = readValueAt(registry_, key, i, &value);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      text_ += formatRegValueLine(value, format_) + L"\r\n";
    }
    text_ += L"\r\n";
    flush();
    std::vector<std::wstring> names;
    for (std::uint32_t i = 0;; ++i) {
      std::wstring name;
      WinError rc = readSubKeyAt(registry_, key, i, &name);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      names.push_back(std::move(name));
    }
    for (const std::wstring& name : names) {
      RegKey child;
      WinError rc = registry_.openKey(key, name, 0, KEY_READ, &child);
      if (rc == ERROR_FILE_NOT_FOUND) continue;  // deleted meanwhile
      if (rc != ERROR_SUCCESS) return rc;
      rc = writeTree(child, path + L"\\" + name, depth + 1);
      registry_.closeKey(child);
      if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
  }

  void header() {
    text_ = format_ == RegFileFormat::Version5
                ? L"Windows Registry Editor Version 5.00\r\n\r\n"
                : L"REGEDIT4\r\n\r\n";
    if (format_ == RegFileFormat::Version5) out_ = "\xFF\xFE";
    flush();
  }

  void flush() {
    if (format_ == RegFileFormat::Version5) appendUtf16(&out_, text_);
    else out_ += toUtf8(text_);
    text_.clear();
  }

  std::string take() { flush(); return std::move(out_); }

 private:
  IRegistry& registry_;
  RegFileFormat format_;
  std::wstring text_;
  std::string out_;
};

}  // namespace

std::wstring formatRegValueLine(const RegValue& value, RegFileFormat format) {
  std::wstring line = value.name.empty() ? L"@=" : L"\"" + escapeString(value.name) + L"\"=";
  bool v4 = format == RegFileFormat::Regedit4;
  std::wstring text;
  if (value.type == REG_SZ && isPlainString(value, &text)) {
    return line + L"\"" + escapeString(text) + L"\"";
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    wchar_t digits[16];
    std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                      (static_cast<std::uint32_t>(value.data[3]) << 24);
    std::swprintf(digits, 16, L"dword:%08x", n);
    return line + digits;
  }
  if (value.type == REG_BINARY) {
    line += L"hex:";
  } else {
    wchar_t prefix[24];
    std::swprintf(prefix, 24, L"hex(%x):", value.type);
    line += prefix;
  }
  bool stringType = value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
  appendHex(&line, v4 && stringType ? narrow(value.data) : value.data);
  return line;
}

WinError exportRegKey(IRegistry& registry, std::wstring_view keyPath, RegFileFormat format,
                      std::string* bytes) {
  if (bytes == nullptr) return ERROR_INVALID_PARAMETER;
  Writer writer(registry, format);
  writer.header();
  std::vector<std::wstring> paths;
  if (keyPath.empty()) {
    paths = {L"HKEY_LOCAL_MACHINE", L"HKEY_CURRENT_USER", L"HKEY_CLASSES_ROOT", L"HKEY_USERS",
             L"HKEY_CURRENT_CONFIG"};
  } else {
    paths = {std::wstring(keyPath)};
  }
  for (const std::wstring& path : paths) {
    RegKey root;
    std::wstring sub;
    WinError rc = parseKeyPath(path, &root, &sub);
    if (rc != ERROR_SUCCESS) return rc;
    while (!sub.empty() && sub.back() == L'\\') sub.pop_back();
    RegKey key;
    rc = registry.openKey(root, sub, 0, KEY_READ, &key);
    if (rc != ERROR_SUCCESS) return rc;
    // The header line names the key with the root written in full.
    std::wstring display = rootKeyName(root);
    if (!sub.empty()) {
      std::wstring real;
      // Keep the case of the stored names: take them from the key itself.
      registry.keyPath(key, &real);
      std::size_t parts = 1;
      for (wchar_t c : sub) parts += c == L'\\';
      std::size_t cut = real.size();
      for (std::size_t found = 0; found < parts && cut > 0;) {
        cut = real.rfind(L'\\', cut - 1);
        if (cut == std::wstring::npos) { cut = 0; break; }
        ++found;
      }
      display += cut > 0 ? real.substr(cut) : L"\\" + sub;
    }
    rc = writer.writeTree(key, display, 0);
    registry.closeKey(key);
    if (rc != ERROR_SUCCESS) return rc;
  }
  *bytes = writer.take();
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
