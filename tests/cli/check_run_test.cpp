// How `zorel check` runs a script: stage order, the health gate, detection
// followed by remediation, progress, the summary, the environment facts,
// options and exit codes.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "check_cli_support.h"

namespace {

using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Column;
using zorel::testing::Rows;
using Strings = std::vector<std::string>;

namespace fs = std::filesystem;

// The progress lines ("[ 23%] stage 101: name") of a run's output.
Strings ProgressLines(const std::string& text) {
  Strings lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && line[0] == '[') lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Exactly one JSON document, nothing before or after it.
bool ParseOneDocument(const std::string& text, Json::Value& value) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  builder["strictRoot"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
}

TEST_F(CheckCli, FourDetectionsReportProgressBeforeEachProblemAndNever95) {
  const CheckRun run = CheckScript("four_detections.js");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ProgressLines(run.out),
            (Strings{"[  0%] stage 101: problem 1", "[ 23%] stage 101: problem 2",
                     "[ 47%] stage 101: problem 3", "[ 71%] stage 101: problem 4"}));
  EXPECT_NE(Log().find("No Minimum system health check operation available in script"),
            std::string::npos);
}

TEST_F(CheckCli, FailedDetectionIsRemediatedAtOnceAndPassedOneIsNot) {
  ASSERT_EQ(CheckScript("four_detections.js").status, 0);
  // Each stage function makes one plug-in call; the records keep the order.
  const Rows ops = Query("select PROBLEM_ID, STAGE_ID, API_NAME from OPERATION_TABLE order by ID");
  ASSERT_EQ(ops.size(), 6u);
  EXPECT_EQ(Column(ops, 0), (Strings{"1", "2", "2", "3", "4", "4"}));
  EXPECT_EQ(Column(ops, 1), (Strings{"101", "101", "102", "101", "101", "102"}));
  EXPECT_EQ(ops[2][2], "System::getCPUName");
  const Rows status = Query(
      "select PROBLEM_ID, STAGE_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID");
  EXPECT_EQ(Column(status, 2), (Strings{"1", "0", "2", "1", "1", "0", "2", "1"}));
  // Stages run got their times; the remediation never run did not.
  EXPECT_EQ(Query("select count(*) from PROBLEM_STATUS_TABLE where START_TIME <> ''")[0][0], "6");
}

TEST_F(CheckCli, RemediationIsNotRunWhenNotRequested) {
  ASSERT_EQ(CheckScript("four_detections.js", "--stages 101").status, 0);
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where STAGE_ID = 102")[0][0], "0");
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE")[0][0], "4");
}

TEST_F(CheckCli, ProblemWithoutRowForTheStageIsDropped) {
  const CheckRun run = CheckScript("four_detections.js", "--stages 101,102 --problems 3,9,1 --json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ProgressLines(run.err),
            (Strings{"[  0%] stage 101: problem 3", "[ 47%] stage 101: problem 1"}));
  Json::Value summary;
  ASSERT_TRUE(ParseOneDocument(run.out, summary)) << run.out;
  ASSERT_EQ(summary["problems"].size(), 2u);
  EXPECT_EQ(summary["problems"][0]["problemid"].asInt(), 1);
  EXPECT_EQ(summary["problems"][1]["problemid"].asInt(), 3);
}

TEST_F(CheckCli, FailedHealthStageSkipsDetection) {
  const CheckRun run = CheckScript("health_gate.js", "--json");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ProgressLines(run.err),
            (Strings{"[  0%] stage 100: first", "[ 23%] stage 100: second"}));
  EXPECT_NE(Log().find("minimum system health failed"), std::string::npos);
  // No detection ran: its rows are as declared.
  const Rows detection =
      Query("select STATUS, START_TIME from PROBLEM_STATUS_TABLE where STAGE_ID = 101");
  ASSERT_EQ(detection.size(), 2u);
  for (const auto& row : detection) EXPECT_EQ(row, (Strings{"0", ""}));

  Json::Value summary;
  ASSERT_TRUE(ParseOneDocument(run.out, summary)) << run.out;
  // Stage 100 is marked by problem 2's status 3; stage 101 stays 1.
  ASSERT_EQ(summary["stages"].size(), 3u);
  EXPECT_EQ(summary["stages"][0]["stageid"].asInt(), 100);
  EXPECT_EQ(summary["stages"][0]["status"].asInt(), 2);
  EXPECT_EQ(summary["stages"][1]["status"].asInt(), 1);
  // The health outcome is the first operation record of the stage.
  EXPECT_EQ(summary["problems"][0]["status"][0]["outcome"].asString().rfind(
                "{\"expected\":\"$GEN1004$ 1 MB\",\"actual\":\"", 0),
            0u)
      << summary.toStyledString();
  EXPECT_EQ(summary["problems"][1]["status"][0]["outcome"].asString(), "");
}

TEST_F(CheckCli, HealthGateLooksAtEveryHealthRowNotOnlyTheOnesRun) {
  // Problem 1 passes its health stage, but problem 2's stage-100 row was
  // never run (status 0), so the store still holds a row that did not pass.
  ASSERT_EQ(CheckScript("health_gate.js", "--problems 1").status, 0);
  EXPECT_EQ(Query("select STATUS from PROBLEM_STATUS_TABLE where PROBLEM_ID = 1 order by STAGE_ID"),
            (Rows{{"1"}, {"0"}}));
  EXPECT_NE(Log().find("minimum system health failed"), std::string::npos);
}

TEST_F(CheckCli, PassedHealthStageLetsDetectionRun) {
  const CheckRun run =
      Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/basic.js' --store '" + store_ + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Log().find("minimum system health failed"), std::string::npos);
  EXPECT_EQ(Query("select STAGE_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
            (Rows{{"100", "1"}, {"101", "1"}, {"102", "0"}, {"101", "1"}, {"101", "1"}}));
}

TEST_F(CheckCli, DetectedProblemWithoutRemediationMarksStage102) {
  const CheckRun run = CheckScript("detected_no_remedy.js", "--json");
  ASSERT_EQ(run.status, 0) << run.err;
  Json::Value summary;
  ASSERT_TRUE(ParseOneDocument(run.out, summary)) << run.out;
  ASSERT_EQ(summary["stages"].size(), 3u);
  EXPECT_EQ(summary["stages"][1]["status"].asInt(), 2);  // 101
  EXPECT_EQ(summary["stages"][2]["stageid"].asInt(), 102);
  EXPECT_EQ(summary["stages"][2]["status"].asInt(), 2);
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE")[0][0], "0");
  // Problem 6 reported status 0, which is stored as passed.
  EXPECT_EQ(summary["problems"][1]["status"][0]["status"].asInt(), 1);

  // Without 102 in the request nothing marks it.
  const CheckRun only101 = CheckScript("detected_no_remedy.js", "--stages 101 --json");
  ASSERT_TRUE(ParseOneDocument(only101.out, summary)) << only101.out;
  ASSERT_EQ(summary["stages"].size(), 1u);
}

TEST_F(CheckCli, JsonSummaryIsTheOnlyOutputAndHasTheResultForm) {
  const CheckRun run = CheckScript("reports.js", "--json");
  ASSERT_EQ(run.status, 0) << run.err;
  Json::Value summary;
  ASSERT_TRUE(ParseOneDocument(run.out, summary)) << run.out;
  EXPECT_EQ(summary.getMemberNames(), (Strings{"problems", "stages"}));
  const Json::Value& problem = summary["problems"][0];
  EXPECT_EQ(problem.getMemberNames(),
            (Strings{"description", "name", "problemid", "status", "url"}));
  EXPECT_EQ(problem["status"][0].getMemberNames(), (Strings{"outcome", "stageid", "status"}));
  // Bad JSON arguments are announced, but on standard error.
  EXPECT_NE(run.err.find("Parsing Unsuccessfull"), std::string::npos);
}

TEST_F(CheckCli, FailedRunStillPrintsOneJsonDocument) {
  const CheckRun run = CheckScript("syntax_error.js", "--json");
  EXPECT_EQ(run.status, 1);
  Json::Value summary;
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  ASSERT_TRUE(reader->parse(run.out.data(), run.out.data() + run.out.size(), &summary, &errors))
      << run.out;
  EXPECT_TRUE(summary.isNull());  // an empty result is written as null
}

TEST_F(CheckCli, ReadableSummaryNamesStagesProblemsAndOutcomes) {
  const CheckRun run = CheckScript("health_gate.js");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("100 minimum system health  needs attention"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("  1 first\n"), std::string::npos);
  EXPECT_NE(run.out.find("stage 100: passed, outcome: expected free disk space of 1 MB, found "),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("stage 100: status 3"), std::string::npos);
  EXPECT_NE(run.out.find("stage 101: not run"), std::string::npos);
}

TEST_F(CheckCli, RequirementTokensReadAsWordsAndStayInTheStore) {
  // One health problem per requirement check, each check its first call.
  const std::string script = base_ + "/requirements.js";
  std::ofstream(script) << R"(
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "requirements.js"};
var ExecutionMode = {health: 100};
var checks = {1: ["checkForDiskSpace", 1], 2: ["checkForCPUSpeed", 1],
              3: ["checkForMemorySize", {"6.1": 1, "6.2": 1, "6.3": 1, "10.0": 1}]};
var Problems = {};
for (var id = 1; id <= 3; ++id) {
  reportProblem({id: id, name: checks[id][0], stages: [100]});
  Problems[id] = {health: (function (id) { return function () {
    var s = new System(); s[checks[id][0]](checks[id][1]); reportStatus({id: id, stage: 100, status: 1});
  }; })(id)};
}
)";
  const CheckRun run = Check("--script '" + script + "' --store '" + store_ + "' --stages 100");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const char* words : {"outcome: expected free disk space of 1 MB, found ",
                            "outcome: expected processor speed of 1 MHz, found ",
                            "GB of memory, found "}) {
    EXPECT_NE(run.out.find(words), std::string::npos) << words << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("$GEN"), std::string::npos) << run.out;
  // The store keeps the tokens for the report side.
  const Strings details = Column(Query("select INPUT_DETAILS from OPERATION_TABLE order by rowid"));
  ASSERT_EQ(details.size(), 3u);
  EXPECT_NE(details[0].find("$GEN1004$ 1 MB"), std::string::npos) << details[0];
  EXPECT_NE(details[1].find("$GEN1003$ 1 MHz"), std::string::npos) << details[1];
  EXPECT_NE(details[2].find("GB $GEN1002$"), std::string::npos) << details[2];
}

TEST_F(CheckCli, RunThatRanNothingSaysSoAndExits1) {
  for (const char* args : {"--stages 102", "--problems 99", "--stages 100 --problems 99"}) {
    SCOPED_TRACE(args);
    const CheckRun run = CheckScript("four_detections.js", args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("passed"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("nothing ran"), std::string::npos) << run.err;
  }
}

TEST_F(CheckCli, MessagesNameWhatTheUserGave) {
  const std::string empty = base_ + "/empty.js";
  std::ofstream(empty).flush();
  CheckRun run = Check("--script '" + empty + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "zorel check: the script '" + empty + "' is empty; there is nothing to run\n");

  run = CheckScript("four_detections.js", "--store '" + store_ + "/' --stages 101");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Result store: " + store_ + "/ResultStore.db\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("//"), std::string::npos) << run.out;
}

TEST_F(CheckCli, EnvironmentFactsAreWrittenInTheirOrderAtOpen) {
  ASSERT_EQ(CheckScript("no_header.js").status, 0);
  const Rows facts = Query("select KEY, VALUE from ENVIRONMENT_COLLECTION_TABLE order by rowid");
  const Strings expected = {
      "Operating System Name", "Operating System Major Version",
      "Operating System Minor Version", "Operating System Architecture",
      "Operating System Language", "Default Web Browser", "Installed Web Browsers", "CPU Name",
      "Total Memory", "Free Memory", "Used Memory", "Total Virtual Memory", "Free Virtual Memory",
      "Used Virtual Memory", "Total System Drive Space", "Free System Drive Space", "Time Zone",
      "Date", "Time"};
  EXPECT_EQ(Column(facts, 0), expected);
  ASSERT_GE(facts.size(), 5u);
  EXPECT_EQ(facts[0][1], "Windows 10 Professional Edition(Build 19045)");
  EXPECT_EQ(facts[1][1], "10");
  EXPECT_EQ(facts[2][1], "0");
  EXPECT_EQ(facts[3][1], "64 Bit");
  EXPECT_EQ(facts[4][1], "en-US");
  // The getters ran without the store: no operation records.
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE")[0][0], "0");
  // A second run gathers them again for its own database.
  ASSERT_EQ(CheckScript("no_header.js").status, 0);
  EXPECT_EQ(Query("select count(*) from ENVIRONMENT_COLLECTION_TABLE")[0][0], "19");
}

TEST_F(CheckCli, Windows7MachineDescribesItselfInTheFacts) {
  ASSERT_EQ(std::system(("ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR
                         "/src/cli/zorel machine reset --image win7-sp1 >/dev/null 2>&1")
                            .c_str()),
            0);
  ASSERT_EQ(CheckScript("no_header.js").status, 0);
  const Rows facts = Query("select VALUE from ENVIRONMENT_COLLECTION_TABLE order by rowid limit 3");
  ASSERT_EQ(facts.size(), 3u);
  EXPECT_NE(facts[0][0].find("Windows 7"), std::string::npos) << facts[0][0];
  EXPECT_EQ(facts[1][0], "6");
  EXPECT_EQ(facts[2][0], "1");
}

TEST_F(CheckCli, StoreFolderIsCreatedAndThePreviousRunRemoved) {
  store_ = base_ + "/new/nested/store";
  ASSERT_EQ(CheckScript("four_detections.js").status, 0);
  EXPECT_TRUE(fs::exists(store_ + "/ResultStore.db"));
  ASSERT_EQ(CheckScript("detected_no_remedy.js").status, 0);
  // Only the second script's problems: the old database went first.
  EXPECT_EQ(Column(Query("select ID from PROBLEM_TABLE order by ID")), (Strings{"5", "6"}));
  EXPECT_EQ(Query("select JAVASCRIPT_NAME from JSEXECUTION_TABLE"),
            (Rows{{"detected_no_remedy.js"}}));
}

TEST_F(CheckCli, DefaultStoreIsTheMachineDataFolder) {
  const CheckRun run = Check("--script '" + DataScript("no_header.js") + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(root_ +
                         "/drive_c/Users/User/AppData/Roaming/prynesecurity/zorel/ResultStore.db"))
      << run.out;
}

TEST_F(CheckCli, MissingOrUnreadableScriptIsOneLineAndExit2) {
  CheckRun run = Check("--script '" + base_ + "/nope.js'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "zorel check: cannot read script '" + base_ + "/nope.js': no such file\n");
  EXPECT_TRUE(run.out.empty());

  run = Check("--script '" + base_ + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "zorel check: cannot read script '" + base_ + "': is a folder\n");
}

TEST_F(CheckCli, BadOptionsExit2WithoutRunning) {
  const std::string script = "--script '" + DataScript("no_header.js") + "' ";
  for (const std::string& args : {script + "--stages", script + "--stages 10x",
                                  script + "--problems 1,,2", script + "--stages 1,",
                                  script + "--frobnicate", script + "--problems 99999999999"}) {
    SCOPED_TRACE(args);
    const CheckRun run = Check(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("zorel check:"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(root_ + "/drive_c/Users/User/AppData/Roaming/prynesecurity/zorel/"
                                  "ResultStore.db"));
}

}  // namespace
