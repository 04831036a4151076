// `zorel ui` without a display, through the binary: the registration
// switches in both scopes, arguments that are no switch, the window-failure
// path and a machine without APPDATA.

#include <chrono>

#include "ui_process.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::testing {
namespace {

using Clock = std::chrono::steady_clock;
using Keys = std::vector<std::string>;

const Keys kAppId = {"AppID\\{C4917AA4-5A31-4570-9933-D91560815862}", "AppID\\ZorelBrowser.EXE"};

class UiHeadless : public UiTest {
 protected:
  int Ui(const std::vector<std::string>& args, std::string* err = nullptr) {
    std::vector<std::string> all{"ui"};
    all.insert(all.end(), args.begin(), args.end());
    return Zorel(all, err, {"DISPLAY", "WAYLAND_DISPLAY"});
  }
};

// Each step runs on the state the previous one left; whatever the switch,
// nothing of the class or type library outlasts the process in either scope.
TEST_F(UiHeadless, SwitchesLeaveOnlyTheApplicationIdInTheirScope) {
  const struct {
    std::vector<std::string> args;
    int code;
    Keys machineAppId;
    Keys userAppId;
  } steps[] = {
      {{"/RegServer"}, 0, kAppId, {}},
      {{"/x/unregserver"}, 2, kAppId, {}},              // a host path: no switch, nothing done
      {{"--offline", "-UNREGSERVER"}, 0, {}, {}},
      {{"-regserverperuser", "/UnregServer"}, 0, {}, kAppId},  // the first decides
      {{"/RegServer"}, 0, kAppId, kAppId},
      {{"/UnregServerPerUser"}, 0, kAppId, {}},
      {{"-UnregServer"}, 0, {}, {}},
      {{"-UnregServer"}, 0, {}, {}},                    // nothing left to remove
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(::testing::PrintToString(s.args));
    std::string err;
    EXPECT_EQ(Ui(s.args, &err), s.code) << err;
    if (s.code == 2) {
      EXPECT_NE(err.find("usage: zorel ui"), std::string::npos) << err;
    }
    EXPECT_EQ(AppIdKeys(true), s.machineAppId);
    EXPECT_EQ(AppIdKeys(false), s.userAppId);
    EXPECT_EQ(ClassKeys(true), Keys{});
    EXPECT_EQ(ClassKeys(false), Keys{});
  }
}

// No display (or a build without WebKitGTK): the window cannot be made, so the program says so and ends at
// once instead of idling with the lock; the next start is not refused.
TEST_F(UiHeadless, NoDisplayEndsAtOnceAndLeavesNothing) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string err;
    const auto start = Clock::now();
    EXPECT_EQ(Ui({"--offline"}, &err), 1);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(err.find("no window"), std::string::npos) << err;  // no display, or no WebKitGTK
    EXPECT_EQ(err.find("already running"), std::string::npos) << err;
    EXPECT_EQ(ClassKeys(true), Keys{});
  }
  EXPECT_NE(Log().find("The window could not be created"), std::string::npos) << Log();
}

TEST_F(UiHeadless, AMachineWithoutAppDataHasNoPage) {
  {
    std::unique_ptr<platform::IMachine> machine;
    ASSERT_EQ(platform::openMachine(root_, {}, &machine), 0);
    platform::RegKey key = platform::kRegNoKey;
    ASSERT_EQ(machine->registry().openKey(platform::kHkeyCurrentUser, L"Volatile Environment", 0,
                                          platform::KEY_SET_VALUE, &key), 0);
    EXPECT_EQ(machine->registry().deleteValue(key, L"APPDATA"), 0);
    machine->registry().closeKey(key);
  }
  std::string err;
  EXPECT_EQ(Ui({"--offline"}, &err), 1);
  EXPECT_NE(err.find("no application-data folder (APPDATA)"), std::string::npos) << err;
  EXPECT_EQ(ClassKeys(true), Keys{});
  // A switch needs no page.
  EXPECT_EQ(Ui({"/RegServer"}, &err), 0) << err;
  EXPECT_EQ(AppIdKeys(true), kAppId);
}

}  // namespace
}  // namespace zorel::testing
