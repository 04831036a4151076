// The ScriptEngine object through `zorel check --script` with
// tests/data/checks/scriptengine_cases.js: the answers the script saw (kept
// as problem rows), the operation rows, and the worker's memory after
// scripts that allocate without end.

#include <gtest/gtest.h>
#include <json/json.h>

#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "check_cli_support.h"
#include "script_answers.h"
#include "zorel/platform/registry/registry.h"

namespace {

using namespace zorel::platform;
using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Rows;

class ScriptEngineScripts : public CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    ASSERT_EQ(Check("--script '" + DataScript("no_header.js") + "' --store '" + base_ +
                    "/prep' --stages 101")
                  .status,
              0);
    std::unique_ptr<IRegistry> registry;
    ASSERT_EQ(openRegistry(root_ + "/registry.db", RegistryOptions{}, &registry), 0);
    const std::wstring other = L"{0A1B2C3D-0000-4000-8000-00AA00BBCC01}";
    ASSERT_EQ(writeValueAt(*registry, kHkeyClassesRoot, L"Test.Alias\\CLSID", L"", REG_SZ,
                           regSz(L"{F414C260-6AC0-11CF-B6D1-00AA00BBBB58}")), 0);
    ASSERT_EQ(writeValueAt(*registry, kHkeyClassesRoot, L"Test.Other\\CLSID", L"", REG_SZ,
                           regSz(other)), 0);
    ASSERT_EQ(writeValueAt(*registry, kHkeyClassesRoot, L"CLSID\\" + other + L"\\InprocServer32",
                           L"", REG_SZ, regSz(L"C:\\Windows\\System32\\other.dll")), 0);
    registry.reset();

    const std::string whole = base_ + "/scriptengine_cases.js";
    {
      std::ofstream out(whole, std::ios::binary);
      for (const char* part : {"file_cases_prelude.js", "scriptengine_cases.js"})
        out << std::ifstream(DataScript(part), std::ios::binary).rdbuf();
    }
    run_ = Check("--script '" + whole + "' --store '" + store_ + "' --stages 101");
    ASSERT_NE(run_.status, 2) << run_.out << run_.err;
  }

  // "errorcode status return" of an answer, e.g. "2 0 0".
  std::string Outcome(const std::string& label) const {
    Json::Value a = zorel::testing::NotedAnswer(
        Query(zorel::testing::NotedAnswerQuery(label)), label);
    return std::to_string(a["errorcode"].asInt()) + " " + (a["status"].asBool() ? "1" : "0") +
           " " + (a["return"].asBool() ? "1" : "0");
  }

  CheckRun run_;
};

TEST_F(ScriptEngineScripts, AnswersOfEveryCase) {
  struct Case {
    const char* label;
    const char* outcome;  // errorcode status return
  } cases[] = {
      {"true", "0 1 0"},
      {"one", "2 0 0"},              // only a boolean true counts
      {"false", "2 0 0"},            {"string", "2 0 0"},
      {"throw", "2 0 0"},            {"syntax", "2 0 0"},
      {"notfunction", "2 0 0"},      {"toplevel", "2 0 0"},
      {"unknown", "2 0 0"},
      {"checkscript", "2 0 0"},      // the check script's globals are not there
      {"checkscript.natives", "2 0 0"},
      {"earlier.define", "0 1 0"},   {"earlier.read", "2 0 0"},
      {"utf8", "0 1 0"},             {"utf8.name", "0 1 0"},
      {"alloc0", "2 0 0"},           {"alloc1", "2 0 0"},
      {"alloc2", "2 0 0"},           {"alloc.toplevel", "2 0 0"},
      {"progid.javascript", "0 1 0"}, {"progid.alias", "0 1 0"},
      {"progid.other", "2 0 0"},     {"progid.vbscript", "2 0 0"},
      {"progid.missing", "2 0 0"},
      {"noscript", "87 0 0"},        {"emptyscript", "87 0 0"},
      {"nolanguage", "87 0 0"},      {"rename", "0 1 0"},
      {"quotes", "0 1 0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Outcome(c.label), c.outcome) << c.label;
    // Every run on an object is followed by a good one, which still works.
    if (!Query(zorel::testing::NotedAnswerQuery(std::string(c.label) + ".next")).empty()) {
      EXPECT_EQ(Outcome(std::string(c.label) + ".next"), "0 1 0") << c.label;
    }
  }

  // Allocating without end hit each engine's cap, not the worker's limits:
  // three such scripts and more in one run leave the largest process of
  // the run far below what they asked for.
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_CHILDREN, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 400L * 1024) << "kB";

  // The example for script authors reaches what it promises.
  std::filesystem::remove_all(store_);
  const CheckRun example = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/scripts.js' "
                                 "--store '" + store_ + "' --offline --stages 101");
  EXPECT_EQ(example.status, 0) << example.out << example.err;
  EXPECT_EQ(Query("select PROBLEM_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID"),
            (Rows{{"1", "1"}, {"2", "1"}}));
}

TEST_F(ScriptEngineScripts, OperationRows) {
  const std::string select =
      "select INPUT_DETAILS, EXECUTION_STATUS, ERROR_CODE, ERROR_STRING from OPERATION_TABLE "
      "where COMPONENT_NAME = 'ScriptEngine' and API_NAME = 'ScriptEngine::executeScript' and "
      "OPERATION_TYPE = 0 and INPUT_DETAILS like ";
  // Single quotes in the script are recorded as double quotes; the function
  // name argument 1 gave an earlier call stays in the object.
  EXPECT_EQ(Query(select + "'%\"x\" === \"x\"%'"),
            (Rows{{R"({"languagename":"JScript","functionname":"Other","script":"function Other() { return "x" === "x"; }"})",
                   "1", "0", ""}}));
  // A failed run is recorded as 30062; the script was told 2.
  EXPECT_EQ(Query(select + "'%return 1;%'"),
            (Rows{{R"({"languagename":"JScript","functionname":"Check","script":"function Check() { return 1; }"})",
                   "0", "30062", "Script execution failed or script returned false status"}}));
  // No script: 87 with the system's text, and the inputs still recorded.
  Rows missing = Query(select + "'%\"script\":\"\"%' and INPUT_DETAILS like '%\"JScript\"%'");
  ASSERT_EQ(missing.size(), 2u);
  EXPECT_EQ(missing[0][0], R"({"languagename":"JScript","functionname":"Check","script":""})");
  EXPECT_EQ(missing[0][2], "87");
  EXPECT_EQ(missing[0][3], "The parameter is incorrect.\r\n");
  // Text beyond ASCII reaches the record as it reached the engine.
  EXPECT_EQ(Query(select + "'%Pr\xc3\xbc" "fe%'").size(), 1u);

  const std::string log = Log();
  EXPECT_NE(log.find("ScriptEngine : Executed script : Check."), std::string::npos);
  EXPECT_NE(log.find("ScriptEngine : Script execution failed or script returned false status "
                     "for function : Check"),
            std::string::npos);
}

}  // namespace
