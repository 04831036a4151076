// ResultStore on a real ResultStore.db in a host folder, checked through
// the store itself and through the sqlite3 command-line tool.

#include <gtest/gtest.h>

#include "store_test_support.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/environment_collection.h"
#include "zorel/store/jsexecution_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

using testing::LogWatch;
using testing::sqliteCli;
using testing::TempFolder;

int32_t countRows(IResultStore& store, const std::wstring& sql) {
  DataTable result;
  if (!store.ExecuteQuery(sql, result) || result.RowCount() != 1) return -1;
  int32_t n = -1;
  result.Row(0).GetInt(L"N", n);
  return n;
}

class OpenStore : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.Open(folder.wide())); }
  void TearDown() override { store.Close(false); }
  std::string database() const { return folder.file("ResultStore.db"); }

  TempFolder folder;
  ResultStore store;
};

TEST(ResultStoreFolder, OpenKeepsTheWindowsFolderAndTheHostFolderBehindIt) {
  TempFolder folder;
  const std::string root = folder.file("machine");
  std::filesystem::create_directories(root + "/drive_c/Data/zorel");
  const std::string outside = folder.file("outside");
  std::filesystem::create_directories(outside);
  const auto mapper = platform::createPathMapper(root);
  std::wstring outsideWindows = L"Z:" + fromUtf8(outside) + L"\\";
  for (wchar_t& c : outsideWindows) {
    if (c == L'/') c = L'\\';
  }
  const struct {
    std::wstring given;
    std::wstring windows;  // GetStoreFolder
    std::string host;
  } cases[] = {
      // A Windows folder, with or without its separator, either kind.
      {L"C:\\Data\\zorel", L"C:\\Data\\zorel\\", root + "/drive_c/Data/zorel"},
      {L"C:\\Data\\zorel\\", L"C:\\Data\\zorel\\", root + "/drive_c/Data/zorel"},
      {L"c:/data/ZOREL/", L"c:\\data\\ZOREL\\", root + "/drive_c/Data/zorel"},
      {L"C:\\Data\\zorel\\\\", L"C:\\Data\\zorel\\", root + "/drive_c/Data/zorel"},
      // A host folder inside the machine's drive_c is its C:\ folder.
      {fromUtf8(root) + L"/drive_c/Data/zorel/", L"C:\\Data\\zorel\\",
       root + "/drive_c/Data/zorel"},
      // Any other host folder is seen through Z:.
      {fromUtf8(outside), outsideWindows, outside},
      {fromUtf8(outside) + L"/", outsideWindows, outside},
  };
  int32_t stageId = 0;
  for (const auto& c : cases) {
    ResultStore store;
    store.SetPathMapper(mapper.get());
    ASSERT_TRUE(store.Open(c.given)) << toUtf8(c.given);
    EXPECT_EQ(store.GetStoreFolder(), c.windows) << toUtf8(c.given);
    EXPECT_EQ(store.HostFolder(), c.host) << toUtf8(c.given);
    ProblemStageStore stage;
    stage.AddStage(++stageId, L"x");
    EXPECT_TRUE(store.Insert(stage.Table()));
    EXPECT_TRUE(store.Close(false));
  }
  EXPECT_EQ(sqliteCli(root + "/drive_c/Data/zorel/ResultStore.db",
                      "select count(*) from PROBLEM_STAGE_TABLE"),
            "5\n");
}

TEST(ResultStoreFolder, AnEmptyOrUnmappableFolderOpensNothing) {
  TempFolder folder;
  const auto mapper = platform::createPathMapper(folder.file("machine"));
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  for (const std::wstring given : {L"", L"Q:\\no\\drive"}) {
    ResultStore store;
    store.SetPathMapper(mapper.get());
    LogWatch log;
    EXPECT_FALSE(store.Open(given));
    EXPECT_EQ(store.GetStoreFolder(), L"");
    EXPECT_NE(log.Text().find("Failed to open result store"), std::string::npos);
    EXPECT_TRUE(store.Close(true));
  }
  // Nothing was made in the working directory.
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  std::filesystem::current_path(previous);
}

TEST(ResultStoreFolder, OpenFailureIsReported) {
  TempFolder folder;
  ResultStore store;
  LogWatch log;
  EXPECT_FALSE(store.Open(folder.wide() + L"/no/such/folder"));
  EXPECT_NE(log.Text().find("Failed to open result store"), std::string::npos);
}

TEST_F(OpenStore, SchemaInTheFileIsExactlyTheCoreTableTexts) {
  const std::string schema = sqliteCli(database(), ".schema");
  const char* expected[] = {
      "CREATE TABLE JSEXECUTION_TABLE(ID INTEGER PRIMARY KEY autoincrement,JAVASCRIPT_NAME "
      "VARCHAR(512),JAVASCRIPT_REVISION VARCHAR(512),COREFRAMEWORK_VERSION VARCHAR(512),"
      "START_TIME DATETIME,END_TIME DATETIME,EXECUTION_STATUS INTEGER);",
      "CREATE TABLE OPERATION_TABLE(ID INTEGER PRIMARY KEY autoincrement,PROBLEM_ID INTEGER,"
      "STAGE_ID INTEGER,OPERATION_TYPE INTEGER,COMPONENT_NAME VARCHAR(512),API_NAME "
      "VARCHAR(512),INPUT_DETAILS VARCHAR(512),EXECUTION_STATUS INTEGER,ERROR_CODE INTEGER,"
      "ERROR_STRING VARCHAR(512),START_TIME DATETIME,END_TIME DATETIME);",
      "CREATE TABLE COLLECTION_TABLE(ID INTEGER PRIMARY KEY autoincrement,OPERATION_ID "
      "INTEGER,COLLECTION_TYPE INTEGER,SOURCE VARCHAR(2048),DESTINATION VARCHAR(512),SIZE "
      "INTEGER,ISDB BOOLEAN,ISIMPORTANT BOOLEAN);",
      "CREATE TABLE COLLECTION_TABLE_NAMES(ID INTEGER PRIMARY KEY autoincrement,TABLE_NAME "
      "VARCHAR(512) UNIQUE);",
      "CREATE TABLE COLLECTION_TABLE_FIELDS(TABLE_NAMES_ID INTEGER,FIELD_NAME VARCHAR(512),"
      "DATA_TYPE INTEGER,UNIQUE(TABLE_NAMES_ID,FIELD_NAME,DATA_TYPE) ON CONFLICT REPLACE);",
      "CREATE TABLE PROBLEM_TABLE(ID INTEGER PRIMARY KEY,NAME VARCHAR(512),DESCRIPTION "
      "VARCHAR(512),URL VARCHAR(512));",
      "CREATE TABLE PROBLEM_STAGE_TABLE(ID INTEGER PRIMARY KEY,NAME VARCHAR(512));",
      "CREATE TABLE PROBLEM_STATUS_TABLE(PROBLEM_ID INTEGER,STAGE_ID INTEGER,STATUS INTEGER,"
      "START_TIME DATETIME,END_TIME DATETIME);",
      // Registered right after the core tables.
      "CREATE TABLE ENVIRONMENT_COLLECTION_TABLE(KEY VARCHAR(512) PRIMARY KEY,VALUE "
      "VARCHAR(512));",
  };
  // SQLite's own bookkeeping table for the autoincrement keys.
  std::string rest = schema;
  const std::string sequence = "CREATE TABLE sqlite_sequence(name,seq);\n";
  ASSERT_NE(rest.find(sequence), std::string::npos) << schema;
  rest.erase(rest.find(sequence), sequence.size());
  std::string ordered;
  for (const char* text : expected) ordered += std::string(text) + "\n";
  EXPECT_EQ(rest, ordered) << schema;
}

TEST_F(OpenStore, OneRowInsertSetsTheNewIdTwoRowInsertDoesNot) {
  OperationStore first;
  first.Begin(0, L"plugins\\win\\env\\OS", L"OS::getOSName");
  first.Finish(L"", 1, 0);
  ASSERT_TRUE(store.Insert(first.Table()));
  int32_t id = -1;
  first.Table().Row(0).GetInt(L"ID", id);
  EXPECT_EQ(id, 1);

  DataTable collection;
  CreateCollectionTable(collection);
  AddCollectionRow(collection, id, CollectionType::kFile, L"a", L"b", 0, false, false);
  AddCollectionRow(collection, id, CollectionType::kFolder, L"c", L"d", 0, false, false);
  ASSERT_TRUE(store.Insert(collection));
  for (size_t i = 0; i < 2; ++i) {
    int32_t rowId = -1;
    collection.Row(i).GetInt(L"ID", rowId);
    EXPECT_EQ(rowId, -1);
  }
  EXPECT_EQ(countRows(store, L"select count(*) as N from COLLECTION_TABLE where OPERATION_ID=1"),
            2);

  // A table whose key is given keeps that key as its ID.
  ProblemStore problem;
  problem.AddProblem(42, L"n", L"d", L"u");
  ASSERT_TRUE(store.Insert(problem.Table()));
  problem.Table().Row(0).GetInt(L"ID", id);
  EXPECT_EQ(id, 42);
}

TEST_F(OpenStore, RegisterStoreTwiceKeepsOneNameRowAndOneFieldSet) {
  DataTable plugin(L"SERVICE_TABLE");
  plugin.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
  plugin.AddColumn(L"NAME", ColumnType::kText);
  plugin.AddColumn(L"RUNNING", ColumnType::kBoolean);
  EXPECT_TRUE(store.RegisterStore(plugin));
  LogWatch log;
  EXPECT_TRUE(store.RegisterStore(plugin));
  // The second time the table and the name exist already.
  EXPECT_NE(log.Text().find("Failed to create store table: SERVICE_TABLE"), std::string::npos);

  EXPECT_EQ(countRows(store, L"select count(*) as N from COLLECTION_TABLE_NAMES where "
                             L"TABLE_NAME='SERVICE_TABLE'"),
            1);
  EXPECT_EQ(sqliteCli(database(),
                      "select FIELD_NAME||':'||DATA_TYPE from COLLECTION_TABLE_FIELDS f join "
                      "COLLECTION_TABLE_NAMES n on n.ID=f.TABLE_NAMES_ID where "
                      "n.TABLE_NAME='SERVICE_TABLE' order by f.rowid"),
            "ID:1\nNAME:3\nRUNNING:4\n");
}

TEST_F(OpenStore, DuplicateNameIsRejectedDuplicateFieldIsReplaced) {
  CollectionTableNameStore names;
  names.AddTableName(L"ENVIRONMENT_COLLECTION_TABLE");
  EXPECT_FALSE(store.Insert(names.Table()));

  CollectionTableFieldStore fields;
  fields.AddField(99, L"X", 3);
  ASSERT_TRUE(store.Insert(fields.Table()));
  CollectionTableFieldStore again;
  again.AddField(99, L"X", 3);
  ASSERT_TRUE(store.Insert(again.Table()));
  EXPECT_EQ(countRows(store, L"select count(*) as N from COLLECTION_TABLE_FIELDS where "
                             L"TABLE_NAMES_ID=99"),
            1);
}

TEST_F(OpenStore, UpdateRewritesByKeyAndAKeylessTableIsReportedNotCrashed) {
  DataTable run;
  CreateJsExecutionTable(run);
  StartJSExecution(run, L"a.js", L"1", L"2");
  ASSERT_TRUE(store.Insert(run));
  EndJSExecution(run, 5);
  ASSERT_TRUE(store.Update(run));
  EXPECT_EQ(sqliteCli(database(), "select ID, EXECUTION_STATUS, END_TIME<>'' from "
                                  "JSEXECUTION_TABLE"),
            "1|5|1\n");

  ProblemStatusStore status;
  status.AddStatus(1, 100, 0);
  ASSERT_TRUE(store.Insert(status.Table()));
  LogWatch log;
  EXPECT_FALSE(store.Update(status.Table()));
  const std::string text = log.Text();
  EXPECT_NE(text.find("ExecuteQuery - SQL error: "), std::string::npos);
  EXPECT_NE(text.find("Failed to update in to store: PROBLEM_STATUS_TABLE"), std::string::npos);
}

TEST_F(OpenStore, ExecuteQueryResultsAndFailures) {
  DataTable empty;
  EXPECT_TRUE(store.ExecuteQuery(L"select * from PROBLEM_TABLE", empty));
  EXPECT_EQ(empty.ColumnCount(), 0u);
  EXPECT_EQ(empty.RowCount(), 0u);

  ProblemStatusStore status;
  status.AddStatus(7, 101, 0);
  ASSERT_TRUE(store.Insert(status.Table()));
  DataTable scratch;
  EXPECT_TRUE(store.ExecuteQuery(
      L"update PROBLEM_STATUS_TABLE set STATUS=3 where PROBLEM_ID=7 and STAGE_ID=101", scratch));
  EXPECT_EQ(scratch.RowCount(), 0u);
  DataTable result;
  ASSERT_TRUE(store.ExecuteQuery(L"select status from problem_status_table", result));
  int32_t value = -1;
  result.Row(0).GetInt(L"STATUS", value);
  EXPECT_EQ(value, 3);

  LogWatch log;
  DataTable bad;
  EXPECT_FALSE(store.ExecuteQuery(L"select * from NO_TABLE", bad));
  EXPECT_NE(log.Text().find("Failed to execute the query: select * from NO_TABLE"),
            std::string::npos);
}

TEST_F(OpenStore, DuplicateProblemFailsButItsStatusRowsAreInserted) {
  ProblemStore first;
  first.AddProblem(7, L"n", L"d", L"u");
  ASSERT_TRUE(store.Insert(first.Table()));
  ProblemStore duplicate;
  duplicate.AddProblem(7, L"n2", L"d2", L"u2");
  LogWatch log;
  EXPECT_FALSE(store.Insert(duplicate.Table()));
  EXPECT_NE(log.Text().find("Failed to insert in to store: PROBLEM_TABLE"), std::string::npos);
  ProblemStatusStore statuses;
  statuses.AddStatus(7, 100, 0);
  statuses.AddStatus(7, 101, 0);
  EXPECT_TRUE(store.Insert(statuses.Table()));
  EXPECT_EQ(countRows(store, L"select count(*) as N from PROBLEM_STATUS_TABLE"), 2);
}

TEST_F(OpenStore, CheckpointMakesTheFileAloneComplete) {
  for (int32_t i = 0; i < 50; ++i) {
    ProblemStageStore stage;
    stage.AddStage(i, L"stage");
    ASSERT_TRUE(store.Insert(stage.Table()));
  }
  ASSERT_TRUE(store.Checkpoint());
  // Copy only the database file, as a cabinet writer does, while still open.
  TempFolder copy;
  std::filesystem::copy_file(database(), copy.file("ResultStore.db"));
  EXPECT_EQ(sqliteCli(copy.file("ResultStore.db"), "select count(*) from PROBLEM_STAGE_TABLE"),
            "50\n");
  EXPECT_EQ(sqliteCli(copy.file("ResultStore.db"), "PRAGMA integrity_check"), "ok\n");
}

TEST_F(OpenStore, EnvironmentTableIsRegisteredAndEmptyWithoutCollector) {
  EXPECT_EQ(countRows(store, L"select count(*) as N from ENVIRONMENT_COLLECTION_TABLE"), 0);
  EXPECT_EQ(countRows(store, L"select count(*) as N from COLLECTION_TABLE_NAMES where "
                             L"TABLE_NAME='ENVIRONMENT_COLLECTION_TABLE'"),
            1);
  EXPECT_EQ(countRows(store, L"select count(*) as N from COLLECTION_TABLE_FIELDS"), 2);
}

TEST(ResultStoreOpen, CollectorRowsAreInsertedAndAFailedInsertOnlyWarns) {
  TempFolder folder;
  ResultStore store;
  store.SetEnvironmentCollector([](EnvironmentCollection& env) {
    env.AddEntry(L"Operating System Name", L"Windows 10 Pro");
    env.AddEntry(L"Operating System Major Version", L"10");
  });
  ASSERT_TRUE(store.Open(folder.wide()));
  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"),
                      "select KEY||'='||VALUE from ENVIRONMENT_COLLECTION_TABLE order by rowid"),
            "Operating System Name=Windows 10 Pro\nOperating System Major Version=10\n");
  ASSERT_TRUE(store.Close(true));

  // A second run gathers again; a duplicate key makes the insert fail.
  store.SetEnvironmentCollector([](EnvironmentCollection& env) {
    env.AddEntry(L"K", L"1");
    env.AddEntry(L"K", L"2");
  });
  LogWatch log;
  ASSERT_TRUE(store.Open(folder.wide()));
  EXPECT_NE(log.Text().find("Some issue in the default collection of environment details"),
            std::string::npos);
  store.Close(true);
}

TEST(ResultStoreOpen, ReopeningAnExistingDatabaseLogsEachTableAndKeepsWorking) {
  TempFolder folder;
  {
    ResultStore store;
    ASSERT_TRUE(store.Open(folder.wide()));
    ProblemStageStore stage;
    stage.AddStage(100, L"a");
    ASSERT_TRUE(store.Insert(stage.Table()));
    ASSERT_TRUE(store.Close(false));
  }
  ResultStore store;
  LogWatch log;
  ASSERT_TRUE(store.Open(folder.wide()));
  const std::string text = log.Text();
  for (const char* name : {"JSEXECUTION_TABLE", "OPERATION_TABLE", "COLLECTION_TABLE",
                           "COLLECTION_TABLE_NAMES", "COLLECTION_TABLE_FIELDS", "PROBLEM_TABLE",
                           "PROBLEM_STAGE_TABLE", "PROBLEM_STATUS_TABLE"}) {
    EXPECT_NE(text.find(std::string("Failed to create store table: ") + name + "\n"),
              std::string::npos)
        << name;
  }
  EXPECT_EQ(countRows(store, L"select count(*) as N from PROBLEM_STAGE_TABLE"), 1);
  store.Close(false);
}

TEST(ResultStoreClose, DeleteFlagRemovesTheDatabaseAndNoSideFilesRemain) {
  TempFolder folder;
  const auto db = folder.path() / "ResultStore.db";
  {
    ResultStore store;
    ASSERT_TRUE(store.Open(folder.wide()));
    ProblemStageStore stage;
    stage.AddStage(100, L"a");
    ASSERT_TRUE(store.Insert(stage.Table()));
    ASSERT_TRUE(store.Close(false));
    EXPECT_TRUE(std::filesystem::exists(db));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "ResultStore.db-wal"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "ResultStore.db-shm"));

    ASSERT_TRUE(store.Open(folder.wide()));
    ASSERT_TRUE(store.Close(true));
    EXPECT_FALSE(std::filesystem::exists(db));
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
  }
  // A store dropped while open leaves a complete file and no side files.
  {
    ResultStore store;
    ASSERT_TRUE(store.Open(folder.wide()));
  }
  EXPECT_TRUE(std::filesystem::exists(db));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "ResultStore.db-wal"));
}

TEST(ResultStoreClose, CloseBeforeOpenDeletesNothing) {
  TempFolder folder;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  { std::ofstream(folder.file("ResultStore.db")) << "keep"; }
  ResultStore store;
  EXPECT_TRUE(store.Close(true));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "ResultStore.db"));
  std::filesystem::current_path(previous);
}

TEST(ResultStoreClosed, EveryOperationBeforeOpenFailsWithoutCrashing) {
  ResultStore store;
  ProblemStore problem;
  problem.AddProblem(1, L"n", L"d", L"u");
  DataTable result;
  LogWatch log;
  EXPECT_FALSE(store.Insert(problem.Table()));
  EXPECT_FALSE(store.Update(problem.Table()));
  EXPECT_FALSE(store.ExecuteQuery(L"select 1", result));
  EXPECT_FALSE(store.RegisterStore(problem.Table()));
  EXPECT_FALSE(store.Checkpoint());
  EXPECT_EQ(store.GetStoreFolder(), L"");
  EXPECT_NE(log.Text().find("Failed to insert in to store: PROBLEM_TABLE"), std::string::npos);
}

}  // namespace
}  // namespace zorel
