// What a new user meets before any check runs: the command list, each
// command's --help, and the one-line explanations of a bridge waiting at a
// terminal and of an empty file given to seal.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "../session/bridge_process.h"

namespace zorel::testing {
namespace {

using ::testing::StartsWith;

using Usage = BridgeTest;

CommandRun Zorel(const std::string& base, const std::string& args) {
  const std::string errFile = base + "/err.txt";
  return RunCommand("ZOREL_MACHINE='" + base + "/machine' " ZOREL_BINARY_DIR "/src/cli/zorel " + args + " 2>'" +
                        errFile + "' </dev/null",
                    errFile);
}

TEST_F(Usage, EveryCommandIsListedAlignedAndHasItsOwnHelp) {
  const CommandRun list = Zorel(base_, "--help");
  ASSERT_EQ(list.status, 0);
  size_t column = 0;
  for (const char* name : {"seal", "unseal", "machine", "check", "bridge", "ui", "matrix"}) {
    SCOPED_TRACE(name);
    const size_t at = list.out.find(std::string("\n  ") + name + " ");
    ASSERT_NE(at, std::string::npos) << list.out;
    // The options start in one column for every command.
    const size_t options = list.out.find_first_not_of(' ', at + 3 + std::string(name).size()) - (at + 1);
    if (column == 0) column = options;
    EXPECT_EQ(options, column) << list.out;

    for (const std::string& ask : {std::string(name) + " --help", std::string(name) + " -h", "help " + std::string(name)}) {
      const CommandRun help = Zorel(base_, ask);
      EXPECT_EQ(help.status, 0) << ask;
      EXPECT_THAT(help.out, StartsWith(std::string("usage: zorel ") + name + " ")) << ask;
      EXPECT_EQ(help.err, "") << ask;
    }
  }
  EXPECT_EQ(list.out.find("worker"), std::string::npos);  // internal
}

TEST_F(Usage, SealingAnEmptyFileSaysWhy) {
  std::ofstream(base_ + "/empty").flush();
  const CommandRun r = Zorel(base_, "seal '" + base_ + "/empty' '" + base_ + "/out.enc'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zorel seal: '" + base_ + "/empty' is empty: a sealed container holds at least one byte (result 6000)\n");
  EXPECT_FALSE(std::ifstream(base_ + "/out.enc").good());
}

TEST_F(Usage, BridgeAtATerminalSaysWhatItReads) {
  // script(1) gives the bridge a terminal as its standard input.
  const std::string bridge = "ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR "/src/cli/zorel bridge --offline";
  const std::string errFile = base_ + "/bridge-err.txt";
  const CommandRun atTerminal =
      RunCommand("script -qec \"" + bridge + " 2>'" + errFile + "'\" /dev/null </dev/null", errFile);
  EXPECT_THAT(atTerminal.err, StartsWith("zorel bridge: reading UI requests, one JSON text per line"));
  EXPECT_EQ(std::count(atTerminal.err.begin(), atTerminal.err.end(), '\n'), 1);
  // A front end on a pipe gets no greeting.
  EXPECT_EQ(RunCommand(bridge + " 2>'" + errFile + "' </dev/null", errFile).err, "");
}

}  // namespace
}  // namespace zorel::testing
