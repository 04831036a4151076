// CSqliteDBConnection on a real database file.

#include <gtest/gtest.h>

#include "store_test_support.h"
#include "zorel/store/data_table.h"
#include "zorel/store/sqlite_db_connection.h"

namespace zorel {
namespace {

using testing::LogWatch;
using testing::TempFolder;

class SqliteConnection : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db.Open(folder.wide() + L"/t.db"));
    ASSERT_TRUE(db.ExecuteQuery(
        L"CREATE TABLE PROBLEM_STATUS_TABLE(PROBLEM_ID INTEGER,STAGE_ID INTEGER,STATUS "
        L"INTEGER,START_TIME DATETIME,END_TIME DATETIME)"));
  }
  void TearDown() override { EXPECT_TRUE(db.Close()); }

  TempFolder folder;
  CSqliteDBConnection db;
};

TEST_F(SqliteConnection, EmptyResultLeavesTableEmptyAndSucceeds) {
  DataTable result;
  EXPECT_TRUE(db.ExecuteSelect(L"select * from PROBLEM_STATUS_TABLE where STAGE_ID=5", result));
  EXPECT_EQ(result.ColumnCount(), 0u);
  EXPECT_EQ(result.RowCount(), 0u);
}

TEST_F(SqliteConnection, ColumnsAreNamedAsDeclaredWhateverTheQueryCase) {
  ASSERT_TRUE(db.ExecuteQuery(L"insert into PROBLEM_STATUS_TABLE values(7,100,0,'','')"));
  DataTable result;
  ASSERT_TRUE(db.ExecuteSelect(L"select problem_id from problem_status_table", result));
  ASSERT_EQ(result.ColumnCount(), 1u);
  EXPECT_EQ(result.Column(0).name, L"PROBLEM_ID");
  EXPECT_EQ(result.Column(0).type, ColumnType::kInteger);
  int32_t id = -1;
  result.Row(0).GetInt(L"problem_id", id);
  EXPECT_EQ(id, -1);
  result.Row(0).GetInt(L"PROBLEM_ID", id);
  EXPECT_EQ(id, 7);
}

TEST_F(SqliteConnection, ValuesAreReadByTheirOwnStorageClass) {
  ASSERT_TRUE(db.ExecuteQuery(
      L"create table V(A, B, C, D); insert into V values(NULL, 0.1, 'text', x'0102');"
      L"insert into V values(5, 'x', 3, NULL)"));
  DataTable result;
  ASSERT_TRUE(db.ExecuteSelect(L"select * from V", result));
  ASSERT_EQ(result.ColumnCount(), 4u);
  ASSERT_EQ(result.RowCount(), 2u);
  // Column types come from the first row: NULL and blob give no type.
  EXPECT_EQ(result.Column(0).type, ColumnType::kNone);
  EXPECT_EQ(result.Column(1).type, ColumnType::kFloat);
  EXPECT_EQ(result.Column(2).type, ColumnType::kText);
  EXPECT_EQ(result.Column(3).type, ColumnType::kNone);

  std::wstring text = L"preset";
  result.Row(0).GetString(L"A", text);  // NULL stays empty
  EXPECT_EQ(text, L"preset");
  float f = 0;
  result.Row(0).GetFloat(L"B", f);
  EXPECT_EQ(f, 0.1f);
  result.Row(0).GetString(L"C", text);
  EXPECT_EQ(text, L"text");
  EXPECT_FALSE(result.Row(0).Values().at(L"D").has_value());  // blob stays empty

  int32_t i = -1;
  result.Row(1).GetInt(L"B", i);  // holds text in this row
  EXPECT_EQ(i, -1);
  result.Row(1).GetInt(L"A", i);
  EXPECT_EQ(i, 5);
}

TEST_F(SqliteConnection, ExecuteQueryRunsEveryStatementOfTheText) {
  ASSERT_TRUE(db.ExecuteQuery(L"insert into PROBLEM_STATUS_TABLE values(1,100,0,'',''); "
                              L"insert into PROBLEM_STATUS_TABLE values(2,100,0,'',''); "));
  DataTable result;
  ASSERT_TRUE(db.ExecuteSelect(L"select count(*) as N from PROBLEM_STATUS_TABLE", result));
  int32_t n = 0;
  result.Row(0).GetInt(L"N", n);
  EXPECT_EQ(n, 2);
}

TEST_F(SqliteConnection, StatementErrorIsLoggedWithSqliteMessage) {
  LogWatch log;
  EXPECT_FALSE(db.ExecuteQuery(L"insert into NO_SUCH_TABLE values(1)"));
  EXPECT_NE(log.Text().find("ExecuteQuery - SQL error: no such table: NO_SUCH_TABLE"),
            std::string::npos);
}

TEST_F(SqliteConnection, LastInsertRowIdOfAnAutoIncrementTable) {
  ASSERT_TRUE(db.ExecuteQuery(L"CREATE TABLE A(ID INTEGER PRIMARY KEY autoincrement,X INTEGER)"));
  ASSERT_TRUE(db.ExecuteQuery(L"insert into A(X) values(1)"));
  ASSERT_TRUE(db.ExecuteQuery(L"insert into A(X) values(2)"));
  EXPECT_EQ(db.GetLastInsertRowId(), 2);
}

TEST_F(SqliteConnection, SelectThatCannotBePreparedFails) {
  DataTable result;
  EXPECT_FALSE(db.ExecuteSelect(L"select * from NOWHERE", result));
  EXPECT_EQ(result.ColumnCount(), 0u);
}

TEST_F(SqliteConnection, StatementThatFailsWhileRunningIsAFailure) {
  ASSERT_TRUE(db.ExecuteQuery(L"CREATE TABLE P(ID INTEGER PRIMARY KEY); "
                              L"insert into P values(1); insert into P values(2)"));
  DataTable result;
  EXPECT_FALSE(db.ExecuteSelect(L"update P set ID=2 where ID=1", result));
  EXPECT_EQ(result.RowCount(), 0u);
}

TEST_F(SqliteConnection, SelectRunsOnlyTheFirstStatement) {
  DataTable result;
  EXPECT_TRUE(db.ExecuteSelect(L"select 1 as A; drop table PROBLEM_STATUS_TABLE", result));
  EXPECT_EQ(result.RowCount(), 1u);
  DataTable still;
  EXPECT_TRUE(db.ExecuteSelect(L"select * from PROBLEM_STATUS_TABLE", still));
}

TEST_F(SqliteConnection, OpeningAgainReplacesTheFirstHandle) {
  EXPECT_TRUE(db.Open(folder.wide() + L"/other.db"));
  EXPECT_TRUE(db.ExecuteQuery(L"create table OTHER(A)"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "other.db"));
}

TEST(SqliteConnectionClosed, NeverOpenedConnectionFailsQuietlyAndClosesTrue) {
  CSqliteDBConnection db;
  DataTable result;
  EXPECT_EQ(db.GetLastInsertRowId(), -1);
  EXPECT_FALSE(db.ExecuteSelect(L"select 1", result));
  EXPECT_FALSE(db.ExecuteQuery(L"select 1"));
  EXPECT_TRUE(db.Close());
  EXPECT_TRUE(db.Close());
  EXPECT_FALSE(db.IsOpen());
}

TEST(SqliteConnectionClosed, OpenFailureIsLoggedAndLeavesItClosed) {
  TempFolder folder;
  CSqliteDBConnection db;
  LogWatch log;
  EXPECT_FALSE(db.Open(folder.wide() + L"/missing/dir/t.db"));
  EXPECT_FALSE(db.IsOpen());
  EXPECT_NE(log.Text().find("Can't open database: unable to open database file"),
            std::string::npos);
}

TEST(SqliteConnectionClosed, OpenIsLoggedAndCloseLeavesNoSideFiles) {
  TempFolder folder;
  CSqliteDBConnection db;
  LogWatch log;
  ASSERT_TRUE(db.Open(folder.wide() + L"/t.db"));
  EXPECT_NE(log.Text().find("Opened database successfully"), std::string::npos);
  ASSERT_TRUE(db.ExecuteQuery(L"create table A(X); insert into A values(1)"));
  EXPECT_TRUE(std::filesystem::exists(folder.path() / "t.db-wal"));
  EXPECT_TRUE(db.Close());
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "t.db-wal"));
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "t.db-shm"));
}

}  // namespace
}  // namespace zorel
