// The machine identifier on a fresh machine, with the log lines it writes.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../platform/machine/temp_machine.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/session/machine_id_manager.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using testing::TempMachine;

const wchar_t kKey[] = L"SOFTWARE\\Olvane\\PreInstall";

// The process's log goes to the machine's TEMP: the first test's machine
// becomes the process-wide one, and every test reads the log's new lines.
class MachineId : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    logMachine_ = new TempMachine();
    setCurrentMachine(logMachine_->release());
  }
  static void TearDownTestSuite() {
    setCurrentMachine(nullptr);
    delete logMachine_;
  }
  void SetUp() override { logStart_ = logSize(); }
  static std::streamoff logSize() {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary | std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
  }
  std::string newLog() const {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    in.seekg(logStart_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::wstring storedId(IRegistry& r) {
    RegValue v;
    RegKey key{};
    EXPECT_EQ(r.openKey(kHkeyLocalMachine, kKey, 0, KEY_READ, &key), 0);
    EXPECT_EQ(readValue(r, key, L"PreInstallMachineID", &v), 0);
    r.closeKey(key);
    EXPECT_EQ(v.type, REG_SZ);
    EXPECT_EQ(v.data.size() % 2, 0u);
    return std::wstring(regText(v.data));
  }
  static size_t storedBytes(IRegistry& r) {
    RegKey key{};
    r.openKey(kHkeyLocalMachine, kKey, 0, KEY_READ, &key);
    RegValue v;
    readValue(r, key, L"PreInstallMachineID", &v);
    r.closeKey(key);
    return v.data.size();
  }

  static TempMachine* logMachine_;
  std::streamoff logStart_ = 0;
  TempMachine machine_;
};
TempMachine* MachineId::logMachine_ = nullptr;

void expectGuidText(const std::wstring& id) {
  ASSERT_EQ(id.size(), 36u) << std::string(id.begin(), id.end());
  for (size_t i = 0; i < 36; ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(id[i], L'-');
    } else {
      EXPECT_TRUE(iswxdigit(id[i]) && !iswupper(id[i]));
    }
  }
}

TEST_F(MachineId, LogGoesToTheMachinesTemp) {
  EXPECT_EQ(FrameworkLog::Instance().path(),
            logMachine_->root() + "/drive_c/Users/User/AppData/Local/Temp/FrameWork.log");
}

TEST_F(MachineId, FirstRunCreatesAndStoresAnIdWithoutInfoLine) {
  CMachineIDManager manager(&machine_->registry());
  std::wstring id;
  ASSERT_TRUE(manager.GetMachineID(id));
  expectGuidText(id);
  EXPECT_EQ(storedId(machine_->registry()), id);
  EXPECT_EQ(storedBytes(machine_->registry()), 72u);  // 2 x 36, no NUL
  EXPECT_EQ(newLog().find("MachineID :"), std::string::npos) << newLog();
}

TEST_F(MachineId, SecondRunReturnsTheSameIdAndLogsIt) {
  CMachineIDManager manager(&machine_->registry());
  std::wstring first, second;
  ASSERT_TRUE(manager.GetMachineID(first));
  ASSERT_TRUE(CMachineIDManager(&machine_->registry()).GetMachineID(second));
  EXPECT_EQ(first, second);
  const std::string log = newLog();
  EXPECT_NE(log.find(" : Info\tMachineID : " + std::string(first.begin(), first.end()) + "\n"),
            std::string::npos) << log;
}

TEST_F(MachineId, EmptyValueIsReplacedAndLogged) {
  ASSERT_EQ(writeValueAt(machine_->registry(), kHkeyLocalMachine, kKey, L"PreInstallMachineID",
                         REG_SZ, {}), 0);
  std::wstring id;
  ASSERT_TRUE(CMachineIDManager(&machine_->registry()).GetMachineID(id));
  expectGuidText(id);
  EXPECT_EQ(storedId(machine_->registry()), id);
  EXPECT_NE(newLog().find("MachineID : " + std::string(id.begin(), id.end())), std::string::npos);
}

TEST_F(MachineId, ValueTooLongForTheBufferIsReplaced) {
  const std::wstring fits(127, L'a');  // 254 bytes: fits the 255 announced
  std::vector<uint8_t> bytes = regSz(fits);
  bytes.resize(fits.size() * 2);
  ASSERT_EQ(writeValueAt(machine_->registry(), kHkeyLocalMachine, kKey, L"PreInstallMachineID",
                         REG_SZ, bytes), 0);
  std::wstring id;
  ASSERT_TRUE(CMachineIDManager(&machine_->registry()).GetMachineID(id));
  EXPECT_EQ(id, fits);

  const std::wstring tooLong(128, L'b');  // 256 bytes
  bytes = regSz(tooLong);
  bytes.resize(tooLong.size() * 2);
  ASSERT_EQ(writeValueAt(machine_->registry(), kHkeyLocalMachine, kKey, L"PreInstallMachineID",
                         REG_SZ, bytes), 0);
  ASSERT_TRUE(CMachineIDManager(&machine_->registry()).GetMachineID(id));
  expectGuidText(id);
  EXPECT_EQ(storedId(machine_->registry()), id);
}

TEST_F(MachineId, WithoutWriteRightsToHklmNoIdIsReturned) {
  // HKLM\SOFTWARE refuses new subkeys and value changes to everyone.
  RegKey software{};
  ASSERT_EQ(machine_->registry().openKey(kHkeyLocalMachine, L"SOFTWARE", 0,
                                         READ_CONTROL | WRITE_DAC, &software), 0);
  KeySecurity sd;
  ASSERT_EQ(machine_->registry().getKeySecurity(software, &sd), 0);
  ASSERT_EQ(mergeAclEntry(&sd, DENY_ACCESS, L"Everyone", KEY_CREATE_SUB_KEY | KEY_SET_VALUE,
                          CONTAINER_INHERIT_ACE), 0);
  ASSERT_EQ(machine_->registry().setKeySecurity(software, sd), 0);
  machine_->registry().closeKey(software);

  std::wstring id;
  EXPECT_FALSE(CMachineIDManager(&machine_->registry()).GetMachineID(id));
  const std::string log = newLog();
  EXPECT_NE(log.find(" : Error \tMachineID : Error creating the registry key\n"), std::string::npos)
      << log;
  EXPECT_EQ(log.find("MachineID : Failed"), std::string::npos);
  RegKey key{};
  EXPECT_EQ(machine_->registry().openKey(kHkeyLocalMachine, kKey, 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(MachineId, ExistingKeyWithoutWriteRightsIsNotReadEither) {
  std::wstring id;
  ASSERT_TRUE(CMachineIDManager(&machine_->registry()).GetMachineID(id));
  RegKey key{};
  ASSERT_EQ(machine_->registry().openKey(kHkeyLocalMachine, kKey, 0, READ_CONTROL | WRITE_DAC, &key), 0);
  KeySecurity sd;
  ASSERT_EQ(machine_->registry().getKeySecurity(key, &sd), 0);
  ASSERT_EQ(mergeAclEntry(&sd, DENY_ACCESS, L"Everyone", KEY_SET_VALUE, 0), 0);
  ASSERT_EQ(machine_->registry().setKeySecurity(key, sd), 0);
  machine_->registry().closeKey(key);
  logStart_ = logSize();
  std::wstring again;
  EXPECT_FALSE(CMachineIDManager(&machine_->registry()).GetMachineID(again));
  EXPECT_NE(newLog().find("MachineID : Error creating the registry key"), std::string::npos);
}

TEST_F(MachineId, ReadOnlyRegistryFailsTheSameWay) {
  const std::string root = machine_.root();
  std::unique_ptr<IMachine> readOnly;
  MachineOpenOptions options;
  options.readOnlyRegistry = true;
  ASSERT_EQ(openMachine(root, options, &readOnly), 0);
  std::wstring id;
  EXPECT_FALSE(CMachineIDManager(&readOnly->registry()).GetMachineID(id));
  EXPECT_NE(newLog().find("MachineID : Error creating the registry key"), std::string::npos);
}

TEST_F(MachineId, DefaultConstructorUsesTheProcessMachine) {
  std::wstring a, b;
  ASSERT_TRUE(CMachineIDManager().GetMachineID(a));
  ASSERT_TRUE(CMachineIDManager().GetMachineID(b));
  EXPECT_EQ(a, b);
  EXPECT_EQ(storedId(currentMachine()->registry()), a);
}

TEST_F(MachineId, GenerateIdGivesFreshGuids) {
  CMachineIDManager manager(&machine_->registry());
  std::wstring a, b;
  ASSERT_TRUE(manager.GenerateID(a));
  ASSERT_TRUE(manager.GenerateID(b));
  expectGuidText(a);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace zorel
