// CMachineIDManager: read, or create and store, the machine identifier.

#include "zorel/session/machine_id_manager.h"

#include <cstring>
#include <vector>

#include "zorel/log/framework_log.h"
#include "zorel/platform/base/guid.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"

namespace zorel {
namespace {

using namespace zorel::platform;

const wchar_t kKeyPath[] = L"SOFTWARE\\Olvane\\PreInstall";
const wchar_t kValueName[] = L"PreInstallMachineID";
constexpr uint32_t kReadWrite = KEY_READ | KEY_WRITE;  // 0x2001F

// Stores the ID as REG_SZ with exactly two bytes per character: no NUL.
WinError storeId(IRegistry& registry, RegKey key, const std::wstring& id) {
  std::vector<uint8_t> bytes = regSz(id);
  bytes.resize(id.size() * 2);
  return registry.setValue(key, kValueName, REG_SZ, bytes.data(),
                           static_cast<uint32_t>(bytes.size()));
}

}  // namespace

CMachineIDManager::CMachineIDManager() {
  IMachine* machine = currentMachine();
  registry_ = machine ? &machine->registry() : nullptr;
}

CMachineIDManager::CMachineIDManager(IRegistry* registry) : registry_(registry) {}

CMachineIDManager::~CMachineIDManager() = default;

bool CMachineIDManager::GenerateID(std::wstring& id) {
  Guid guid;
  if (coCreateGuid(guid) < 0) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"MachineID : CoCreateGuid failed");
    return false;
  }
  if (uuidToString(guid, id) != 0) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"MachineID : UuidToString failed");
    return false;
  }
  return true;
}

bool CMachineIDManager::GetMachineID(std::wstring& id) {
  RegKey key = kRegNoKey;
  try {
    if (!registry_) {
      // No registry at all is as good as one that refuses the key.
      FrameworkLog::Instance().Write(LogLevel::Error, L"MachineID : Error creating the registry key");
      return false;
    }
    IRegistry& registry = *registry_;
    if (registry.openKey(kHkeyLocalMachine, kKeyPath, 0, kReadWrite, &key) != ERROR_SUCCESS) {
      key = kRegNoKey;
      if (registry.createKey(kHkeyLocalMachine, kKeyPath, 0, kReadWrite, &key, nullptr) !=
          ERROR_SUCCESS) {
        FrameworkLog::Instance().Write(LogLevel::Error,
                                       L"MachineID : Error creating the registry key");
        return false;
      }
      bool ok = GenerateID(id);
      if (ok && storeId(registry, key, id) != ERROR_SUCCESS) {
        FrameworkLog::Instance().Write(LogLevel::Error,
                                       L"MachineID : Failed to set the value to registry");
        ok = false;
      }
      registry.closeKey(key);
      return ok;
    }

    // 255 wide characters, announced as 255 bytes: a value of 128
    // characters or more does not fit and leaves the buffer empty.
    wchar_t buffer[255];
    std::memset(buffer, 0, sizeof buffer);
    std::vector<uint8_t> raw(255, 0);
    uint32_t size = 255;
    uint32_t type = 0;
    if (registry.queryValue(key, kValueName, &type, raw.data(), &size) == ERROR_SUCCESS) {
      for (uint32_t i = 0; i + 1 < size && i / 2 < 254; i += 2)
        buffer[i / 2] = static_cast<wchar_t>(raw[i] | (raw[i + 1] << 8));
    }
    if (buffer[0] != L'\0') {
      id = buffer;
    } else {
      if (!GenerateID(id)) {
        registry.closeKey(key);
        return false;
      }
      if (storeId(registry, key, id) != ERROR_SUCCESS) {
        FrameworkLog::Instance().Write(LogLevel::Error,
                                       L"MachineID : Failed to set the value to registry");
        registry.closeKey(key);
        return false;
      }
    }
    registry.closeKey(key);
    FrameworkLog::Instance().Write(LogLevel::Info, L"MachineID : %s", id.c_str());
    return true;
  } catch (...) {
    if (key != kRegNoKey && registry_) registry_->closeKey(key);
    FrameworkLog::Instance().Write(LogLevel::Error, L"MachineID : Unexpected error occured");
    return false;
  }
}

}  // namespace zorel
