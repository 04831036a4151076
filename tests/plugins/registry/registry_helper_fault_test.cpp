// RegistryHelper on a real registry file behind a wrapper that injects
// faults (the syscall-table idea, one level up): an enumeration that keeps
// failing, a delete that throws. And the Registry object with no result
// store, whose collect has nowhere to write.

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "../../platform/machine/temp_machine.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/registry/registry.h"
#include "zorel/plugins/registry/registry_helper.h"

namespace zorel {
namespace {

using namespace platform;

// Passes every call to a real registry, but for the faults it is told.
class FaultyRegistry : public IRegistry {
 public:
  explicit FaultyRegistry(IRegistry& real) : real_(real) {}
  WinError enumFault = 0;     // enumKey answers this (0: no fault)
  bool throwOnDelete = false;
  int enumCalls = 0;

  WinError openKey(RegKey p, std::wstring_view s, uint32_t o, uint32_t d, RegKey* r) override {
    return real_.openKey(p, s, o, d, r);
  }
  WinError createKey(RegKey p, std::wstring_view s, uint32_t o, uint32_t d, RegKey* r,
                     uint32_t* disp) override {
    return real_.createKey(p, s, o, d, r, disp);
  }
  WinError closeKey(RegKey k) override { return real_.closeKey(k); }
  WinError queryValue(RegKey k, std::wstring_view n, uint32_t* t, uint8_t* d, uint32_t* c) override {
    return real_.queryValue(k, n, t, d, c);
  }
  WinError setValue(RegKey k, std::wstring_view n, uint32_t t, const uint8_t* d, uint32_t c) override {
    return real_.setValue(k, n, t, d, c);
  }
  WinError enumKey(RegKey k, uint32_t i, wchar_t* n, uint32_t* c, int64_t* w) override {
    ++enumCalls;
    if (enumFault != 0 && enumCalls > 1) return enumFault;  // the walk's first listing works
    return real_.enumKey(k, i, n, c, w);
  }
  WinError enumValue(RegKey k, uint32_t i, wchar_t* n, uint32_t* c, uint32_t* t, uint8_t* d,
                     uint32_t* b) override {
    return real_.enumValue(k, i, n, c, t, d, b);
  }
  WinError deleteValue(RegKey k, std::wstring_view n) override { return real_.deleteValue(k, n); }
  WinError deleteKey(RegKey k, std::wstring_view s, uint32_t d) override {
    if (throwOnDelete) throw std::runtime_error("injected");
    return real_.deleteKey(k, s, d);
  }
  WinError deleteTree(RegKey k, std::wstring_view s) override {
    if (throwOnDelete) throw std::runtime_error("injected");
    return real_.deleteTree(k, s);
  }
  WinError queryInfoKey(RegKey k, RegKeyInfo* i) override { return real_.queryInfoKey(k, i); }
  WinError getKeySecurity(RegKey k, KeySecurity* s) override { return real_.getKeySecurity(k, s); }
  WinError setKeySecurity(RegKey k, const KeySecurity& s) override { return real_.setKeySecurity(k, s); }
  WinError keyPath(RegKey k, std::wstring* p) override { return real_.keyPath(k, p); }
  WinError beginBatch() override { return real_.beginBatch(); }
  WinError commitBatch() override { return real_.commitBatch(); }
  WinError abortBatch() override { return real_.abortBatch(); }
  WinError checkIntegrity(std::wstring* r) override { return real_.checkIntegrity(r); }

 private:
  IRegistry& real_;
};

class HelperFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    RegKey k;
    ASSERT_EQ(machine_->registry().createKey(kHkeyCurrentUser, L"Software\\F\\T1\\a\\b", 0, KEY_WRITE,
                                             &k, nullptr),
              0);
    machine_->registry().closeKey(k);
  }
  bool Exists(const std::wstring& sub) {
    RegKey k;
    if (machine_->registry().openKey(kHkeyCurrentUser, sub, 0, KEY_READ, &k) != 0) return false;
    machine_->registry().closeKey(k);
    return true;
  }
  testing::TempMachine machine_;
};

// The tree delete ends on an enumeration error other than 259 (it used to
// retry index 0 for ever) and on an exception (it used to count it as
// success); the error reaches the script.
TEST_F(HelperFaults, TreeDeleteFailsInsteadOfLoopingOrSucceeding) {
  struct Case {
    const char* name;
    WinError enumFault;
    bool throwOnDelete;
    const wchar_t* pattern;  // empty: the whole key
    int32_t code;
  } cases[] = {
      {"enumeration error", ERROR_KEY_DELETED, false, L"T.*", ERROR_KEY_DELETED},
      {"exception in the tree", 0, true, L"T.*", 20016},
      {"exception on the whole key", 0, true, L"", 20016},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultyRegistry faulty(machine_->registry());
    faulty.enumFault = c.enumFault;
    faulty.throwOnDelete = c.throwOnDelete;
    RegistryHelper helper(faulty, true);
    helper.SetKey(L"HKCU\\Software\\F");
    auto answer = helper.DeleteKey(c.pattern, true);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_FALSE(answer->status);
    EXPECT_FALSE(answer->returnValue);
    EXPECT_LT(faulty.enumCalls, 100);
    EXPECT_TRUE(Exists(L"Software\\F\\T1\\a\\b"));
  }
}

TEST_F(HelperFaults, CollectWithoutAStoreAnswersApiFailed) {
  setCurrentMachine(machine_.release());
  StackFrame args;
  args.AddNamedArguments(R"({"key":"HKCU\\Software\\F"})");
  Registry registry(args);
  StackFrame none;
  auto answer = registry.collect(none);
  EXPECT_EQ(answer->errorcode, 20016);
  EXPECT_FALSE(answer->status);
  setCurrentMachine(nullptr);
}

}  // namespace
}  // namespace zorel
