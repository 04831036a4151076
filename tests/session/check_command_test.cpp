// `zorel check` through the session controller: the machine's own sealed
// script and --sealed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "bridge_process.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

using CheckThroughController = BridgeTest;

CommandRun RunCheck(const std::string& root, const std::string& args) {
  return RunCommand("ZOREL_MACHINE='" + root + "' " ZOREL_BINARY_DIR "/src/cli/zorel check " + args + " 2>/dev/null");
}

TEST_F(CheckThroughController, FreshMachineRunsItsSealedSampleAndPacksTheResults) {
  const CommandRun run = RunCheck(root_, "--offline");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_THAT(run.out, HasSubstr("[  0%] stage 100: Minimum system requirements"));
  EXPECT_THAT(run.out, HasSubstr("Packaging the results"));
  EXPECT_THAT(run.out, HasSubstr("Problems:\n  1 Minimum system requirements"));
  const std::string data = root_ + "/drive_c/Users/User/AppData/Roaming/prynesecurity/zorel";
  EXPECT_TRUE(fs::exists(data + "/Resource/Scripts/preinstall.enc"));
  EXPECT_TRUE(fs::exists(data + "/db.cab"));
  // The database went into db.cab and was unpacked beside it again.
  EXPECT_TRUE(fs::exists(data + "/ResultStore.db"));
  const std::string list = "cabextract -l '" + data + "/db.cab' | grep -q ResultStore.db";
  EXPECT_EQ(std::system(list.c_str()), 0);
}

TEST_F(CheckThroughController, SealedOptionAndUnsealableScript) {
  CommandRun run = RunCheck(root_, "--offline --sealed '" + Sealed("basic.js") + "' --store '" + store_ +
                                "' --stages 100,101 --json");
  ASSERT_EQ(run.status, 0);
  EXPECT_THAT(run.out, HasSubstr("\"problemid\" : 3"));
  EXPECT_FALSE(fs::exists(store_ + "/db.cab"));  // no 102, no packaging

  run = RunCheck(root_, "--offline --sealed '" ZOREL_SOURCE_DIR "/tests/session/data/basic.js' --store '" +
                            store_ + "'");
  EXPECT_EQ(run.status, 2);
  run = RunCheck(root_, "--offline --sealed '" + base_ + "/none.enc'");
  EXPECT_EQ(run.status, 2);
}

}  // namespace
}  // namespace zorel::testing
