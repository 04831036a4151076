// Scripts that report odd things or misbehave, and the shipped example:
// what is stored, what is logged, and that the run goes on or ends cleanly.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "check_cli_support.h"

namespace {

using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Column;
using zorel::testing::Rows;
using Strings = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CheckCli, ReportProblemWritesProblemAndStatusRows) {
  ASSERT_EQ(CheckScript("reports.js", "--stages 101").status, 0);
  EXPECT_EQ(Query("select ID, NAME, DESCRIPTION, URL from PROBLEM_TABLE order by ID"),
            (Rows{{"0", "", "", ""},  // arguments that are not a problem object read as id 0
                  {"7", "n", "d", "u"},
                  {"8", "no stages", "", ""},
                  {"9", "string stage", "", ""},
                  {"10", "windows", "in C:\\Windows\\x", ""},
                  {"11", "as text", "", ""}}));
  // 8 has no stages, 9 an unreadable one: neither has a status row. An
  // object of stages is read by key order.
  EXPECT_EQ(Query("select PROBLEM_ID, STAGE_ID from PROBLEM_STATUS_TABLE order by rowid"),
            (Rows{{"7", "100"}, {"7", "101"}, {"7", "102"}, {"10", "101"}, {"11", "101"},
                  {"11", "102"}}));
}

TEST_F(CheckCli, ReportStatusStoresPassedForLowValuesAndOwnCodesAsGiven) {
  ASSERT_EQ(CheckScript("reports.js", "--stages 101").status, 0);
  EXPECT_EQ(Query("select STAGE_ID, STATUS from PROBLEM_STATUS_TABLE where PROBLEM_ID = 7 "
                  "order by STAGE_ID"),
            (Rows{{"100", "1"}, {"101", "2"}, {"102", "3"}}));
  // A pair without a row changes nothing and is no error.
  EXPECT_FALSE(Contains(Log(), "Failed to update problem status"));
}

// JSON text handed to the reporting functions reads as the object it spells:
// variables in its strings are expanded without breaking the JSON, and a
// status written as a decimal string counts as its number.
TEST_F(CheckCli, ReportFunctionsReadJsonTextAsTheObjectItSpells) {
  // The script declares no problem, so the run says nothing ran (exit 1).
  ASSERT_EQ(CheckScript("reports_as_text.js").status, 1);
  EXPECT_EQ(Query("select ID, NAME, DESCRIPTION, URL from PROBLEM_TABLE order by ID"),
            (Rows{{"0", "", "", ""},  // the text that is not JSON
                  {"20", "User", "in C:\\Windows\\x", "file:///C:/"}}));
  EXPECT_EQ(Query("select STAGE_ID, STATUS from PROBLEM_STATUS_TABLE where PROBLEM_ID = 20 "
                  "order by STAGE_ID"),
            (Rows{{"110", "3"}, {"111", "4"}, {"112", "1"}}));
}

TEST_F(CheckCli, SyntaxErrorIsLoggedAndTheRunEnds) {
  const CheckRun run = CheckScript("syntax_error.js");
  EXPECT_EQ(run.status, 1);
  const std::string log = Log();
  EXPECT_TRUE(Contains(log, "Error \tFailed to execute the script, ErrorString: SyntaxError"))
      << log;
  EXPECT_TRUE(Contains(log, "Failed to execute the script: var header"));
  EXPECT_TRUE(Contains(run.err, "the run did not complete"));
  EXPECT_EQ(Query("select count(*) from JSEXECUTION_TABLE")[0][0], "0");
}

TEST_F(CheckCli, TopLevelThrowIsLoggedAndWhatWasReportedStays) {
  EXPECT_EQ(CheckScript("top_level_throw.js").status, 1);
  EXPECT_TRUE(Contains(Log(), "Failed to execute the script, ErrorString: Error: top level boom"));
  EXPECT_EQ(Query("select NAME from PROBLEM_TABLE"), (Rows{{"declared before the throw"}}));
}

TEST_F(CheckCli, StageIdsGivenAsStringsEndInitialization) {
  EXPECT_EQ(CheckScript("stages_as_strings.js").status, 1);
  // The code is the thread's last platform failure before the conversion
  // threw, whatever that was; the line names one.
  EXPECT_TRUE(std::regex_search(
      Log(), std::regex("Error \tException occured while initializing script, ErrorCode: [0-9]+")));
  EXPECT_EQ(Query("select count(*) from PROBLEM_STAGE_TABLE")[0][0], "0");
  // The run row was written before the stages were read.
  EXPECT_EQ(Query("select JAVASCRIPT_NAME from JSEXECUTION_TABLE"),
            (Rows{{"stages_as_strings.js"}}));
}

TEST_F(CheckCli, HostileStageFunctionsDoNotStopTheRun) {
  const CheckRun run = CheckScript("hostile_stages.js", "--stages 101");
  ASSERT_EQ(run.status, 0) << run.err;
  // 1 reported 3 before throwing; 2 recursed until the engine stopped it and
  // keeps 2; 3 survived odd arguments and huge texts; 4 ran after all.
  EXPECT_EQ(Query("select PROBLEM_ID, STATUS from PROBLEM_STATUS_TABLE where PROBLEM_ID < 10 "
                  "order by PROBLEM_ID"),
            (Rows{{"1", "3"}, {"2", "2"}, {"3", "1"}, {"4", "1"}}));
  EXPECT_EQ(Query("select length(NAME) from PROBLEM_TABLE where ID = 30"), (Rows{{"2097152"}}));
  // The object argument reached the plug-in as JSON text; the cyclic one
  // made no call.
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where API_NAME = 'OS::getOSName'")[0][0],
            "1");
  EXPECT_EQ(Query("select ERROR_CODE from OPERATION_TABLE where API_NAME = 'OS::isOfType'"),
            (Rows{{"20016"}}));
}

TEST_F(CheckCli, ProblemsThatIsNotAnObjectRunsNothing) {
  const CheckRun run = CheckScript("problems_not_object.js", "--stages 101");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Contains(Log(), "Error \tundefined\n"));
  EXPECT_EQ(Query("select STATUS from PROBLEM_STATUS_TABLE"), (Rows{{"2"}}));
}

TEST_F(CheckCli, MissingHeaderGivesAnEmptyRunRow) {
  ASSERT_EQ(CheckScript("no_header.js").status, 0);
  EXPECT_EQ(Query("select JAVASCRIPT_NAME, JAVASCRIPT_REVISION, COREFRAMEWORK_VERSION, "
                  "EXECUTION_STATUS from JSEXECUTION_TABLE"),
            (Rows{{"", "", "", "5"}}));  // 5: the run was packaged
  EXPECT_EQ(Query("select count(*) from PROBLEM_STAGE_TABLE")[0][0], "0");
}

TEST_F(CheckCli, HeaderAndStagesAreRecorded) {
  ASSERT_EQ(CheckScript("four_detections.js").status, 0);
  EXPECT_EQ(Query("select JAVASCRIPT_NAME, JAVASCRIPT_REVISION, COREFRAMEWORK_VERSION "
                  "from JSEXECUTION_TABLE"),
            (Rows{{"four_detections.js", "17", "2.5"}}));
  EXPECT_EQ(Query("select ID, NAME from PROBLEM_STAGE_TABLE order by rowid"),
            (Rows{{"101", "detect"}, {"102", "fix"}}));
}

TEST_F(CheckCli, BasicExampleCallsEveryOsAndSystemMethodAndBothScriptObjects) {
  const CheckRun run = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/basic.js' --store '" +
                             store_ + "'");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const Strings apis = Column(Query("select distinct API_NAME from OPERATION_TABLE order by 1"));
  const Strings expected = {
      "EventLogger::IsEventPresent", "OS::getDefaultBrowser", "OS::getInstalledBrowsers", "OS::getMajorVersion",
      "OS::getMinorVersion", "OS::getOSArchType", "OS::getOSDetail", "OS::getOSEdition",
      "OS::getOSLanguage", "OS::getOSName", "OS::getSystemDirectory", "OS::getUACStatus",
      "OS::getWindowsDirectory", "OS::isOfOsName", "OS::isOfType", "OS::isOsVersionEqual",
      "OS::isOsVersionLower", "OS::isOsVersionOrGreater", "OS::isRavelManaged",
      "OS::isUnderDomain", "ScriptEngine::executeScript", "System::checkForCPUSpeed", "System::checkForDiskSpace",
      "System::checkForMemorySize", "System::getCPUName", "System::getDate",
      "System::getFileSystem", "System::getFreeRAM", "System::getFreeVirtualMemory",
      "System::getSystemFreeSpace", "System::getSystemSpace", "System::getTime",
      "System::getTimeZone", "System::getTotalRAM", "System::getTotalVirtualMemory",
      "System::getUsedRAM", "System::getUsedVirtualMemory", "System::isInternetConnected"};
  EXPECT_EQ(apis, expected);
  EXPECT_EQ(Query("select ID from PROBLEM_STAGE_TABLE order by ID"),
            (Rows{{"100"}, {"101"}, {"102"}}));
  EXPECT_TRUE(Contains(run.out, "stage 100: passed, outcome: expected free disk space of 500 MB, found "))
      << run.out;
}

}  // namespace
