// The core table stores and their row operations, without a database.

#include <gtest/gtest.h>

#include "zorel/store/collection_tables.h"
#include "zorel/store/current_run.h"
#include "zorel/store/environment_collection.h"
#include "zorel/store/jsexecution_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/time_text.h"

namespace zorel {
namespace {

std::wstring text(const DataRow& row, const wchar_t* name) {
  std::wstring value = L"<unset>";
  row.GetString(name, value);
  return value;
}

int32_t number(const DataRow& row, const wchar_t* name) {
  int32_t value = -999;
  row.GetInt(name, value);
  return value;
}

// Shape "dddd-dd-dd.dd:dd:dd".
bool isTimeText(const std::wstring& value) {
  const std::wstring shape = L"dddd-dd-dd.dd:dd:dd";
  if (value.size() != shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool ok = shape[i] == L'd' ? (value[i] >= L'0' && value[i] <= L'9') : value[i] == shape[i];
    if (!ok) return false;
  }
  return true;
}

TEST(TimeText, UtcDateFullStopAndTime) {
  using namespace std::chrono;
  // 2016-02-01 14:03:05 UTC
  const sys_seconds when = sys_days{2016y / February / 1} + 14h + 3min + 5s;
  EXPECT_EQ(FormatTimeText(when), L"2016-02-01.14:03:05");
  EXPECT_EQ(FormatTimeText(sys_days{1999y / December / 31} + 23h + 59min + 59s),
            L"1999-12-31.23:59:59");
  EXPECT_TRUE(isTimeText(CurrentTimeText()));
}

TEST(OperationStore, ComponentNameIsLastElementWithoutExtension) {
  EXPECT_EQ(OperationStore::ComponentName(L"plugins\\win\\env\\OS"), L"OS");
  EXPECT_EQ(OperationStore::ComponentName(L"plugins\\win\\ProcessAPI"), L"ProcessAPI");
  EXPECT_EQ(OperationStore::ComponentName(L"plugins\\win\\File.dll"), L"File");
  EXPECT_EQ(OperationStore::ComponentName(L"plugins/win/Registry"), L"Registry");
  EXPECT_EQ(OperationStore::ComponentName(L"Service"), L"Service");
}

TEST(OperationStore, BeginTakesTheCurrentProblemAndStage) {
  CurrentRun& run = CurrentRun::Instance();
  // Before any stage runs both ids are -1.
  run.Set(-1, -1);
  OperationStore before;
  before.Begin(0, L"plugins\\win\\env\\OS", L"OS::getOSName");
  before.Finish(L"", 1, 0);
  ASSERT_EQ(before.Table().RowCount(), 1u);
  EXPECT_EQ(number(before.Table().Row(0), L"PROBLEM_ID"), -1);
  EXPECT_EQ(number(before.Table().Row(0), L"STAGE_ID"), -1);

  run.Set(7, 101);
  OperationStore store;
  store.Begin(2, L"plugins\\win\\ProcessAPI", L"Process::isRunning");
  EXPECT_EQ(store.Table().RowCount(), 0u);  // not in the table before Finish
  run.Set(8, 102);  // the ids are taken at Begin
  store.Finish(L"{\"name\":\"x\"}", 1, 0);
  run.Set(-1, -1);

  ASSERT_EQ(store.Table().RowCount(), 1u);
  const DataRow& row = store.Table().Row(0);
  EXPECT_EQ(number(row, L"PROBLEM_ID"), 7);
  EXPECT_EQ(number(row, L"STAGE_ID"), 101);
  EXPECT_EQ(number(row, L"OPERATION_TYPE"), 2);
  EXPECT_EQ(text(row, L"COMPONENT_NAME"), L"ProcessAPI");
  EXPECT_EQ(text(row, L"API_NAME"), L"Process::isRunning");
  EXPECT_EQ(text(row, L"INPUT_DETAILS"), L"{\"name\":\"x\"}");
  EXPECT_EQ(number(row, L"EXECUTION_STATUS"), 1);
  EXPECT_EQ(number(row, L"ERROR_CODE"), 0);
  EXPECT_EQ(text(row, L"ERROR_STRING"), L"<unset>");  // unset for code 0
  EXPECT_TRUE(isTimeText(text(row, L"START_TIME")));
  EXPECT_TRUE(isTimeText(text(row, L"END_TIME")));
}

TEST(OperationStore, NonzeroCodeGetsTheLookupMessage) {
  OperationStore store([](int32_t code) { return L"message " + std::to_wstring(code); });
  store.Begin(0, L"plugins\\win\\File", L"File::isFilePresent");
  store.Finish(L"{}", 0, 20023);
  ASSERT_EQ(store.Table().RowCount(), 1u);
  EXPECT_EQ(text(store.Table().Row(0), L"ERROR_STRING"), L"message 20023");
  EXPECT_EQ(number(store.Table().Row(0), L"ERROR_CODE"), 20023);
  EXPECT_EQ(number(store.Table().Row(0), L"EXECUTION_STATUS"), 0);
}

TEST(OperationStore, FinishWithoutBeginAppendsNothing) {
  OperationStore store;
  store.Finish(L"{}", 1, 0);
  EXPECT_EQ(store.Table().RowCount(), 0u);
  // A second Finish after one Begin appends only once.
  store.Begin(0, L"x", L"y");
  store.Finish(L"{}", 1, 0);
  store.Finish(L"{}", 1, 0);
  EXPECT_EQ(store.Table().RowCount(), 1u);
}

TEST(JsExecution, StartAddsARunningRowAndEndUpdatesTheFirstRow) {
  DataTable table;
  CreateJsExecutionTable(table);
  EndJSExecution(table, 5);  // no rows: nothing happens
  EXPECT_EQ(table.RowCount(), 0u);

  StartJSExecution(table, L"preinstall.js", L"12", L"1.0");
  ASSERT_EQ(table.RowCount(), 1u);
  const DataRow& row = table.Row(0);
  EXPECT_EQ(text(row, L"JAVASCRIPT_NAME"), L"preinstall.js");
  EXPECT_EQ(text(row, L"JAVASCRIPT_REVISION"), L"12");
  EXPECT_EQ(text(row, L"COREFRAMEWORK_VERSION"), L"1.0");
  EXPECT_EQ(number(row, L"EXECUTION_STATUS"), 0);
  EXPECT_TRUE(isTimeText(text(row, L"START_TIME")));
  EXPECT_EQ(text(row, L"END_TIME"), L"<unset>");

  StartJSExecution(table, L"second.js", L"", L"");
  EndJSExecution(table, 5);
  EXPECT_EQ(number(table.Row(0), L"EXECUTION_STATUS"), 5);
  EXPECT_TRUE(isTimeText(text(table.Row(0), L"END_TIME")));
  EXPECT_EQ(number(table.Row(1), L"EXECUTION_STATUS"), 0);
}

TEST(ProblemStatusStore, NewStatusRowHasUnsetTimes) {
  ProblemStatusStore store;
  store.AddStatus(7, 100, ProblemStatus::kDeclared);
  ASSERT_EQ(store.Table().RowCount(), 1u);
  EXPECT_EQ(number(store.Table().Row(0), L"STATUS"), 0);
  EXPECT_EQ(text(store.Table().Row(0), L"START_TIME"), L"<unset>");
  EXPECT_NE(store.Table().GetInsertText().find(L"VALUES(7,100,0,'','')"), std::wstring::npos);
}

TEST(CollectionTable, AddCollectionRowSetsEveryColumnButId) {
  DataTable table;
  CreateCollectionTable(table);
  AddCollectionRow(table, 3, CollectionType::kFile, L"C:\\logs\\*.log", L"collection\\file", 0,
                   false, true);
  EXPECT_EQ(table.GetInsertText(),
            L"INSERT INTO COLLECTION_TABLE(OPERATION_ID,COLLECTION_TYPE,SOURCE,DESTINATION,SIZE,"
            L"ISDB,ISIMPORTANT) VALUES(3,1,'C:\\logs\\*.log','collection\\file',0,0,1); ");
}

TEST(EnvironmentCollection, EntriesKeepTheirOrder) {
  EnvironmentCollection env;
  env.AddEntry(L"Operating System Name", L"Windows 10 Pro");
  env.AddEntry(L"Operating System Major Version", L"10");
  ASSERT_EQ(env.Table().RowCount(), 2u);
  EXPECT_EQ(text(env.Table().Row(0), L"KEY"), L"Operating System Name");
  EXPECT_EQ(text(env.Table().Row(1), L"VALUE"), L"10");
}

}  // namespace
}  // namespace zorel
