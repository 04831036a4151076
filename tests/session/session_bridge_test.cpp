// The session controller through `zorel bridge` as a real process: runs,
// refusals, cancels and the worker process behind the framework.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "bridge_process.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kAllStages = BridgeTest::StartRequest({{100, "[]"}, {101, "[]"}, {102, "[]"}});

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<int> ProblemIds(const Json::Value& result) {
  std::vector<int> ids;
  for (const Json::Value& p : result["result"]["problems"]) ids.push_back(p["problemid"].asInt());
  return ids;
}

using SessionBridge = BridgeTest;

TEST_F(SessionBridge, OfflineRunWithRemediationPackagesAndEndsAt95Then100) {
  auto bridge = Bridge("basic.js");
  const Json::Value start = bridge->RequestJson(kAllStages);
  EXPECT_TRUE(start["status"].asBool());
  EXPECT_EQ(start["progress"]["stageId"].asInt(), -1);  // a start response carries fresh values
  const std::vector<Progress> seen = WaitForEnd(*bridge);
  ASSERT_TRUE(seen.back().status);
  EXPECT_EQ(seen.back().percentage, 100);
  EXPECT_EQ(seen.back().message, "$GEN1001$");  // packaging happened before the end
  for (const Progress& p : seen) {
    EXPECT_TRUE(p.percentage <= 95 || p.percentage == 100) << p.percentage;  // no 97 or 99 offline
  }
  EXPECT_TRUE(fs::exists(store_ + "/db.cab"));
  EXPECT_FALSE(fs::exists(store_ + "/ResultStore.db"));  // it lives in db.cab now

  const Json::Value result = bridge->RequestJson(R"({"operationid":2})");
  EXPECT_EQ(ProblemIds(result), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(result["session"]["sessionid"].asInt(), -1);
  EXPECT_EQ(bridge->Finish(), 0);
  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr("Initializing the scan operations"));
  EXPECT_THAT(log, Not(HasSubstr("SessionID")));  // offline: no session asked for
}

TEST_F(SessionBridge, SecondStartWhileRunningIsRefusedAndResetsProgress) {
  auto bridge = Bridge("slow.js");
  ASSERT_TRUE(bridge->RequestJson(StartRequest({{100, "[]"}, {101, "[]"}}))["status"].asBool());
  // Wait for the framework's first update (stage 100 has begun its 1.5 s).
  Progress p;
  for (int i = 0; i < 500 && p.stageId != 100; ++i) {
    p = ReadProgress(*bridge);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(p.stageId, 100);
  const Json::Value second = bridge->RequestJson(StartRequest({{100, "[]"}}));
  EXPECT_FALSE(second["status"].asBool());
  EXPECT_EQ(second["errorcode"].asInt(), 1000);
  p = ReadProgress(*bridge);
  EXPECT_TRUE(p.status);
  EXPECT_EQ(p.stageId, 0);
  EXPECT_EQ(p.percentage, 0);
  EXPECT_EQ(p.message, "$GEN1000$");
  // The first run goes on to its end.
  const std::vector<Progress> seen = WaitForEnd(*bridge);
  EXPECT_TRUE(seen.back().status);
  EXPECT_EQ(seen.back().percentage, 100);
  EXPECT_EQ(ProblemIds(bridge->RequestJson(R"({"operationid":2})")), (std::vector<int>{1, 2}));
  bridge->Finish();
  EXPECT_EQ(Count(Log(), "Script execution is in running state"), 1u);
}

TEST_F(SessionBridge, RepeatedStageKeepsOnlyItsFirstEntry) {
  auto bridge = Bridge("basic.js");
  bridge->Request(StartRequest({{100, "[]"}, {101, "[2]"}, {101, "[3]"}}));
  ASSERT_EQ(WaitForEnd(*bridge).back().percentage, 100);
  EXPECT_EQ(ProblemIds(bridge->RequestJson(R"({"operationid":2})")), (std::vector<int>{1, 2}));
}

TEST_F(SessionBridge, FirstRunWithoutHealthStageFindsNoFramework) {
  auto bridge = Bridge("basic.js");
  EXPECT_TRUE(bridge->RequestJson(StartRequest({{101, "[]"}}))["status"].asBool());
  const Progress end = WaitForEnd(*bridge).back();
  EXPECT_FALSE(end.status);
  EXPECT_EQ(end.errorCode, 1000);
  bridge->Finish();
  EXPECT_THAT(Log(), HasSubstr("Failed to initialize the framework"));
  EXPECT_FALSE(fs::exists(store_ + "/ResultStore.db"));
}

TEST_F(SessionBridge, LaterRunWithoutHealthStageReusesTheFramework) {
  auto bridge = Bridge("basic.js");
  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}}));
  ASSERT_EQ(WaitForEnd(*bridge).back().percentage, 100);
  bridge->Request(StartRequest({{101, "[3]"}}));
  const Progress end = WaitForEnd(*bridge).back();
  EXPECT_TRUE(end.status);
  EXPECT_EQ(end.percentage, 100);
  EXPECT_EQ(ProblemIds(bridge->RequestJson(R"({"operationid":2})")), (std::vector<int>{3}));
}

TEST_F(SessionBridge, CancelWithoutAnyRunAnswersTrueAndDoesNothing) {
  auto bridge = Bridge("basic.js");
  const Json::Value r = bridge->RequestJson(R"({"operationid":3})");
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  const Progress p = ReadProgress(*bridge);
  EXPECT_TRUE(p.status);
  EXPECT_EQ(p.stageId, -1);  // the record is untouched
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_THAT(Log(), Not(HasSubstr("Initializing the scan operations")));
  EXPECT_FALSE(fs::exists(store_ + "/ResultStore.db"));
}

TEST_F(SessionBridge, ResultStoreThatCannotBeDeletedLeavesTheFrameworkNotReady) {
  // A folder in the database's place: DeleteFileW refuses it.
  fs::create_directories(store_ + "/ResultStore.db/inside");
  auto bridge = Bridge("basic.js");
  bridge->Request(kAllStages);
  const Progress end = WaitForEnd(*bridge).back();
  EXPECT_FALSE(end.status);
  EXPECT_EQ(end.errorCode, 1000);
  EXPECT_TRUE(fs::is_directory(store_ + "/ResultStore.db/inside"));
  bridge->Finish();
  EXPECT_THAT(Log(), HasSubstr("Failed to initialize the framework"));
}

TEST_F(SessionBridge, MachineWithoutAppDataDeletesAndWritesNothing) {
  const std::string machine = "ZOREL_MACHINE='" + root_ + "' ";
  ASSERT_EQ(std::system((machine + ZOREL_BINARY_DIR "/src/cli/zorel machine init >/dev/null").c_str()), 0);
  ASSERT_EQ(std::system((machine + ZOREL_BINARY_DIR "/tools/wintools/zorel-wintools reg delete "
                                   "'HKCU\\Volatile Environment' /v APPDATA /f >/dev/null")
                            .c_str()),
            0);
  // The bridge runs in a folder holding a previous run's names; the host's
  // root is where an empty folder would have led through Z:\.
  const std::string cwd = base_ + "/cwd";
  fs::create_directories(cwd);
  for (const char* name : {"ResultStore.db", "db.cab"}) std::ofstream(cwd + "/" + name) << "marker";
  std::set<std::string> rootBefore;
  for (const auto& e : fs::directory_iterator("/")) rootBefore.insert(e.path().filename());

  BridgeProcess bridge(root_, {"--offline", "--sealed", Sealed("basic.js")}, base_ + "/stderr.txt", {}, cwd);
  EXPECT_TRUE(bridge.RequestJson(kAllStages)["status"].asBool());
  const Progress end = WaitForEnd(bridge).back();
  EXPECT_FALSE(end.status);
  EXPECT_EQ(end.errorCode, 1000);
  EXPECT_EQ(bridge.Finish(), 0);

  for (const char* name : {"ResultStore.db", "db.cab"}) {
    std::ifstream in(cwd + "/" + name);
    std::string text;
    in >> text;
    EXPECT_EQ(text, "marker") << name;
  }
  std::set<std::string> rootAfter;
  for (const auto& e : fs::directory_iterator("/")) rootAfter.insert(e.path().filename());
  EXPECT_EQ(rootAfter, rootBefore);
  EXPECT_THAT(Log(), HasSubstr("Failed to initialize the framework"));
  std::ifstream err(base_ + "/stderr.txt");
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_THAT(said, HasSubstr("no application-data folder"));
}

TEST_F(SessionBridge, MissingOrBrokenScriptRefusesEveryStart) {
  {
    auto bridge = Bridge("", {"--offline", "--sealed", base_ + "/none.enc"});
    for (int i = 0; i < 2; ++i) {
      const Json::Value r = bridge->RequestJson(kAllStages);
      EXPECT_FALSE(r["status"].asBool());
      EXPECT_EQ(r["errorcode"].asInt(), 1000);
    }
  }
  const std::string log = Log();
  EXPECT_EQ(Count(log, "Encrypted js file not exist"), 1u);  // once, at construction
  EXPECT_EQ(Count(log, "Failed to decrypt the JS file"), 1u);
  EXPECT_EQ(Count(log, "No decrypted script available for execution"), 2u);

  // A plain script where a sealed one belongs: the container does not
  // verify, nothing more is logged, starts are refused.
  auto bridge = Bridge("", {"--offline", "--sealed", ZOREL_SOURCE_DIR "/tests/session/data/basic.js"});
  EXPECT_FALSE(bridge->RequestJson(kAllStages)["status"].asBool());
  bridge->Finish();
  EXPECT_EQ(Count(Log(), "Failed to decrypt the JS file"), 1u);
}

TEST_F(SessionBridge, EndlessStageIsEndedByCancelAndTheNextRunCompletes) {
  auto bridge = Bridge("spin.js");
  bridge->Request(StartRequest({{100, "[]"}}));
  ASSERT_EQ(WaitForEnd(*bridge).back().percentage, 100);
  const ProcessUsage before = Usage(bridge->pid());
  const std::vector<pid_t> workersBefore = Children(bridge->pid());
  ASSERT_EQ(workersBefore.size(), 1u);  // the framework worker

  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}}));
  Progress p;
  for (int i = 0; i < 500 && p.stageId != 101; ++i) {
    p = ReadProgress(*bridge);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(p.stageId, 101);  // problem 2 is spinning
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(bridge->RequestJson(R"({"operationid":3})", 15000)["status"].asBool());
  const auto took = std::chrono::steady_clock::now() - t0;
  EXPECT_LT(took, std::chrono::seconds(11));
  EXPECT_GE(took, std::chrono::milliseconds(9900));  // it waited for the stage first

  p = ReadProgress(*bridge);
  EXPECT_FALSE(p.status);
  EXPECT_EQ(p.errorCode, 1000);
  EXPECT_TRUE(Children(bridge->pid()).empty());  // the worker process is gone
  const ProcessUsage after = Usage(bridge->pid());
  EXPECT_EQ(after.threads, before.threads);
  EXPECT_LT(after.rssKb, before.rssKb + 2048);

  // The framework went with the worker: a run without stage 100 finds none.
  EXPECT_TRUE(bridge->RequestJson(StartRequest({{101, "[]"}}))["status"].asBool());
  EXPECT_EQ(WaitForEnd(*bridge).back().errorCode, 1000);
  EXPECT_THAT(Log(), HasSubstr("Failed to initialize the framework"));

  // A new run with stage 100 starts a new worker and completes.
  EXPECT_TRUE(bridge->RequestJson(StartRequest({{100, "[]"}}))["status"].asBool());
  const Progress end = WaitForEnd(*bridge).back();
  EXPECT_TRUE(end.status);
  EXPECT_EQ(end.percentage, 100);
  const std::vector<pid_t> workersAfter = Children(bridge->pid());
  ASSERT_EQ(workersAfter.size(), 1u);
  EXPECT_NE(workersAfter[0], workersBefore[0]);
  EXPECT_EQ(ProblemIds(bridge->RequestJson(R"({"operationid":2})")), (std::vector<int>{1}));
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_THAT(Log(), HasSubstr("Failed to execute the operations"));
}

TEST_F(SessionBridge, CancelledRunLeavesErrorAndEmptyResultUntilTheNextStart) {
  auto bridge = Bridge("slow.js");
  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}}));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // The framework sees the cancel after problem 1: well before the 10 s.
  const auto t0 = std::chrono::steady_clock::now();
  bridge->Request(R"({"operationid":3})");
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  for (int i = 0; i < 3; ++i) {
    const Progress p = ReadProgress(*bridge);
    EXPECT_FALSE(p.status);
    EXPECT_EQ(p.errorCode, 1000);
  }
  const Json::Value result = bridge->RequestJson(R"({"operationid":2})");
  EXPECT_TRUE(result["result"].isNull());
  EXPECT_EQ(result["session"]["sessionid"].asInt(), -1);
  // A new start clears the error.
  bridge->Request(StartRequest({{100, "[]"}}));
  EXPECT_EQ(WaitForEnd(*bridge).back().percentage, 100);
}

TEST_F(SessionBridge, EndOfInputCancelsARunningCheck) {
  auto bridge = Bridge("spin.js");
  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}}));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const pid_t pid = bridge->pid();
  const std::vector<pid_t> workers = Children(pid);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(bridge->Finish(15000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(12));
  for (pid_t w : workers) EXPECT_FALSE(fs::exists("/proc/" + std::to_string(w) + "/status")) << w;
}

}  // namespace
}  // namespace zorel::testing
