// What a new user meets before any check runs: the command list, each
// command's --help, and the one-line explanations of a bridge waiting at a
// terminal and of an empty file given to seal.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../session/bridge_process.h"

namespace zorel::testing {
namespace {

using ::testing::HasSubstr;
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
  for (const char* name : {"seal", "unseal", "machine", "check", "bridge"}) {
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
  EXPECT_EQ(r.err, "zorel seal: '" + base_ + "/empty' is empty: a sealed container holds at least one byte\n");
  EXPECT_FALSE(std::ifstream(base_ + "/out.enc").good());
}

// Standard error of `zorel bridge --offline` with its standard input on a
// terminal or on an empty pipe.
std::string BridgeGreeting(const std::string& base, bool terminal) {
  const std::string errFile = base + "/bridge-err.txt";
  int master = -1, slave = -1;
  if (terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "no terminal";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("ZOREL_MACHINE", (base + "/machine").c_str(), 1);
    ::dup2(terminal ? slave : ::open("/dev/null", O_RDONLY), 0);
    ::dup2(::open("/dev/null", O_WRONLY), 1);
    ::dup2(::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
    ::execl(ZOREL_BINARY_DIR "/src/cli/zorel", "zorel", "bridge", "--offline", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::string text;
  for (int i = 0; i < 500 && text.find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(errFile);
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
    if (!terminal && ::waitpid(pid, nullptr, WNOHANG) == pid) return text;
  }
  if (terminal) {
    ::close(slave);
    ::close(master);  // the bridge reads the end of its input
  }
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  return text;
}

TEST_F(Usage, BridgeAtATerminalSaysWhatItReads) {
  const std::string said = BridgeGreeting(base_, true);
  EXPECT_THAT(said, StartsWith("zorel bridge: reading UI requests, one JSON text per line"));
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
  EXPECT_EQ(BridgeGreeting(base_, false), "");  // a front end on a pipe gets no greeting
}

}  // namespace
}  // namespace zorel::testing
