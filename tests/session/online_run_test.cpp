// An online run against zorel-report-server on loopback over HTTPS: the
// session id, the upload of db.cab, the progress of packaging and upload,
// and no cancel notice after a finished run.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <json/reader.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "online_run_fixture.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

TEST_F(OnlineRun, UploadsDbCabUnderTheServersSessionId) {
  // A slow upload answer lets the test see the 99 of a running upload.
  StartServer({"UploadResult=delay:1500"});
  auto bridge = Bridge("basic.js", {}, Env());  // the connection test finds the server
  ASSERT_TRUE(bridge->RequestJson(StartRequest({{100, "[]"}, {101, "[]"}, {102, "[]"}}))["status"].asBool());
  const std::vector<Progress> seen = WaitForEnd(*bridge);
  ASSERT_TRUE(seen.back().status);
  ASSERT_EQ(seen.back().percentage, 100);
  std::vector<int> late;
  for (const Progress& p : seen) {
    if (p.percentage >= 95 && (late.empty() || late.back() != p.percentage)) late.push_back(p.percentage);
  }
  EXPECT_THAT(late, ::testing::IsSubsetOf({95, 97, 99, 100}));
  EXPECT_TRUE(std::is_sorted(late.begin(), late.end()));
  EXPECT_THAT(late, ::testing::Contains(99));

  const Json::Value result = bridge->RequestJson(R"({"operationid":2})");
  const int session = result["session"]["sessionid"].asInt();
  ASSERT_GT(session, 0);
  Json::Value sessions;
  std::istringstream(ReadAll(serverData_ + "/sessions.json")) >> sessions;
  EXPECT_EQ(sessions["lastsessionid"].asInt(), session);

  const std::string stored = serverData_ + "/uploads/" + std::to_string(session) + ".cab";
  ASSERT_TRUE(fs::exists(stored));
  EXPECT_EQ(ReadAll(stored), ReadAll(store_ + "/db.cab"));
  EXPECT_EQ(std::system(("cabextract -l '" + stored + "' | grep -q ResultStore.db").c_str()), 0);

  // The body was the styled envelope, the separator and the cabinet, sealed
  // as a whole (32 bytes of header).
  Json::Value record;
  std::istringstream(ReadAll(serverData_ + "/uploads/" + std::to_string(session) + ".json")) >> record;
  const size_t cabSize = ReadAll(store_ + "/db.cab").size();
  const std::string envelope = "{\n   \"command\" : \"UploadResult\",\n   \"data\" : {\n      \"cabsize\" : " +
                               std::to_string(cabSize) + ",\n      \"sessionid\" : " + std::to_string(session) +
                               "\n   },\n   \"service\" : \"ReportService\"\n}\n";
  EXPECT_EQ(record["envelope"].asString(), envelope);
  EXPECT_EQ(record["sealedbytes"].asUInt64(), envelope.size() + 20 + cabSize + 32);
  EXPECT_EQ(record["sealvalue"].asUInt(), 1u);

  // Cancel after the finished run does not reach the server.
  EXPECT_TRUE(bridge->RequestJson(R"({"operationid":3})")["status"].asBool());
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_FALSE(fs::exists(serverData_ + "/cancels.json") &&
               ReadAll(serverData_ + "/cancels.json").find("sessionid") != std::string::npos);
  EXPECT_THAT(ReadAll(serverData_ + "/server.log"), ::testing::Not(HasSubstr("CancelOperation")));
  EXPECT_THAT(Log(), HasSubstr("SessionID : " + std::to_string(session) + " "));
}

TEST_F(OnlineRun, CancelOfARunningRunIsAnnounced) {
  StartServer({});
  auto bridge = Bridge("slow.js", {"--online"}, Env());
  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}}));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  bridge->Request(R"({"operationid":3})");
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_THAT(ReadAll(serverData_ + "/server.log"), HasSubstr("CancelOperation"));
}

// A terminal's Ctrl-C reaches the whole foreground process group: the
// worker must not die of it, and the command must turn it into a cancel.
TEST_F(OnlineRun, CtrlCToTheProcessGroupOfCheckCancelsAndTellsTheServer) {
  StartServer({});
  const std::string sealed = Sealed("slow.js");
  const std::vector<std::string> env = Env();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // the group a terminal would signal
    ::setenv("ZOREL_MACHINE", root_.c_str(), 1);
    for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(ZOREL_BINARY_DIR "/src/cli/zorel", "zorel", "check", "--online", "--sealed", sealed.c_str(),
            "--store", store_.c_str(), "--stages", "100,101", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  // Wait until the run is inside the 1.5 s health stage, with its session.
  for (int i = 0; i < 500 && !fs::exists(store_ + "/ResultStore.db"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_GT(LastSessionId(), 0);
  ::kill(-pid, SIGINT);
  const auto t0 = std::chrono::steady_clock::now();
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_THAT(ReadAll(serverData_ + "/server.log"), HasSubstr("command=CancelOperation"));
  EXPECT_THAT(ReadAll(serverData_ + "/cancels.json"),
              HasSubstr("\"sessionid\" : " + std::to_string(LastSessionId())));
  // The worker lived to hear the cancel: the run ended as cancelled.
  EXPECT_THAT(Log(), HasSubstr("Failed to execute the operations"));
  EXPECT_THAT(Log(), Not(HasSubstr("The framework worker has ended")));
}

TEST_F(OnlineRun, ServerDownStillPackagesAndEndsAt100) {
  auto bridge = Bridge("basic.js", {"--online"},
                       {"ZOREL_REPORT_SERVER=https://127.0.0.1:9", "ZOREL_REPORT_CA=/nonexistent"});
  bridge->Request(StartRequest({{100, "[]"}, {101, "[]"}, {102, "[]"}}));
  const Progress end = WaitForEnd(*bridge).back();
  EXPECT_TRUE(end.status);
  EXPECT_EQ(end.percentage, 100);
  EXPECT_TRUE(fs::exists(store_ + "/db.cab"));
  EXPECT_EQ(bridge->RequestJson(R"({"operationid":2})")["session"]["sessionid"].asInt(), -1);
  bridge->Finish();
  const std::string log = Log();
  EXPECT_THAT(log, HasSubstr(LogLine(2, "Failed to get response from server with Error code --  : 12029")));
  EXPECT_THAT(log, HasSubstr(LogLine(2, "SessionID : Failed to get session id from http response")));
  EXPECT_THAT(log, HasSubstr(LogLine(2, "Failed to generate session id")));
  EXPECT_THAT(log, ::testing::Not(HasSubstr("Failed to upload result cab file")));  // no session, no upload
}

}  // namespace
}  // namespace zorel::testing
