// reg: the Windows registry console tool, with the operations the program
// starts it for (query, add, delete, export, import), their messages and
// exit codes (0 success, 1 failure).

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <fstream>

#include "wintools.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::wintools {

using namespace platform;

namespace {

constexpr const wchar_t* kSuccess = L"The operation completed successfully.\n";
constexpr const wchar_t* kNotFound =
    L"ERROR: The system was unable to find the specified registry key or value.\n";

std::wstring upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

int syntaxError(const std::wstring& op) {
  err(L"ERROR: Invalid syntax.\nType \"REG " + upper(op) + L" /?\" for usage.\n");
  return 1;
}

int registryError(WinError rc) {
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) err(kNotFound);
  else if (rc == ERROR_ACCESS_DENIED) err(L"ERROR: Access is denied.\n");
  else err(L"ERROR: Error accessing the registry (error " + std::to_wstring(rc) + L").\n");
  return 1;
}

// The parsed key argument: root handle, subkey, and the path as reg prints
// it (root in full, the rest as typed).
struct KeyArg {
  RegKey root = kRegNoKey;
  std::wstring sub;
  std::wstring display;
};

bool parseKey(const std::wstring& text, KeyArg* key) {
  if (text.rfind(L"\\\\", 0) == 0) return false;  // remote machines are not reachable
  if (parseKeyPath(text, &key->root, &key->sub) != ERROR_SUCCESS) return false;
  while (!key->sub.empty() && key->sub.back() == L'\\') key->sub.pop_back();
  if (!key->sub.empty() && key->sub.front() == L'\\') return false;
  key->display = rootKeyName(key->root) + (key->sub.empty() ? L"" : L"\\" + key->sub);
  return true;
}

int invalidKey(const std::wstring& op) {
  err(L"ERROR: Invalid key name.\nType \"REG " + upper(op) + L" /?\" for usage.\n");
  return 1;
}

// Common options: /reg:32 and /reg:64 choose the view; the tool in
// SysWOW64 sees the 32-bit view by default, as the 32-bit reg.exe does.
std::uint32_t viewFlags(Args* args) {
  std::uint32_t flags = g_started32 ? KEY_WOW64_32KEY : 0;
  for (auto it = args->begin(); it != args->end();) {
    if (isOption(*it, L"reg:32")) { flags = KEY_WOW64_32KEY; it = args->erase(it); }
    else if (isOption(*it, L"reg:64")) { flags = KEY_WOW64_64KEY; it = args->erase(it); }
    else ++it;
  }
  return flags;
}

const wchar_t* typeName(std::uint32_t type) {
  static const wchar_t* names[] = {L"REG_NONE", L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY",
                                   L"REG_DWORD", L"REG_DWORD_BIG_ENDIAN", L"REG_LINK",
                                   L"REG_MULTI_SZ", L"REG_RESOURCE_LIST",
                                   L"REG_FULL_RESOURCE_DESCRIPTOR",
                                   L"REG_RESOURCE_REQUIREMENTS_LIST", L"REG_QWORD"};
  return type < 12 ? names[type] : nullptr;
}

std::wstring formatData(const RegValue& v) {
  wchar_t buf[32];
  switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return regText(v.data);
    case REG_MULTI_SZ: {
      std::wstring text;
      for (const std::wstring& item : regMultiText(v.data)) {
        if (!text.empty()) text += L"\\0";
        text += item;
      }
      return text;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (v.data.size() == 4) {
        std::uint32_t n = v.type == REG_DWORD
            ? v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (std::uint32_t(v.data[3]) << 24)
            : v.data[3] | (v.data[2] << 8) | (v.data[1] << 16) | (std::uint32_t(v.data[0]) << 24);
        std::swprintf(buf, 32, L"0x%x", n);
        return buf;
      }
      break;
    case REG_QWORD:
      if (v.data.size() == 8) {
        std::uint64_t n = 0;
        for (int i = 7; i >= 0; --i) n = (n << 8) | v.data[i];
        std::swprintf(buf, 32, L"0x%llx", static_cast<unsigned long long>(n));
        return buf;
      }
      break;
  }
  std::wstring hex;
  for (std::uint8_t b : v.data) {
    std::swprintf(buf, 32, L"%02X", b);
    hex += buf;
  }
  return hex;
}

std::wstring valueLine(const RegValue& v) {
  const wchar_t* type = typeName(v.type);
  wchar_t number[16];
  if (type == nullptr) {
    std::swprintf(number, 16, L"0x%x", v.type);
    type = number;
  }
  return L"    " + (v.name.empty() ? std::wstring(L"(Default)") : v.name) + L"    " + type +
         L"    " + formatData(v) + L"\n";
}

// ---------------------------------------------------------------------------
// reg query
// ---------------------------------------------------------------------------

struct QueryState {
  IRegistry* reg;
  bool recurse;
  bool oneValue;
  std::wstring valueName;
  std::size_t matches = 0;
};

// Prints one key; top is the key named on the command line.
WinError queryKey(QueryState& q, RegKey key, const std::wstring& path, bool top, int depth) {
  if (depth > static_cast<int>(kRegMaxDepth)) return ERROR_SUCCESS;
  std::wstring block;
  for (std::uint32_t i = 0;; ++i) {
    RegValue v;
    WinError rc = readValueAt(*q.reg, key, i, &v);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return rc;
    if (q.oneValue && upper(v.name) != upper(q.valueName)) continue;
    block += valueLine(v);
    ++q.matches;
  }
  if (!block.empty()) out(path + L"\n" + block + L"\n");
  else if (q.recurse && !top && !q.oneValue) out(path + L"\n\n");
  std::vector<std::wstring> names;
  for (std::uint32_t i = 0;; ++i) {
    std::wstring name;
    WinError rc = readSubKeyAt(*q.reg, key, i, &name);
    if (rc != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  for (const std::wstring& name : names) {
    if (!q.recurse) {
      if (!q.oneValue) out(path + L"\\" + name + L"\n");
      continue;
    }
    RegKey child;
    if (q.reg->openKey(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    queryKey(q, child, path + L"\\" + name, false, depth + 1);
    q.reg->closeKey(child);
  }
  return ERROR_SUCCESS;
}

int regQuery(Args args) {
  std::uint32_t view = viewFlags(&args);
  if (args.empty()) return syntaxError(L"query");
  KeyArg key;
  if (!parseKey(args[0], &key)) return invalidKey(L"query");
  bool recurse = false, haveV = false, haveVe = false;
  std::wstring name;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (isOption(args[i], L"s") && !recurse) recurse = true;
    else if (isOption(args[i], L"ve") && !haveV && !haveVe) haveVe = true;
    else if (isOption(args[i], L"v") && !haveV && !haveVe && i + 1 < args.size()) {
      haveV = true;
      name = args[++i];
    } else return syntaxError(L"query");
  }
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  RegKey k;
  WinError rc = reg->openKey(key.root, key.sub, 0, KEY_READ | view, &k);
  if (rc != ERROR_SUCCESS) return registryError(rc);
  int exit = 0;
  if ((haveV || haveVe) && !recurse) {
    RegValue v;
    rc = readValue(*reg, k, name, &v);
    if (rc == ERROR_SUCCESS) {
      out(L"\n" + key.display + L"\n" + valueLine(v) + L"\n");
    } else if (haveVe && rc == ERROR_FILE_NOT_FOUND) {
      out(L"\n" + key.display + L"\n    (Default)    REG_SZ    (value not set)\n\n");
    } else {
      exit = registryError(rc);
    }
  } else {
    QueryState q{reg, recurse, haveV || haveVe, name};
    out(L"\n");
    queryKey(q, k, key.display, true, 0);
    if (q.oneValue) {
      out(L"End of search: " + std::to_wstring(q.matches) + L" match(es) found.\n");
      if (q.matches == 0) exit = 1;
    }
  }
  reg->closeKey(k);
  return exit;
}

// ---------------------------------------------------------------------------
// reg add
// ---------------------------------------------------------------------------

bool parseNumber(const std::wstring& text, std::uint64_t limit, std::uint64_t* number) {
  if (text.empty()) return false;
  std::size_t i = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    base = 16;
    i = 2;
  }
  std::uint64_t n = 0;
  for (; i < text.size(); ++i) {
    int d = std::iswdigit(text[i]) ? text[i] - L'0'
            : (base == 16 && std::iswxdigit(text[i])) ? (std::towlower(text[i]) - L'a' + 10) : -1;
    if (d < 0) return false;
    if (n > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return false;
    n = n * base + d;
  }
  *number = n;
  return true;
}

bool encodeData(std::uint32_t type, const std::wstring& data, const std::wstring& separator,
                std::vector<std::uint8_t>* bytes) {
  std::uint64_t n = 0;
  switch (type) {
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (!parseNumber(data.empty() ? L"0" : data, 0xFFFFFFFFull, &n)) return false;
      *bytes = regDword(static_cast<std::uint32_t>(n));
      if (type == REG_DWORD_BIG_ENDIAN) std::reverse(bytes->begin(), bytes->end());
      return true;
    case REG_QWORD:
      if (!parseNumber(data.empty() ? L"0" : data, ~0ull, &n)) return false;
      *bytes = regQword(n);
      return true;
    case REG_BINARY: {
      bytes->clear();
      std::wstring hex = data.size() % 2 ? L"0" + data : data;
      for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (!std::iswxdigit(hex[i]) || !std::iswxdigit(hex[i + 1])) return false;
        bytes->push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      }
      return true;
    }
    case REG_MULTI_SZ: {
      std::vector<std::wstring> items;
      if (!data.empty()) {
        std::size_t start = 0;
        while (true) {
          std::size_t at = data.find(separator, start);
          items.push_back(data.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
          if (at == std::wstring::npos) break;
          start = at + separator.size();
        }
        for (const std::wstring& item : items) {
          if (item.empty()) return false;  // reg refuses empty strings in the list
        }
      }
      *bytes = regMultiSz(items);
      return true;
    }
    default:
      *bytes = regSz(data);
      return true;
  }
}

int regAdd(Args args) {
  std::uint32_t view = viewFlags(&args);
  if (args.empty()) return syntaxError(L"add");
  KeyArg key;
  if (!parseKey(args[0], &key)) return invalidKey(L"add");
  bool haveV = false, haveVe = false, haveT = false, haveD = false, haveS = false, force = false;
  std::wstring name, typeText = L"REG_SZ", data, separator = L"\\0";
  for (std::size_t i = 1; i < args.size(); ++i) {
    bool more = i + 1 < args.size();
    if (isOption(args[i], L"v") && more && !haveV && !haveVe) { haveV = true; name = args[++i]; }
    else if (isOption(args[i], L"ve") && !haveV && !haveVe) haveVe = true;
    else if (isOption(args[i], L"t") && more && !haveT) { haveT = true; typeText = upper(args[++i]); }
    else if (isOption(args[i], L"d") && more && !haveD) { haveD = true; data = args[++i]; }
    else if (isOption(args[i], L"s") && more && !haveS) { haveS = true; separator = args[++i]; }
    else if (isOption(args[i], L"f") && !force) force = true;
    else return syntaxError(L"add");
  }
  std::uint32_t type = 0xFFFFFFFF;
  for (std::uint32_t t = 0; t < 12; ++t) {
    if (typeName(t) && typeText == typeName(t)) type = t;
  }
  if (type == 0xFFFFFFFF || type == REG_LINK || (type >= REG_RESOURCE_LIST && type <= 10)) {
    err(L"ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n");
    return 1;
  }
  if (separator.empty() || (haveS && type != REG_MULTI_SZ)) return syntaxError(L"add");
  std::vector<std::uint8_t> bytes;
  if ((haveV || haveVe || haveD || haveT) && !encodeData(type, data, separator, &bytes)) {
    err(L"ERROR: Invalid syntax.\nType \"REG ADD /?\" for usage.\n");
    return 1;
  }
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  RegKey k;
  WinError rc = reg->createKey(key.root, key.sub, REG_OPTION_NON_VOLATILE,
                               KEY_READ | KEY_SET_VALUE | view, &k, nullptr);
  if (rc != ERROR_SUCCESS) return registryError(rc);
  int exit = 0;
  if (haveV || haveVe || haveD || haveT) {
    std::uint32_t size = 0;
    bool exists = reg->queryValue(k, name, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (exists && !force &&
        !confirm(L"Value " + (name.empty() ? std::wstring(L"(Default)") : name) +
                 L" exists, overwrite(Yes/No)? ")) {
      out(L"The operation was canceled by the user.\n");
      reg->closeKey(k);
      return 0;
    }
    rc = writeValue(*reg, k, name, type, bytes);
    if (rc != ERROR_SUCCESS) exit = registryError(rc);
  }
  reg->closeKey(k);
  if (exit == 0) out(kSuccess);
  return exit;
}

// ---------------------------------------------------------------------------
// reg delete
// ---------------------------------------------------------------------------

int regDelete(Args args) {
  std::uint32_t view = viewFlags(&args);
  if (args.empty()) return syntaxError(L"delete");
  KeyArg key;
  if (!parseKey(args[0], &key)) return invalidKey(L"delete");
  bool haveV = false, haveVe = false, haveVa = false, force = false;
  std::wstring name;
  for (std::size_t i = 1; i < args.size(); ++i) {
    bool one = !haveV && !haveVe && !haveVa;
    if (isOption(args[i], L"v") && i + 1 < args.size() && one) { haveV = true; name = args[++i]; }
    else if (isOption(args[i], L"ve") && one) haveVe = true;
    else if (isOption(args[i], L"va") && one) haveVa = true;
    else if (isOption(args[i], L"f") && !force) force = true;
    else return syntaxError(L"delete");
  }
  bool wholeKey = !haveV && !haveVe && !haveVa;
  if (wholeKey && key.sub.empty()) return invalidKey(L"delete");
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  RegKey k;
  WinError rc = reg->openKey(key.root, key.sub, 0, KEY_READ | KEY_SET_VALUE | view, &k);
  if (rc != ERROR_SUCCESS) return registryError(rc);
  std::wstring question = wholeKey ? L"Permanently delete the registry key " + key.display +
                                         L" (Yes/No)? "
                          : haveVa ? L"Delete all values under the registry key " +
                                         key.display + L" (Yes/No)? "
                                   : L"Delete the registry value " +
                                         (name.empty() ? std::wstring(L"(Default)") : name) +
                                         L" (Yes/No)? ";
  if (!force && !confirm(question)) {
    reg->closeKey(k);
    out(L"The operation was canceled by the user.\n");
    return 0;
  }
  if (wholeKey) {
    reg->closeKey(k);
    // Delete through the key's real (possibly redirected) parent.
    rc = reg->deleteTree(key.root, key.sub);
    if (view & KEY_WOW64_32KEY) {
      std::wstring real;
      RegKey again;
      if (reg->openKey(key.root, key.sub, 0, KEY_READ | view, &again) == ERROR_SUCCESS) {
        reg->keyPath(again, &real);
        reg->closeKey(again);
        RegKey root;
        std::wstring sub;
        parseKeyPath(real, &root, &sub);
        rc = reg->deleteTree(root, sub);
      }
    }
    if (rc != ERROR_SUCCESS) return registryError(rc);
    out(kSuccess);
    return 0;
  }
  int exit = 0;
  if (haveVa) {
    std::vector<std::wstring> names;
    for (std::uint32_t i = 0;; ++i) {
      RegValue v;
      if (readValueAt(*reg, k, i, &v) != ERROR_SUCCESS) break;
      names.push_back(v.name);
    }
    for (const std::wstring& n : names) {
      rc = reg->deleteValue(k, n);
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) { exit = registryError(rc); break; }
    }
  } else {
    rc = reg->deleteValue(k, name);
    if (rc != ERROR_SUCCESS) exit = registryError(rc);
  }
  reg->closeKey(k);
  if (exit == 0) out(kSuccess);
  return exit;
}

// ---------------------------------------------------------------------------
// reg export / reg import
// ---------------------------------------------------------------------------

std::string hostFile(const std::wstring& path) {
  if (!path.empty() && path[0] == L'/') return toUtf8(path);
  IMachine* machine = currentMachine();
  std::string host;
  if (machine && machine->paths().toHostPath(path, host) == ERROR_SUCCESS) return host;
  return toUtf8(path);
}

int regExport(Args args) {
  std::uint32_t view = viewFlags(&args);
  bool overwrite = false;
  for (auto it = args.begin(); it != args.end();) {
    if (isOption(*it, L"y") && !overwrite) { overwrite = true; it = args.erase(it); }
    else ++it;
  }
  if (args.size() != 2) return syntaxError(L"export");
  KeyArg key;
  if (!parseKey(args[0], &key)) return invalidKey(L"export");
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  std::wstring path = key.display;
  if (view & KEY_WOW64_32KEY) {
    // Export what the 32-bit view shows, under the name the caller used.
    RegKey k;
    WinError rc = reg->openKey(key.root, key.sub, 0, KEY_READ | view, &k);
    if (rc != ERROR_SUCCESS) return registryError(rc);
    reg->keyPath(k, &path);
    reg->closeKey(k);
  }
  std::string bytes;
  WinError rc = exportRegKey(*reg, path, RegFileFormat::Version5, &bytes);
  if (rc != ERROR_SUCCESS) return registryError(rc);
  std::string file = hostFile(args[1]);
  if (!overwrite && std::ifstream(file).good() &&
      !confirm(L"File " + args[1] + L" already exists. Overwrite (Yes/No)? ")) {
    out(L"The operation was canceled by the user.\n");
    return 0;
  }
  std::ofstream outFile(file, std::ios::binary | std::ios::trunc);
  outFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  outFile.close();
  if (!outFile) {
    err(L"ERROR: Unable to write to the file. There may be a disk or file system error.\n");
    return 1;
  }
  out(kSuccess);
  return 0;
}

int regImport(Args args) {
  viewFlags(&args);
  if (args.size() != 1) return syntaxError(L"import");
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  RegImportResult result;
  WinError rc = importRegFile(*reg, hostFile(args[0]), &result);
  if (rc == ERROR_FILE_NOT_FOUND) {
    err(L"ERROR: Error opening the file. There may be a disk or file system error.\n");
    return 1;
  }
  if (rc != ERROR_SUCCESS) {
    err(L"ERROR: Error accessing the registry.\n");
    return 1;
  }
  for (const RegFileProblem& p : result.problems) {
    err(L"Line " + std::to_wstring(p.line) + L": " + p.message + L"\n");
  }
  if (!result.problems.empty()) {
    err(L"ERROR: Error accessing the registry.\n");
    return 1;
  }
  out(kSuccess);
  return 0;
}

}  // namespace

int regMain(const Args& argsIn) {
  if (argsIn.empty()) {
    err(L"ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n");
    return 1;
  }
  std::wstring op = upper(argsIn[0]);
  Args args(argsIn.begin() + 1, argsIn.end());
  for (const std::wstring& a : args) {
    if (isOption(a, L"?") || isOption(a, L"h")) {
      out(L"REG " + op + L" KEY [options]\n");
      return 0;
    }
  }
  if (op == L"QUERY") return regQuery(args);
  if (op == L"ADD") return regAdd(args);
  if (op == L"DELETE") return regDelete(args);
  if (op == L"EXPORT") return regExport(args);
  if (op == L"IMPORT") return regImport(args);
  if (isOption(argsIn[0], L"?")) {
    out(L"REG Operation [Parameter List]\n  Operation  [ QUERY | ADD | DELETE | EXPORT | IMPORT ]\n");
    return 0;
  }
  err(L"ERROR: Invalid syntax.\nType \"REG /?\" for usage.\n");
  return 1;
}

}  // namespace zorel::wintools
