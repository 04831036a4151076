// Whole online runs through `zorel bridge` while zorel-report-server
// misbehaves on one command: an HTTP error, a four-byte code, an answer
// slower than the exchange time limit, garbage, a refused upload. Every run
// still ends at 100 with its results, logs what went wrong, keeps db.cab in
// the data folder, and shows 99 only when it had a session id to upload
// under.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "online_run_fixture.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kInfo = 1;
constexpr int kError = 2;
constexpr int kWarn = 3;

struct ExpectedLine {
  int level;
  std::string message;
};

struct FaultCase {
  std::string name;
  std::vector<std::string> faults;
  // The exchange time limit for the run (ZOREL_REPORT_TIMEOUT_MS); empty:
  // the default.
  std::string timeLimitMs;
  // A session id came back, so the run uploads under it.
  bool gotSession;
  std::vector<ExpectedLine> logged;
  std::vector<std::string> notLogged;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

const std::string kNoSessionLine = "SessionID : Failed to get session id from http response";
const std::string kNoSessionRun = "Failed to generate session id";
const std::string kUploadFailed = "Failed to upload result cab file";

// A short pause before each upload answer keeps the 99 of a running upload
// visible to the 10 ms progress polls.
const std::string kSlowUpload = "UploadResult=delay:400";

const FaultCase kCases[] = {
    {"SessionHttp500",
     {"CreateSessionId=status:500"},
     "",
     false,
     {{kError, "Failed to get response from server with Error code --  : 500"},
      {kError, kNoSessionLine},
      {kError, kNoSessionRun}},
     {"UploadResult"}},
    {"SessionFourByteCode",
     {"CreateSessionId=code:1003"},
     "",
     false,
     // 1003 is one of the server's own codes: an answer, but without a session.
     {{kError, kNoSessionLine}, {kError, kNoSessionRun}},
     {"Failed to get response from server", "UploadResult"}},
    {"SessionSlowerThanTheTimeLimit",
     {"CreateSessionId=delay:5000"},
     "600",
     false,
     {{kError, "Failed to get response from server with Error code --  : 12002"},
      {kError, kNoSessionLine},
      {kError, kNoSessionRun}},
     {"UploadResult"}},
    {"SessionGarbage",
     {"CreateSessionId=garbage"},
     "",
     false,
     {{kError, kNoSessionLine}, {kError, kNoSessionRun}},
     {"Failed to get response from server", "UploadResult"}},
    {"SessionRefused",
     {"CreateSessionId=iserror:5"},
     "",
     false,
     {{kError, kNoSessionLine}, {kError, kNoSessionRun}},
     {"UploadResult"}},
    {"UploadHttp500",
     {kSlowUpload, "UploadResult=status:500"},
     "",
     true,
     {{kError, "Failed to get response from server with Error code --  : 500"},
      {kWarn, kUploadFailed}},
     {kNoSessionRun}},
    {"UploadFourByteCode",
     {kSlowUpload, "UploadResult=code:1003"},
     "",
     true,
     {},
     // The server's own code counts as a taken upload.
     {kUploadFailed, "Failed to get response from server", kNoSessionRun}},
    {"UploadSlowerThanTheTimeLimit",
     {"UploadResult=delay:5000"},
     "1500",
     true,
     {{kError, "Failed to get response from server with Error code --  : 12002"},
      {kWarn, kUploadFailed}},
     {kNoSessionRun}},
    {"UploadGarbage",
     {kSlowUpload, "UploadResult=garbage"},
     "",
     true,
     {},
     // HTTP 200 without "iserror": taken.
     {kUploadFailed, "Failed to get response from server", kNoSessionRun}},
    {"UploadRefusedWithCode5",
     {kSlowUpload, "UploadResult=iserror:5"},
     "",
     true,
     {{kWarn, kUploadFailed + ", Error code: 5"}},
     {"Failed to get response from server", kNoSessionRun}},
};

class ServerFaultRun : public OnlineRun, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ServerFaultRun, RunEndsAt100AndKeepsDbCab) {
  const FaultCase& c = GetParam();
  StartServer(c.faults);
  std::vector<std::string> env = Env();
  if (!c.timeLimitMs.empty()) env.push_back("ZOREL_REPORT_TIMEOUT_MS=" + c.timeLimitMs);
  auto bridge = Bridge("basic.js", {"--online"}, env);

  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(bridge->RequestJson(StartRequest({{100, "[]"}, {101, "[]"}, {102, "[]"}}))["status"].asBool());
  const std::vector<Progress> seen = WaitForEnd(*bridge);
  const auto took = std::chrono::steady_clock::now() - t0;
  ASSERT_TRUE(seen.back().status) << "error " << seen.back().errorCode;
  EXPECT_EQ(seen.back().percentage, 100);
  EXPECT_EQ(seen.back().message, "$GEN1001$");  // packaging was reached
  // A slow server costs the time limit, not its own delay.
  EXPECT_LT(took, std::chrono::milliseconds(4500));

  std::vector<int> late;
  for (const Progress& p : seen) {
    if (p.percentage >= 95 && (late.empty() || late.back() != p.percentage)) late.push_back(p.percentage);
  }
  EXPECT_TRUE(std::is_sorted(late.begin(), late.end()));
  if (c.gotSession) {
    EXPECT_THAT(late, ::testing::IsSubsetOf({95, 97, 99, 100}));
    EXPECT_THAT(late, ::testing::Contains(99));
  } else {
    EXPECT_THAT(late, ::testing::IsSubsetOf({95, 97, 100}));  // nothing to upload under
  }

  const Json::Value result = bridge->RequestJson(R"({"operationid":2})");
  EXPECT_EQ(result["result"]["problems"].size(), 3u);
  if (c.gotSession) {
    // The stored session is the run's even when its upload failed.
    ASSERT_GT(LastSessionId(), 0);
    EXPECT_EQ(result["session"]["sessionid"].asInt(), LastSessionId());
  } else {
    EXPECT_EQ(result["session"]["sessionid"].asInt(), -1);
  }
  EXPECT_EQ(bridge->Finish(), 0);

  EXPECT_TRUE(fs::is_regular_file(store_ + "/db.cab"));
  EXPECT_GT(fs::file_size(store_ + "/db.cab"), 0u);
  const std::string log = Log();
  for (const ExpectedLine& line : c.logged) {
    EXPECT_THAT(log, HasSubstr(LogLine(line.level, line.message)));
  }
  for (const std::string& absent : c.notLogged) EXPECT_THAT(log, Not(HasSubstr(absent)));
  if (c.gotSession) {
    EXPECT_THAT(log, HasSubstr(LogLine(kInfo, "SessionID : " + std::to_string(LastSessionId()) + " ")));
  }
  // A run that never had a session id sends nothing after the session request.
  const std::string requests = ReadAll(serverData_ + "/server.log");
  if (!c.gotSession) {
    EXPECT_THAT(requests, Not(HasSubstr("UploadResult")));
  }
  EXPECT_THAT(requests, Not(HasSubstr("CancelOperation")));
}

INSTANTIATE_TEST_SUITE_P(Faults, ServerFaultRun, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& p) { return p.param.name; });

// `zorel check --online`: its summary says whether the server took the
// upload, not only that the run had a session id.
class CheckUpload : public OnlineRun {
 protected:
  std::string Check(int& exitCode) {
    std::string cmd = "ZOREL_MACHINE='" + root_ + "'";
    for (const std::string& e : Env()) {
      const size_t eq = e.find('=');
      cmd += " " + e.substr(0, eq + 1) + "'" + e.substr(eq + 1) + "'";
    }
    cmd += " " ZOREL_BINARY_DIR "/src/cli/zorel check --online --store '" + store_ + "' --sealed '" +
           Sealed("basic.js") + "' 2>/dev/null";
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
    const int status = ::pclose(p);
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }
};

TEST_F(CheckUpload, TakenUploadIsReportedWithItsSession) {
  StartServer({});
  int exitCode = -1;
  const std::string out = Check(exitCode);
  EXPECT_EQ(exitCode, 0) << out;
  ASSERT_GT(LastSessionId(), 0);
  EXPECT_THAT(out, HasSubstr("Uploaded as session " + std::to_string(LastSessionId()) + "\n"));
}

TEST_F(CheckUpload, RefusedUploadIsNotReportedAsUploaded) {
  StartServer({"UploadResult=iserror:5"});
  int exitCode = -1;
  const std::string out = Check(exitCode);
  EXPECT_EQ(exitCode, 0) << out;  // the check itself completed
  ASSERT_GT(LastSessionId(), 0);
  EXPECT_THAT(out, Not(HasSubstr("Uploaded as session")));
  EXPECT_THAT(out, HasSubstr("Upload under session " + std::to_string(LastSessionId()) + " failed"));
  EXPECT_TRUE(fs::is_regular_file(store_ + "/db.cab"));
  EXPECT_THAT(Log(), HasSubstr(LogLine(kWarn, kUploadFailed + ", Error code: 5")));
}

}  // namespace
}  // namespace zorel::testing
