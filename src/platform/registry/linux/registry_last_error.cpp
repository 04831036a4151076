// Every registry call that fails leaves its code as the thread's last
// error (what GetLastError shows after a failed registry operation), so a
// log line written after the failure can name it. Successful calls leave
// the last error as it was.

#include <memory>
#include <utility>

#include "registry/linux/registry_sqlite.h"

namespace zorel::platform::reg {

namespace {

WinError noted(WinError result) {
  if (result != ERROR_SUCCESS) setLastError(result);
  return result;
}

class LastErrorRegistry final : public IRegistry {
 public:
  explicit LastErrorRegistry(std::unique_ptr<IRegistry> inner) : inner_(std::move(inner)) {}

  WinError openKey(RegKey parent, std::wstring_view subKey, std::uint32_t options,
                   std::uint32_t samDesired, RegKey* result) override {
    return noted(inner_->openKey(parent, subKey, options, samDesired, result));
  }
  WinError createKey(RegKey parent, std::wstring_view subKey, std::uint32_t options,
                     std::uint32_t samDesired, RegKey* result,
                     std::uint32_t* disposition) override {
    return noted(inner_->createKey(parent, subKey, options, samDesired, result, disposition));
  }
  WinError closeKey(RegKey key) override { return noted(inner_->closeKey(key)); }
  WinError queryValue(RegKey key, std::wstring_view name, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* cbData) override {
    return noted(inner_->queryValue(key, name, type, data, cbData));
  }
  WinError setValue(RegKey key, std::wstring_view name, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t cbData) override {
    return noted(inner_->setValue(key, name, type, data, cbData));
  }
  WinError enumKey(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t* cchName,
                   std::int64_t* lastWriteTime) override {
    return noted(inner_->enumKey(key, index, name, cchName, lastWriteTime));
  }
  WinError enumValue(RegKey key, std::uint32_t index, wchar_t* name, std::uint32_t* cchName,
                     std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* cbData) override {
    return noted(inner_->enumValue(key, index, name, cchName, type, data, cbData));
  }
  WinError deleteValue(RegKey key, std::wstring_view name) override {
    return noted(inner_->deleteValue(key, name));
  }
  WinError deleteKey(RegKey key, std::wstring_view subKey, std::uint32_t samDesired) override {
    return noted(inner_->deleteKey(key, subKey, samDesired));
  }
  WinError deleteTree(RegKey key, std::wstring_view subKey) override {
    return noted(inner_->deleteTree(key, subKey));
  }
  WinError queryInfoKey(RegKey key, RegKeyInfo* info) override {
    return noted(inner_->queryInfoKey(key, info));
  }
  WinError getKeySecurity(RegKey key, KeySecurity* security) override {
    return noted(inner_->getKeySecurity(key, security));
  }
  WinError setKeySecurity(RegKey key, const KeySecurity& security) override {
    return noted(inner_->setKeySecurity(key, security));
  }
  WinError keyPath(RegKey key, std::wstring* path) override {
    return noted(inner_->keyPath(key, path));
  }
  WinError beginBatch() override { return noted(inner_->beginBatch()); }
  WinError commitBatch() override { return noted(inner_->commitBatch()); }
  WinError abortBatch() override { return noted(inner_->abortBatch()); }
  WinError checkIntegrity(std::wstring* report) override {
    return noted(inner_->checkIntegrity(report));
  }
  std::int64_t changeStamp() override { return inner_->changeStamp(); }

 private:
  std::unique_ptr<IRegistry> inner_;
};

}  // namespace

std::unique_ptr<IRegistry> withLastError(std::unique_ptr<IRegistry> registry) {
  return std::make_unique<LastErrorRegistry>(std::move(registry));
}

}  // namespace zorel::platform::reg
