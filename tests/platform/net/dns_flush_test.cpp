// Which host command flushes the resolver cache, and running it with a time
// limit.

#include "net/linux/dns_flush.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "zorel/platform/net/network.h"

namespace zorel::platform::detail {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;
using zorel::testing::ProcessGone;
using zorel::testing::ScopedVariable;

class DnsFlush : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-dnsflush-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A file `name` in folder `sub` (made when needed) with `mode`.
  std::string Tool(const std::string& sub, const std::string& name, mode_t mode) {
    fs::create_directories(dir_ + "/" + sub);
    const std::string path = dir_ + "/" + sub + "/" + name;
    std::ofstream(path) << "#!/bin/sh\nexit 0\n";
    ::chmod(path.c_str(), mode);
    return path;
  }

  std::string dir_;
};

TEST_F(DnsFlush, CommandFollowsTheVariableThenThePath) {
  const std::string resolvectl = Tool("both", "resolvectl", 0755);
  const std::string nscd = Tool("both", "nscd", 0755);
  const std::string nscdOnly = Tool("nscd", "nscd", 0755);
  Tool("plain", "resolvectl", 0644);  // not executable: not a candidate
  Tool("plain", "nscd", 0644);
  fs::create_directories(dir_ + "/plain/nscd.d");

  struct Case {
    const char* what;
    std::optional<std::string> variable;
    std::string path;
    Strings command;
  };
  const Case cases[] = {
      {"the variable is a shell command", "echo 'a b' >/dev/null", dir_ + "/both",
       {"/bin/sh", "-c", "echo 'a b' >/dev/null"}},
      {"set but empty: no flush, whatever is on the path", "", dir_ + "/both", {}},
      {"unset: resolvectl first", std::nullopt, dir_ + "/plain:" + dir_ + "/both",
       {resolvectl, "flush-caches"}},
      {"unset: nscd without resolvectl", std::nullopt, ":" + dir_ + "/nscd", {nscdOnly, "-i", "hosts"}},
      {"unset: neither", std::nullopt, dir_ + "/plain:" + dir_ + "/none", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedVariable flush("ZOREL_DNS_FLUSH", c.variable);
    ScopedVariable path("PATH", c.path);
    EXPECT_EQ(dnsFlushCommand(), c.command);
    EXPECT_EQ(hostNetwork()->findDnsFlushResolverCache(),
              c.command.empty() ? DnsFlushExport::FunctionMissing : DnsFlushExport::Present);
  }
}

TEST_F(DnsFlush, OnlyExitStatusZeroInTimeCounts) {
  struct Case {
    const char* what;
    Strings argv;
    bool flushed;
  };
  const Case cases[] = {
      {"exit 0", {"/bin/sh", "-c", "exit 0"}, true},
      {"exit 3", {"/bin/sh", "-c", "exit 3"}, false},
      {"killed by a signal", {"/bin/sh", "-c", "kill -9 $$"}, false},
      {"no such program", {dir_ + "/missing"}, false},
      {"nothing to run", {}, false},
      // Its streams are /dev/null: reading gives end of file at once.
      {"reads its input", {"/bin/sh", "-c", "read line; test -z \"$line\""}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(runWithTimeLimit(c.argv, 5000), c.flushed);
  }
}

TEST_F(DnsFlush, ACommandPastItsLimitIsKilledWithWhatItStarted) {
  const std::string pidFile = dir_ + "/pids";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(runWithTimeLimit(
      {"/bin/sh", "-c", "sleep 30 & echo $$ $! > '" + pidFile + "'; wait"}, 300));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));

  std::ifstream in(pidFile);
  pid_t shell = 0, sleeper = 0;
  ASSERT_TRUE(in >> shell >> sleeper);
  // The shell was collected before the return; the sleep it started, now
  // an orphan, is gone or a zombie awaiting its new parent.
  EXPECT_TRUE(ProcessGone(shell));
  EXPECT_TRUE(ProcessGone(sleeper));
}

}  // namespace
}  // namespace zorel::platform::detail
