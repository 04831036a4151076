// The Network object through `zorel check --script` on a fresh machine:
// echoes to loopback only, bad input, and each ClearDnsCache outcome as the
// host variable ZOREL_DNS_FLUSH (or the host's PATH) chooses it.

#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "../../platform/net/host_test_support.h"
#include "check_cli_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/net/network.h"

namespace {

namespace fs = std::filesystem;
using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::ProcessGone;
using zorel::testing::Rows;
using zorel::testing::ScopedVariable;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Script(const std::string& name) {
  return std::string(ZOREL_SOURCE_DIR) + "/tests/plugins/network/scripts/" + name;
}

// Whether this process may open an ICMP socket, as the run will.
bool IcmpAllowed() {
  std::unique_ptr<zorel::platform::IIcmpHandle> handle;
  return zorel::platform::hostNetwork()->icmpCreateFile(zorel::platform::WS_AF_INET, handle) !=
         zorel::platform::ERROR_ACCESS_DENIED;
}

// What the host's resolver answers for `name`, as a Windows code.
int32_t ResolverCode(const std::string& name) {
  std::vector<zorel::platform::AddrInfo> found;
  return zorel::platform::hostNetwork()->getAddrInfo(
      name, {zorel::platform::WS_AF_UNSPEC, zorel::platform::WS_SOCK_STREAM, 6}, found);
}

// The system's text for `code`, line end included.
std::string Message(int32_t code) {
  return zorel::toUtf8(zorel::platform::systemErrorMessage(static_cast<uint32_t>(code)));
}

class NetworkScripts : public CheckCli {
 protected:
  // Runs `script` (of scripts/, or a path) into store folder `store`.
  CheckRun Run(const std::string& script, const std::string& store = "store") {
    store_ = base_ + "/" + store;
    const std::string path = script.front() == '/' ? script : Script(script);
    CheckRun run = Check("--script '" + path + "' --store '" + store_ + "' --stages 101");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return run;
  }

  // The answer the script kept under `label`.
  Json::Value Answer(const std::string& label) const {
    const Rows rows = Query("select DESCRIPTION from PROBLEM_TABLE where NAME = '" + label + "'");
    Json::Value value;
    if (rows.size() != 1) {
      ADD_FAILURE() << "no answer kept as " << label;
      return value;
    }
    std::istringstream in(rows[0][0]);
    std::string errors;
    if (rows[0][0] != "(empty)" && !Json::parseFromStream(Json::CharReaderBuilder(), in, &value, &errors))
      value = rows[0][0];
    return value;
  }
};

TEST_F(NetworkScripts, LoopbackEchoesAndBadInput) {
  const bool icmp = IcmpAllowed();
  Run("network_cases.js");
  const std::string log = Log();
  const std::string longName = [] {
    std::string s;
    while (s.size() < 300) s += "abcdefghij";
    return s;
  }();

  // Each loopback form answers; neither "status" nor "return" is set.
  for (const char* label : {"reach.ipv4", "reach.localhost", "reach.ipv6"}) {
    SCOPED_TRACE(label);
    const Json::Value answer = Answer(label);
    EXPECT_EQ(answer["errorcode"].asInt(), icmp ? 0 : 5);
    EXPECT_FALSE(answer["status"].asBool());
    EXPECT_FALSE(answer["return"].asBool());
  }
  // Names the resolver refuses end there with its code: nothing is sent.
  const int32_t longCode = ResolverCode(longName);
  const int32_t blanksCode = ResolverCode("exa mple host");
  EXPECT_NE(longCode, 0);
  EXPECT_NE(blanksCode, 0);
  EXPECT_EQ(Answer("reach.long")["errorcode"].asInt(), longCode);
  EXPECT_EQ(Answer("reach.blanks")["errorcode"].asInt(), blanksCode);
  EXPECT_EQ(Answer("reach.none")["errorcode"].asInt(), 87);
  EXPECT_EQ(Answer("reach.empty")["errorcode"].asInt(), 87);

  const std::string ok = icmp ? "0" : "5";
  // The host's own name lookups: "No such host is known." for both here.
  EXPECT_EQ(Message(11001), "No such host is known.\r\n");
  const Rows rows = Query(
      "select INPUT_DETAILS, OPERATION_TYPE, COMPONENT_NAME, EXECUTION_STATUS, ERROR_CODE, "
      "ERROR_STRING from OPERATION_TABLE where API_NAME = 'Network::IsServerReachable' order by "
      "rowid");
  const std::string okStatus = icmp ? "1" : "0";
  const std::string okString = icmp ? "" : "Access is denied.\r\n";
  EXPECT_EQ(rows, (Rows{
                      {R"({"serveraddress":"127.0.0.1"})", "0", "Network", okStatus, ok, okString},
                      {R"({"serveraddress":"localhost"})", "0", "Network", okStatus, ok, okString},
                      {R"({"serveraddress":"::1"})", "0", "Network", okStatus, ok, okString},
                      {R"({"serveraddress":")" + longName + R"("})", "0", "Network", "0",
                       std::to_string(longCode), Message(longCode)},
                      {R"({"serveraddress":"exa mple host"})", "0", "Network", "0",
                       std::to_string(blanksCode), Message(blanksCode)},
                      {"{}", "0", "Network", "0", "87", "The parameter is incorrect.\r\n"},
                      {"{}", "0", "Network", "0", "87", "The parameter is incorrect.\r\n"},
                  }));
  EXPECT_TRUE(Contains(log, "Error \tFailed to get address information.")) << log;
  EXPECT_TRUE(Contains(log, "Error \tInvalid Parameters."));
  EXPECT_TRUE(Contains(log, "Error \tParameter can't be empty"));
  EXPECT_FALSE(Contains(log, "Unable to get the response."));
  if (!icmp)
    GTEST_SKIP() << "echoes answered 5: neither a datagram ICMP socket "
                    "(net.ipv4.ping_group_range) nor a raw one (root) may be opened here";
}

TEST_F(NetworkScripts, ClearDnsCacheFollowsTheHostFlush) {
  // Stand-ins for the host's resolver tools, which note how they were run.
  const std::string tools = base_ + "/tools";
  fs::create_directories(tools + "/resolved");
  fs::create_directories(tools + "/nscd");
  const std::string calls = base_ + "/calls";
  for (const char* tool : {"resolved/resolvectl", "nscd/nscd"}) {
    const std::string path = tools + "/" + tool;
    std::ofstream(path) << "#!/bin/sh\necho \"$0 $*\" >> '" << calls << "'\n";
    ::chmod(path.c_str(), 0755);
  }

  struct Case {
    const char* what;
    std::optional<std::string> variable;
    std::string path;
    int32_t code;
    const char* logLine;  // null: none
    std::string called;   // what the stand-ins noted
  };
  const Case cases[] = {
      {"a command that succeeds", "exit 0", "/usr/bin:/bin", 0, nullptr, ""},
      {"a command that fails", "echo failing >&2; exit 1", "/usr/bin:/bin", 20031,
       "Error \tFailed to clear cache.", ""},
      {"set but empty: no flush", "", tools + "/resolved", 20016,
       "Error \tFailed to get function address.", ""},
      {"unset: resolvectl on the path", std::nullopt, tools + "/resolved:" + tools + "/nscd:/bin",
       0, nullptr, tools + "/resolved/resolvectl flush-caches\n"},
      {"unset: nscd on the path", std::nullopt, tools + "/nscd:/bin", 0, nullptr,
       tools + "/nscd/nscd -i hosts\n"},
      {"unset: neither", std::nullopt, tools + "/none", 20016,
       "Error \tFailed to get function address.", ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(calls);
    CheckRun run;
    {
      ScopedVariable flush("ZOREL_DNS_FLUSH", c.variable);
      ScopedVariable path("PATH", c.path);
      run = Run("network_flush.js", "store" + std::to_string(++n));
    }
    const Json::Value answer = Answer("flush");
    EXPECT_EQ(answer["errorcode"].asInt(), c.code);
    EXPECT_EQ(answer["return"].asBool(), c.code == 0);
    const Rows rows = Query(
        "select INPUT_DETAILS, ERROR_CODE, ERROR_STRING from OPERATION_TABLE where API_NAME = "
        "'Network::ClearDnsCache'");
    const std::string message =
        c.code == 0 ? "" : c.code == 20031 ? "Failed to clear the cache" : "API failed";
    EXPECT_EQ(rows, (Rows{{"{}", std::to_string(c.code), message}}));
    std::ifstream noted(calls);
    std::stringstream text;
    text << noted.rdbuf();
    EXPECT_EQ(text.str(), c.called);
    // The command's own output goes nowhere.
    EXPECT_FALSE(Contains(run.out + run.err, "failing"));
    const std::string log = Log();
    if (c.logLine) {
      EXPECT_TRUE(Contains(log, c.logLine)) << log;
    }
  }
}

TEST_F(NetworkScripts, AFlushRunningPastTenSecondsIsKilled) {
  const std::string pids = base_ + "/pids";
  const auto start = std::chrono::steady_clock::now();
  {
    ScopedVariable flush("ZOREL_DNS_FLUSH", "sleep 60 & echo $$ $! > '" + pids + "'; wait");
    Run("network_flush.js");
  }
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::seconds(10));
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_EQ(Answer("flush")["errorcode"].asInt(), 20031);
  EXPECT_TRUE(Contains(Log(), "Error \tFailed to clear cache."));
  std::ifstream in(pids);
  pid_t shell = 0, sleeper = 0;
  ASSERT_TRUE(in >> shell >> sleeper);
  EXPECT_TRUE(ProcessGone(shell));
  EXPECT_TRUE(ProcessGone(sleeper));
}

TEST_F(NetworkScripts, ExampleScriptRuns) {
  const bool icmp = IcmpAllowed();
  ScopedVariable flush("ZOREL_DNS_FLUSH", "exit 0");
  const CheckRun run = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/network.js' --store '" +
                             store_ + "' --stages 101,102");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Query("select API_NAME, ERROR_CODE from OPERATION_TABLE where API_NAME like "
                  "'Network::%' order by rowid"),
            (Rows{{"Network::IsServerReachable", icmp ? "0" : "5"},
                  {"Network::IsServerReachable", icmp ? "0" : "5"},
                  {"Network::IsServerReachable", icmp ? "0" : "5"},
                  {"Network::ClearDnsCache", "0"}}));
  EXPECT_EQ(Query("select PROBLEM_ID, STAGE_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, "
                  "STAGE_ID"),
            (Rows{{"1", "101", icmp ? "1" : "4"}, {"2", "101", "3"}, {"2", "102", "1"}}));
}

}  // namespace
