// FrameworkLib and FrameworkManager in-process: cancellation during a run,
// packaging before cabinets exist, a second run on the same manager, stage
// declarations and stages that are never run.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "manager_support.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/framework/framework_lib.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/framework/report.h"
#include "zorel/platform/process/sync.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel::test {
namespace {

// The event the "Canceller" plug-in signals: what the UI thread does when
// the user cancels, done from inside a stage function so the moment is
// exact.
platform::IManualResetEvent* g_cancelTarget = nullptr;

class CancellerPlugin : public CMethodDispatcher {
 public:
  explicit CancellerPlugin(StackFrame&) { RegisterMethod("cancel", &CancellerPlugin::Cancel); }
  std::unique_ptr<CJSONReturn> Cancel(StackFrame&) {
    if (g_cancelTarget) g_cancelTarget->set();
    return std::make_unique<CJSONReturn>();
  }
};

const CPluginFactory& TestFactory() {
  static const CPluginFactory factory = [] {
    std::vector<PluginRegistration> table = DefaultPluginTable();
    table.push_back({"Canceller", [](StackFrame& args) -> std::unique_ptr<CMethodDispatcher> {
                       return std::make_unique<CancellerPlugin>(args);
                     }});
    return CPluginFactory(table);
  }();
  return factory;
}

// Problems 1 and 2 with detection; problem 1's detection cancels the run
// when asked to.
const wchar_t* kCancelScript = LR"(
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "cancel.js"};
var ExecutionMode = {detect: 101, fix: 102};
var cancelInDetection = true;
var Problems = {
  1: {detect: function () { if (cancelInDetection) new Canceller().cancel(); },
      fix: function () { reportStatus({id: 1, stage: 102, status: 1}); }},
  2: {detect: function () { reportStatus({id: 2, stage: 101, status: 1}); }}
};
reportProblem({id: 1, name: "one", stages: [101, 102]});
reportProblem({id: 2, name: "two", stages: [101]});
)";

class Manager : public ::testing::Test {
 protected:
  void SetUp() override {
    cancel_ = platform::createManualResetEvent(false);
    g_cancelTarget = cancel_.get();
  }
  void TearDown() override { g_cancelTarget = nullptr; }

  FrameworkManager::RunRequest DetectAndFix() {
    return {{Stage::kDetection, {}}, {Stage::kRemediation, {}}};
  }

  StoreFolder folder_;
  std::unique_ptr<platform::IManualResetEvent> cancel_;
};

TEST_F(Manager, CancelDuringDetectionStopsWithoutSummaryOrPackaging) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(kCancelScript, folder_.wide(), cancel_.get()));
  ResultJson summary;
  int progressCalls = 0;
  EXPECT_FALSE(lib.Execute(DetectAndFix(), summary, [&](ProgressJson*) { ++progressCalls; }));
  EXPECT_EQ(progressCalls, 1);
  EXPECT_TRUE(summary.stages.Empty());
  EXPECT_TRUE(summary.problems.Empty());

  IResultStore& store = lib.Manager().Store();
  // The event is tested before each problem: problem 1's detection (status
  // 2) is followed by its remediation as one step, problem 2 never starts.
  EXPECT_EQ(Ints(store, L"select STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
            (std::vector<int32_t>{2, 1, 0}));
  EXPECT_FALSE(lib.Package(true));
  EXPECT_FALSE(lib.Package(false));
  EXPECT_FALSE(folder_.Has("db.cab"));
  EXPECT_TRUE(folder_.Has("ResultStore.db"));  // not closed, not deleted
}

TEST_F(Manager, CancelledBeforeInitializeOpensNoStore) {
  cancel_->set();
  FrameworkLib lib(TestFactory());
  EXPECT_FALSE(lib.Initialize(kCancelScript, folder_.wide(), cancel_.get()));
  EXPECT_FALSE(folder_.Has("ResultStore.db"));
}

TEST_F(Manager, NullCancelEventNeverCancels) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(kCancelScript, folder_.wide(), nullptr));
  ResultJson summary;
  EXPECT_TRUE(lib.Execute(DetectAndFix(), summary, nullptr));
  EXPECT_EQ(summary.problems.Size(), 2u);
}

TEST_F(Manager, PackagingResultMatchesWhatWasPacked) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(L"var cancelInDetection = false;", folder_.wide(), cancel_.get()));
  const bool packed = lib.Package(true);
  // Success means the database is in db.cab and gone from the folder; a
  // failure says so in the log and keeps the database open for a retry.
  EXPECT_EQ(packed, folder_.Has("db.cab"));
  if (packed) {
    EXPECT_FALSE(folder_.Has("ResultStore.db"));
  } else {
    EXPECT_NE(LogText().find("Failed to package the result store"), std::string::npos);
    EXPECT_TRUE(lib.Package(false));
    EXPECT_TRUE(folder_.Has("ResultStore.db"));
  }
}

TEST_F(Manager, SecondRunReopensAFreshStoreAndKeepsTheRunRecord) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(kCancelScript, folder_.wide(), cancel_.get()));
  ASSERT_TRUE(lib.Package(false));

  StoreFolder second;
  const std::wstring rerun = std::wstring(kCancelScript) + L"\ncancelInDetection = false;";
  ASSERT_TRUE(lib.Initialize(rerun, second.wide(), cancel_.get()));
  IResultStore& store = lib.Manager().Store();
  // Both runs' rows go into the new database.
  EXPECT_EQ(Texts(store, L"select JAVASCRIPT_NAME from JSEXECUTION_TABLE"),
            (std::vector<std::wstring>{L"cancel.js", L"cancel.js"}));
  ResultJson summary;
  ASSERT_TRUE(lib.Execute(DetectAndFix(), summary, nullptr));
  // Problem 1 did not pass detection and was remediated.
  EXPECT_EQ(Ints(store, L"select STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
            (std::vector<int32_t>{2, 1, 1}));
}

TEST_F(Manager, ExecutionModeValuesReadAsIntegers) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(
      L"var ExecutionMode = {a: null, b: true, c: 101.9, d: -5, e: false};", folder_.wide(),
      cancel_.get()));
  IResultStore& store = lib.Manager().Store();
  EXPECT_EQ(Ints(store, L"select ID from PROBLEM_STAGE_TABLE order by rowid"),
            (std::vector<int32_t>{-5, 0, 1, 101}));
  // Two names for 0: the later member name wins.
  EXPECT_EQ(Texts(store, L"select NAME from PROBLEM_STAGE_TABLE order by rowid"),
            (std::vector<std::wstring>{L"d", L"e", L"b", L"c"}));
}

TEST_F(Manager, ExecutionModeWithObjectOrArrayValueFailsInitialize) {
  for (const wchar_t* script : {L"var ExecutionMode = {a: [101]};", L"var ExecutionMode = {a: {}};",
                                L"var ExecutionMode = 7;"}) {
    StoreFolder folder;
    FrameworkLib lib(TestFactory());
    EXPECT_FALSE(lib.Initialize(script, folder.wide(), cancel_.get())) << toUtf8(script);
  }
}

TEST_F(Manager, StagesOutsideTheThreeRolesAreSummarisedButNeverRun) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(LR"(
      var ExecutionMode = {other: 103};
      var ran = false;
      var Problems = {1: {other: function () { reportStatus({id: 1, stage: 103, status: 3}); }}};
      reportProblem({id: 1, name: "one", stages: [103]});)",
                             folder_.wide(), cancel_.get()));
  ResultJson summary;
  ASSERT_TRUE(lib.Execute({{103, {}}}, summary, nullptr));
  ASSERT_EQ(summary.stages.Size(), 1u);
  EXPECT_EQ(summary.stages.Get(0)->stageId, 103);
  EXPECT_EQ(summary.stages.Get(0)->status, 1);
  ASSERT_EQ(summary.problems.Size(), 1u);
  EXPECT_EQ(summary.problems.Get(0)->status.Get(0)->status, 0);
}

TEST_F(Manager, EmptyRequestBuildsNoSummary) {
  FrameworkLib lib(TestFactory());
  ASSERT_TRUE(lib.Initialize(kCancelScript, folder_.wide(), cancel_.get()));
  ResultJson summary;
  int calls = 0;
  EXPECT_TRUE(lib.Execute({}, summary, [&](ProgressJson*) { ++calls; }));
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(summary.stages.Empty());
  EXPECT_TRUE(summary.problems.Empty());
}

TEST_F(Manager, DestroyedManagerLeavesNoStoreWithTheReportingObject) {
  {
    FrameworkLib lib(TestFactory());
    ASSERT_TRUE(lib.Initialize(kCancelScript, folder_.wide(), cancel_.get()));
    EXPECT_EQ(Report::Instance().GetResultStore(), &lib.Manager().Store());
  }
  EXPECT_EQ(Report::Instance().GetResultStore(), nullptr);
}

TEST_F(Manager, FailingStoreOpenIsLoggedWithTheFolder) {
  FrameworkLib lib(TestFactory());
  const std::wstring missing = folder_.wide() + L"/no/such/folder";
  EXPECT_FALSE(lib.Initialize(kCancelScript, missing, cancel_.get()));
  EXPECT_NE(LogText().find("Failed to open the result store at: " + toUtf8(missing)),
            std::string::npos);
}

}  // namespace
}  // namespace zorel::test
