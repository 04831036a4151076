// The environment block built from the machine's registry, as the logon
// builds it on Windows (see environment.h for the order).

#include <algorithm>
#include <cwctype>
#include <mutex>

#include "zorel/platform/machine/environment.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

using Variables = std::vector<std::pair<std::wstring, std::wstring>>;

bool sameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

bool lessName(const std::wstring& a, const std::wstring& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](wchar_t x, wchar_t y) {
    return std::towupper(x) < std::towupper(y);
  });
}

const std::wstring* findVariable(const Variables& vars, std::wstring_view name) {
  for (const auto& v : vars)
    if (sameName(v.first, name)) return &v.second;
  return nullptr;
}

void putVariable(Variables& vars, std::wstring_view name, std::wstring value) {
  for (auto& v : vars) {
    if (sameName(v.first, name)) {
      v.second = std::move(value);
      return;
    }
  }
  vars.emplace_back(std::wstring(name), std::move(value));
}

const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const wchar_t kNtCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kProfileList[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const wchar_t kSessionEnvironment[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const wchar_t kComputerName[] =
    L"SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// Adds the values of one key: REG_SZ first, then REG_EXPAND_SZ expanded
// against the block so far. appendPath joins a Path value to the existing
// one with ';' (the user's Path follows the machine's).
void addKeyValues(IRegistry& registry, RegKey root, const wchar_t* subKey, Variables& vars,
                  bool appendPath) {
  RegKey key = kRegNoKey;
  if (registry.openKey(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<RegValue> values;
  for (uint32_t i = 0;; ++i) {
    RegValue v;
    WinError e = readValueAt(registry, key, i, &v);
    if (e == ERROR_NO_MORE_ITEMS) break;
    if (e != ERROR_SUCCESS) continue;
    if ((v.type == REG_SZ || v.type == REG_EXPAND_SZ) && !v.name.empty()) values.push_back(v);
    if (i > 100000) break;
  }
  registry.closeKey(key);
  for (uint32_t pass : {REG_SZ, REG_EXPAND_SZ}) {
    for (const RegValue& v : values) {
      if (v.type != pass) continue;
      std::wstring text = regText(v.data);
      if (pass == REG_EXPAND_SZ) text = expandWith(text, vars);
      const std::wstring* old = findVariable(vars, v.name);
      if (appendPath && sameName(v.name, L"Path") && old && !old->empty()) {
        std::wstring joined = *old;
        if (joined.back() != L';') joined.push_back(L';');
        putVariable(vars, v.name, joined + text);
      } else {
        putVariable(vars, v.name, text);
      }
    }
  }
}

void addFromValue(IRegistry& registry, Variables& vars, const wchar_t* variable,
                  RegKey root, const std::wstring& subKey, const wchar_t* valueName) {
  std::wstring text;
  if (readString(registry, root, subKey, valueName, &text) == ERROR_SUCCESS && !text.empty())
    putVariable(vars, variable, expandWith(text, vars));
}

Variables buildBlock(IRegistry& registry) {
  Variables vars;
  addFromValue(registry, vars, L"SystemRoot", kHkeyLocalMachine, kNtCurrentVersion, L"SystemRoot");
  if (const std::wstring* root = findVariable(vars, L"SystemRoot"); root && root->size() >= 2)
    putVariable(vars, L"SystemDrive", root->substr(0, 2));
  addFromValue(registry, vars, L"ALLUSERSPROFILE", kHkeyLocalMachine, kProfileList, L"ProgramData");
  addFromValue(registry, vars, L"ProgramData", kHkeyLocalMachine, kProfileList, L"ProgramData");
  addFromValue(registry, vars, L"PUBLIC", kHkeyLocalMachine, kProfileList, L"Public");
  addFromValue(registry, vars, L"ProgramFiles", kHkeyLocalMachine, kCurrentVersion, L"ProgramFilesDir");
  addFromValue(registry, vars, L"ProgramFiles(x86)", kHkeyLocalMachine, kCurrentVersion,
               L"ProgramFilesDir (x86)");
  addFromValue(registry, vars, L"ProgramW6432", kHkeyLocalMachine, kCurrentVersion, L"ProgramW6432Dir");
  addFromValue(registry, vars, L"CommonProgramFiles", kHkeyLocalMachine, kCurrentVersion, L"CommonFilesDir");
  addFromValue(registry, vars, L"CommonProgramFiles(x86)", kHkeyLocalMachine, kCurrentVersion,
               L"CommonFilesDir (x86)");
  addFromValue(registry, vars, L"CommonProgramW6432", kHkeyLocalMachine, kCurrentVersion,
               L"CommonW6432Dir");
  addFromValue(registry, vars, L"COMPUTERNAME", kHkeyLocalMachine, kComputerName, L"ComputerName");
  addKeyValues(registry, kHkeyLocalMachine, kSessionEnvironment, vars, false);
  addKeyValues(registry, kHkeyCurrentUser, L"Volatile Environment", vars, false);
  addKeyValues(registry, kHkeyCurrentUser, L"Environment", vars, true);
  return vars;
}

class RegistryEnvironment final : public IEnvironment {
 public:
  explicit RegistryEnvironment(Variables vars) : vars_(std::move(vars)) {}

  WinError getVariable(std::wstring_view name, std::wstring& value) const override {
    std::lock_guard<std::mutex> g(lock_);
    const std::wstring* v = findVariable(vars_, name);
    if (!v) return ERROR_ENVVAR_NOT_FOUND;
    value = *v;
    return ERROR_SUCCESS;
  }

  WinError setVariable(std::wstring_view name, const std::wstring* value) override {
    if (name.empty() || name.find(L'=', 1) != std::wstring_view::npos ||
        name.find(L'\0') != std::wstring_view::npos)
      return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> g(lock_);
    if (value) {
      putVariable(vars_, name, *value);
      return ERROR_SUCCESS;
    }
    auto it = std::find_if(vars_.begin(), vars_.end(),
                           [&](const auto& v) { return sameName(v.first, name); });
    if (it != vars_.end()) vars_.erase(it);
    return ERROR_SUCCESS;  // deleting a missing variable succeeds, as on Windows
  }

  Variables block() const override {
    std::lock_guard<std::mutex> g(lock_);
    Variables sorted = vars_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return lessName(a.first, b.first); });
    return sorted;
  }

  uint32_t expandEnvironmentStrings(const wchar_t* source, wchar_t* dest,
                                    uint32_t size) const override {
    if (!source) return 0;
    const std::wstring out = expand(source);
    const uint64_t needed = static_cast<uint64_t>(out.size()) + 1;
    if (needed > 0xFFFFFFFFu) return 0;
    if (dest && size >= needed) std::copy(out.c_str(), out.c_str() + needed, dest);
    return static_cast<uint32_t>(needed);
  }

  std::wstring expand(std::wstring_view text) const override {
    std::lock_guard<std::mutex> g(lock_);
    return expandWith(text, vars_);
  }

 private:
  mutable std::mutex lock_;
  Variables vars_;  // in the order first set; guarded by lock_
};

}  // namespace

std::wstring expandWith(std::wstring_view text, const Variables& variables) {
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != L'%') {
      out.push_back(text[i++]);
      continue;
    }
    const size_t close = text.find(L'%', i + 1);
    if (close != std::wstring_view::npos && close > i + 1) {
      if (const std::wstring* v = findVariable(variables, text.substr(i + 1, close - i - 1))) {
        out += *v;
        i = close + 1;
        continue;
      }
    }
    // Unknown name or a lone '%': the '%' stays and scanning goes on after
    // it, so the closing '%' may open the next name (as Windows does).
    out.push_back(L'%');
    ++i;
  }
  return out;
}

std::unique_ptr<IEnvironment> createEnvironment(IRegistry& registry) {
  return std::make_unique<RegistryEnvironment>(buildBlock(registry));
}

}  // namespace zorel::platform
