// Whole online runs through `zorel bridge` while zorel-report-server
// misbehaves on one command: an HTTP error, a four-byte code, an answer
// slower than the exchange time limit, garbage, a refused upload. Every run
// still ends at 100 with its results, logs what went wrong, keeps db.cab in
// the data folder, and shows 99 only when it had a session id to upload
// under.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <json/reader.h>

#include <algorithm>
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
// upload, not only that the run had a session id; with --json standard
// output holds the JSON document alone, whatever the server answered.
struct UploadCase {
  std::string name;
  std::vector<std::string> faults;
  std::string said;  // "N" stands for the session id
  std::string logged;
};

void PrintTo(const UploadCase& c, std::ostream* os) { *os << c.name; }

class CheckUpload : public OnlineRun, public ::testing::WithParamInterface<UploadCase> {
 protected:
  CommandRun Check(const std::string& extra = "") {
    std::string cmd = "ZOREL_MACHINE='" + root_ + "'";
    for (const std::string& e : Env()) {
      const size_t eq = e.find('=');
      cmd += " " + e.substr(0, eq + 1) + "'" + e.substr(eq + 1) + "'";
    }
    const std::string errFile = base_ + "/check.err";
    return RunCommand(cmd + " " ZOREL_BINARY_DIR "/src/cli/zorel check --online --store '" + store_ +
                          "' --sealed '" + Sealed("basic.js") + "' " + extra + " 2>'" + errFile + "'",
                      errFile);
  }
};

const UploadCase kUploadCases[] = {
    {"Taken", {}, "Uploaded as session N\n", ""},
    {"Refused", {"UploadResult=iserror:5"}, "Upload under session N failed", kUploadFailed + ", Error code: 5"},
    {"Garbage", {"UploadResult=garbage"}, "Upload under session N was sent, but the server's answer could not be read",
     ""},
    {"BareCode", {"UploadResult=code:1003"},
     "Upload under session N was sent, but the server's answer could not be read", ""},
};

TEST_P(CheckUpload, SummarySaysWhatBecameOfTheUpload) {
  const UploadCase& c = GetParam();
  StartServer(c.faults);
  for (const bool json : {false, true}) {
    SCOPED_TRACE(json ? "--json" : "readable");
    const CommandRun o = Check(json ? "--json" : "");
    EXPECT_EQ(o.status, 0) << o.out << o.err;  // the check itself completed
    ASSERT_GT(LastSessionId(), 0);
    std::string said = c.said;
    said.replace(said.find('N'), 1, std::to_string(LastSessionId()));
    if (!json) {
      EXPECT_THAT(o.out, HasSubstr(said));
      if (c.name != "Taken") {
        EXPECT_THAT(o.out, Not(HasSubstr("Uploaded as session")));
      }
      continue;
    }
    // Only the document on standard output; the rest on standard error.
    Json::Value document;
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    EXPECT_TRUE(reader->parse(o.out.data(), o.out.data() + o.out.size(), &document, &errors)) << o.out;
    EXPECT_EQ(document["problems"].size(), 3u);
    EXPECT_THAT(o.err, HasSubstr(said));
    if (c.name == "Garbage") {
      EXPECT_THAT(o.err, HasSubstr("Parsing Unsuccessfull"));
    }
  }
  EXPECT_TRUE(fs::is_regular_file(store_ + "/db.cab"));
  if (!c.logged.empty()) {
    EXPECT_THAT(Log(), HasSubstr(LogLine(kWarn, c.logged)));
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, CheckUpload, ::testing::ValuesIn(kUploadCases),
                         [](const ::testing::TestParamInfo<UploadCase>& p) { return p.param.name; });

}  // namespace
}  // namespace zorel::testing
