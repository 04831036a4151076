// The reporting object on a real store: its function table, writing before
// and after a store is handed over, and the current problem and stage.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manager_support.h"
#include "zorel/framework/report.h"
#include "zorel/store/current_run.h"
#include "zorel/store/result_store.h"

namespace zorel::test {
namespace {

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store_.Open(folder_.wide())); }
  void TearDown() override {
    Report::Instance().SetResultStore(nullptr);
    store_.Close(false);
  }

  StoreFolder folder_;
  ResultStore store_;
};

TEST_F(ReportTest, PublishesExactlyTheTwoFunctionsInOrder) {
  EXPECT_EQ(Report::Instance().GetFunctionNames(),
            (std::vector<std::wstring>{L"reportProblem", L"reportStatus"}));
  EXPECT_FALSE(Report::Instance().Invoke(L"reportproblem", L"{\"id\":1}"));
  EXPECT_FALSE(Report::Instance().Invoke(L"", L""));
}

TEST_F(ReportTest, NothingIsWrittenBeforeTheStoreIsHandedOver) {
  Report& report = Report::Instance();
  report.SetResultStore(nullptr);
  EXPECT_TRUE(report.Invoke(L"reportProblem", L"{\"id\":7,\"name\":\"n\",\"stages\":[101]}"));
  EXPECT_EQ(Ints(store_, L"select count(*) from PROBLEM_TABLE"), (std::vector<int32_t>{0}));

  report.SetResultStore(&store_);
  report.Invoke(L"reportProblem", L"{\"id\":7,\"name\":\"n\",\"stages\":[101]}");
  report.SetResultStore(nullptr);
  EXPECT_TRUE(report.Invoke(L"reportStatus", L"{\"id\":7,\"stage\":101,\"status\":3}"));
  EXPECT_EQ(Ints(store_, L"select STATUS from PROBLEM_STATUS_TABLE"), (std::vector<int32_t>{0}));
}

TEST_F(ReportTest, DuplicateProblemKeepsTheFirstRowAndAddsStatusRows) {
  Report& report = Report::Instance();
  report.SetResultStore(&store_);
  report.Invoke(L"reportProblem", L"{\"id\":7,\"name\":\"first\",\"stages\":[101]}");
  report.Invoke(L"reportProblem", L"{\"id\":7,\"name\":\"second\",\"stages\":[101]}");
  EXPECT_EQ(Texts(store_, L"select NAME from PROBLEM_TABLE"),
            (std::vector<std::wstring>{L"first"}));
  EXPECT_EQ(Ints(store_, L"select count(*) from PROBLEM_STATUS_TABLE"), (std::vector<int32_t>{2}));
}

TEST_F(ReportTest, QuotesInTextsAreStoredAsGiven) {
  Report& report = Report::Instance();
  report.SetResultStore(&store_);
  report.Invoke(L"reportProblem", L"{\"id\":1,\"name\":\"it's '; drop table x; --\"}");
  EXPECT_EQ(Texts(store_, L"select NAME from PROBLEM_TABLE"),
            (std::vector<std::wstring>{L"it's '; drop table x; --"}));
}

TEST_F(ReportTest, CurrentIdsAreTheOnesTheOperationRecordsRead) {
  Report::Instance().SetCurrent(12, 101);
  EXPECT_EQ(Report::Instance().CurrentProblemId(), 12);
  EXPECT_EQ(Report::Instance().CurrentStageId(), 101);
  EXPECT_EQ(CurrentRun::Instance().ProblemId(), 12);
  EXPECT_EQ(CurrentRun::Instance().StageId(), 101);
}

}  // namespace
}  // namespace zorel::test
