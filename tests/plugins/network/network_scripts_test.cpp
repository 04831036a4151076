// The Network object through `zorel check --script` on a fresh machine:
// loopback echoes, bad input, and each ClearDnsCache outcome as the host
// variable ZOREL_DNS_FLUSH (or, unset, the host's PATH) chooses the flush.

#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "check_cli_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/net/network.h"

namespace {

using namespace zorel::platform;
using zorel::testing::Rows;
using Environment = std::vector<std::pair<const char*, std::optional<std::string>>>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}
std::string Message(int32_t code) { return zorel::toUtf8(systemErrorMessage(code)); }

// True once `pid` has ended (gone, or a zombie awaiting its parent).
bool Gone(int pid) {
  for (int i = 0; i < 100; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    if (!(stat >> number >> name >> state) || state == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class NetworkScripts : public zorel::testing::CheckCli {
 protected:
  // Runs scripts/<name>, or the script at path `name`, into a new store with
  // this process's variables changed as `environment` says (nullopt unsets)
  // for the run.
  void Run(const std::string& name, const Environment& environment = {},
           const std::string& stages = "101") {
    Environment saved;
    for (const auto& [variable, value] : environment) {
      const char* old = ::getenv(variable);
      saved.emplace_back(variable, old ? std::optional<std::string>(old) : std::nullopt);
      value ? ::setenv(variable, value->c_str(), 1) : ::unsetenv(variable);
    }
    store_ = base_ + "/store" + std::to_string(++runs_);
    const std::string script =
        name[0] == '/' ? name : ZOREL_SOURCE_DIR "/tests/plugins/network/scripts/" + name;
    const auto run = Check("--script '" + script + "' --store '" + store_ + "' --stages " + stages);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    for (const auto& [variable, value] : saved)
      value ? ::setenv(variable, value->c_str(), 1) : ::unsetenv(variable);
  }
  // The answer the script kept as problem `label`.
  Json::Value Answer(const std::string& label) {
    const Rows rows = Query("select DESCRIPTION from PROBLEM_TABLE where NAME = '" + label + "'");
    Json::Value value;
    std::istringstream in(rows.empty() ? "" : rows[0][0]);
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors)) << label;
    return value;
  }
  int runs_ = 0;
};

TEST_F(NetworkScripts, LoopbackAndBadInput) {
  std::unique_ptr<IIcmpHandle> handle;
  const bool icmp = hostNetwork()->icmpCreateFile(WS_AF_INET, handle) != ERROR_ACCESS_DENIED;
  Run("network_cases.js");
  // Names the resolver refuses: its code, and no echo.
  std::vector<AddrInfo> found;
  const std::string longName(300, 'a');
  const int32_t longCode = hostNetwork()->getAddrInfo(longName, {0, 1, 6}, found);
  const int32_t blanksCode = hostNetwork()->getAddrInfo("exa mple host", {0, 1, 6}, found);
  EXPECT_NE(longCode, 0);
  EXPECT_NE(blanksCode, 0);
  for (const char* label : {"127.0.0.1", "localhost", "::1"}) {
    const Json::Value answer = Answer(label);
    EXPECT_EQ(answer["errorcode"].asInt(), icmp ? 0 : 5) << label;
    EXPECT_FALSE(answer["status"].asBool() || answer["return"].asBool()) << label;
  }
  const std::string ok = icmp ? "0" : "5", okText = icmp ? "" : Message(5);
  EXPECT_EQ(Query("select INPUT_DETAILS, OPERATION_TYPE, COMPONENT_NAME, ERROR_CODE, ERROR_STRING "
                  "from OPERATION_TABLE order by rowid"),
            (Rows{{R"({"serveraddress":"127.0.0.1"})", "0", "Network", ok, okText},
                  {R"({"serveraddress":"localhost"})", "0", "Network", ok, okText},
                  {R"({"serveraddress":"::1"})", "0", "Network", ok, okText},
                  {R"({"serveraddress":")" + longName + "\"}", "0", "Network",
                   std::to_string(longCode), Message(longCode)},
                  {R"({"serveraddress":"exa mple host"})", "0", "Network",
                   std::to_string(blanksCode), Message(blanksCode)},
                  {"{}", "0", "Network", "87", Message(87)},
                  {"{}", "0", "Network", "87", Message(87)}}));
  EXPECT_EQ(Message(11001), "No such host is known.\r\n");
  const std::string log = Log();
  for (const char* line :
       {"Failed to get address information.", "Invalid Parameters.", "Parameter can't be empty"})
    EXPECT_TRUE(Contains(log, std::string("Error \t") + line)) << line;
  EXPECT_FALSE(Contains(log, "Unable to get the response."));
  if (!icmp)
    GTEST_SKIP() << "echoes answered 5: neither a datagram ICMP socket "
                    "(net.ipv4.ping_group_range) nor a raw one (root) may be opened here";
}

TEST_F(NetworkScripts, ClearDnsCacheFollowsTheHostFlush) {
  // Stand-ins for the host's resolver tools; each notes how it was run.
  const std::string tools = base_ + "/tools", calls = base_ + "/calls";
  for (const char* tool : {"/r/resolvectl", "/n/nscd"}) {
    std::filesystem::create_directories(std::filesystem::path(tools + tool).parent_path());
    std::ofstream(tools + tool) << "#!/bin/sh\necho \"$0 $*\" >> '" << calls << "'\n";
    ::chmod((tools + tool).c_str(), 0755);
  }
  const std::string r = tools + "/r", n = tools + "/n";
  const Environment unset = {{"ZOREL_DNS_FLUSH", std::nullopt}};
  auto with = [](Environment e, const std::string& path) {
    e.emplace_back("PATH", path);
    return e;
  };
  const char* failed[] = {"Failed to clear the cache", "Failed to clear cache."};
  const char* missing[] = {"API failed", "Failed to get function address."};
  struct Case {
    Environment environment;
    int32_t code;
    const char** texts;  // ERROR_STRING and log line; null for success
    std::string called;  // what the stand-ins noted
  } cases[] = {
      {{{"ZOREL_DNS_FLUSH", "exit 0"}}, 0, nullptr, ""},
      {{{"ZOREL_DNS_FLUSH", "echo loud; exit 1"}}, 20031, failed, ""},
      {with({{"ZOREL_DNS_FLUSH", ""}}, r), 20016, missing, ""},  // set but empty: no flush
      {with(unset, r + ":" + n), 0, nullptr, r + "/resolvectl flush-caches\n"},
      {with(unset, n), 0, nullptr, n + "/nscd -i hosts\n"},
      {with(unset, tools), 20016, missing, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    std::filesystem::remove(calls);
    Run("network_flush.js", c.environment);
    EXPECT_EQ(Answer("flush")["errorcode"].asInt(), c.code);
    EXPECT_EQ(Answer("flush")["return"].asBool(), c.code == 0);
    EXPECT_EQ(Query("select INPUT_DETAILS, ERROR_STRING from OPERATION_TABLE"),
              (Rows{{"{}", c.texts ? c.texts[0] : ""}}));
    std::stringstream noted;
    noted << std::ifstream(calls).rdbuf();
    EXPECT_EQ(noted.str(), c.called);
    if (c.texts) {
      EXPECT_TRUE(Contains(Log(), std::string("Error \t") + c.texts[1]));
    }
  }
}

TEST_F(NetworkScripts, AFlushPastTenSecondsIsKilledWithWhatItStarted) {
  const std::string pids = base_ + "/pids";
  const auto start = std::chrono::steady_clock::now();
  Run("network_flush.js", {{"ZOREL_DNS_FLUSH", "sleep 60 & echo $$ $! > '" + pids + "'; wait"}});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(10));
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_EQ(Answer("flush")["errorcode"].asInt(), 20031);
  int shell = 0, sleeper = 0;
  ASSERT_TRUE(std::ifstream(pids) >> shell >> sleeper);
  EXPECT_TRUE(Gone(shell));
  EXPECT_TRUE(Gone(sleeper));
}

TEST_F(NetworkScripts, ExampleRunsEveryMethod) {
  std::unique_ptr<IIcmpHandle> handle;
  const std::string ok =
      hostNetwork()->icmpCreateFile(WS_AF_INET, handle) != ERROR_ACCESS_DENIED ? "0" : "5";
  Run(ZOREL_SOURCE_DIR "/examples/checks/network.js", {{"ZOREL_DNS_FLUSH", "exit 0"}}, "101,102");
  EXPECT_EQ(Query("select API_NAME, ERROR_CODE from OPERATION_TABLE order by rowid"),
            (Rows{{"Network::IsServerReachable", ok},
                  {"Network::IsServerReachable", ok},
                  {"Network::IsServerReachable", ok},
                  {"Network::ClearDnsCache", "0"}}));
  EXPECT_EQ(Query("select STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
            (Rows{{ok == "0" ? "1" : "4"}, {"3"}, {"1"}}));
}

}  // namespace
