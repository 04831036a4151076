// The installed product registry stand-in over the machine's registry (see
// installed_product_registry.h).

#include <sys/stat.h>

#include <string>

#include "zorel/platform/com/installed_product_registry.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

constexpr wchar_t kRecordKey[] = L"SOFTWARE\\Olvane\\ProductRegistry";
constexpr uint32_t kRead = KEY_READ | KEY_WOW64_64KEY;

class OpenKey {
 public:
  OpenKey(IRegistry& registry, RegKey parent, std::wstring_view path) : registry_(registry) {
    if (registry_.openKey(parent, path, 0, kRead, &key_) != ERROR_SUCCESS) key_ = kRegNoKey;
  }
  ~OpenKey() {
    if (key_ != kRegNoKey) registry_.closeKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  bool ok() const { return key_ != kRegNoKey; }
  RegKey get() const { return key_; }

 private:
  IRegistry& registry_;
  RegKey key_ = kRegNoKey;
};

class RegistryRecord : public IProductRecord {
 public:
  RegistryRecord(IRegistry& registry, std::wstring path)
      : registry_(registry), path_(std::move(path)) {}

  int32_t readValue(std::wstring_view name, std::wstring* text) override {
    OpenKey key(registry_, kHkeyLocalMachine, path_);
    RegValue value;
    if (!key.ok() || platform::readValue(registry_, key.get(), name, &value) != ERROR_SUCCESS ||
        value.type != REG_SZ)
      return kProductRecordMissing;
    *text = regText(value.data);
    return kProductRecordFound;
  }

 private:
  IRegistry& registry_;
  std::wstring path_;  // below HKLM
};

class RegistryComponent : public IInstalledProductRegistry {
 public:
  explicit RegistryComponent(IRegistry& registry) : registry_(registry) {}

  std::vector<std::wstring> productCodes() override {
    std::vector<std::wstring> codes;
    OpenKey key(registry_, kHkeyLocalMachine, kRecordKey);
    if (!key.ok()) return codes;
    for (uint32_t index = 0;; ++index) {
      std::wstring name;
      const WinError e = readSubKeyAt(registry_, key.get(), index, &name);
      if (e == ERROR_MORE_DATA) continue;
      if (e != ERROR_SUCCESS) break;  // the end, or a key deleted under the walk
      codes.push_back(std::move(name));
    }
    return codes;
  }

  int32_t openRecord(std::wstring_view code, std::unique_ptr<IProductRecord>* record) override {
    if (code.empty() || code.find(L'\\') != std::wstring_view::npos) return kProductRecordMissing;
    std::wstring path = std::wstring(kRecordKey) + L"\\" + std::wstring(code);
    if (!OpenKey(registry_, kHkeyLocalMachine, path).ok()) return kProductRecordMissing;
    *record = std::make_unique<RegistryRecord>(registry_, std::move(path));
    return kProductRecordFound;
  }

 private:
  IRegistry& registry_;
};

}  // namespace

std::wstring localServerPath(std::wstring_view commandLine) {
  if (!commandLine.empty() && commandLine.front() == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    return std::wstring(commandLine.substr(1, close == std::wstring_view::npos
                                                  ? std::wstring_view::npos
                                                  : close - 1));
  }
  return std::wstring(commandLine);
}

int32_t createInstalledProductRegistry(IMachine& machine, std::wstring_view classId,
                                       std::unique_ptr<IInstalledProductRegistry>* component) {
  IRegistry& registry = machine.registry();
  const std::wstring serverKey =
      L"SOFTWARE\\Classes\\CLSID\\" + std::wstring(classId) + L"\\LocalServer32";
  std::wstring commandLine;
  {
    OpenKey key(registry, kHkeyLocalMachine, serverKey);
    RegValue value;
    if (!key.ok() || readValue(registry, key.get(), L"", &value) != ERROR_SUCCESS)
      return REGDB_E_CLASSNOTREG;
    if (value.type == REG_SZ) {
      commandLine = regText(value.data);
    } else if (value.type == REG_EXPAND_SZ) {
      commandLine = machine.environment().expand(regText(value.data));
    } else {
      return REGDB_E_CLASSNOTREG;
    }
  }
  const std::wstring server = localServerPath(commandLine);
  if (server.empty()) return REGDB_E_CLASSNOTREG;
  std::string host;
  if (machine.paths().toHostPath(server, host) != ERROR_SUCCESS) return HRESULT_FILE_NOT_FOUND;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return HRESULT_FILE_NOT_FOUND;
  if (!S_ISREG(st.st_mode)) return HRESULT_ACCESS_DENIED;
  *component = std::make_unique<RegistryComponent>(registry);
  return kSOkResult;
}

}  // namespace zorel::platform
