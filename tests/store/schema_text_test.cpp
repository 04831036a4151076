// The SQL texts built from table descriptions. The CREATE TABLE texts are
// the schema of the result file and are compared byte for byte.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "zorel/store/collection_tables.h"
#include "zorel/store/environment_collection.h"
#include "zorel/store/jsexecution_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/problem_stores.h"

namespace zorel {
namespace {

TEST(SchemaText, CoreTablesCreateTexts) {
  DataTable js;
  CreateJsExecutionTable(js);
  DataTable collection;
  CreateCollectionTable(collection);
  const struct {
    std::wstring actual;
    const wchar_t* expected;
  } cases[] = {
      {js.GetCreateTableText(),
       L"CREATE TABLE JSEXECUTION_TABLE(ID INTEGER PRIMARY KEY autoincrement,JAVASCRIPT_NAME "
       L"VARCHAR(512),JAVASCRIPT_REVISION VARCHAR(512),COREFRAMEWORK_VERSION VARCHAR(512),"
       L"START_TIME DATETIME,END_TIME DATETIME,EXECUTION_STATUS INTEGER)"},
      {OperationStore().Table().GetCreateTableText(),
       L"CREATE TABLE OPERATION_TABLE(ID INTEGER PRIMARY KEY autoincrement,PROBLEM_ID INTEGER,"
       L"STAGE_ID INTEGER,OPERATION_TYPE INTEGER,COMPONENT_NAME VARCHAR(512),API_NAME "
       L"VARCHAR(512),INPUT_DETAILS VARCHAR(512),EXECUTION_STATUS INTEGER,ERROR_CODE INTEGER,"
       L"ERROR_STRING VARCHAR(512),START_TIME DATETIME,END_TIME DATETIME)"},
      // SOURCE carries its own length.
      {collection.GetCreateTableText(),
       L"CREATE TABLE COLLECTION_TABLE(ID INTEGER PRIMARY KEY autoincrement,OPERATION_ID "
       L"INTEGER,COLLECTION_TYPE INTEGER,SOURCE VARCHAR(2048),DESTINATION VARCHAR(512),SIZE "
       L"INTEGER,ISDB BOOLEAN,ISIMPORTANT BOOLEAN)"},
      {CollectionTableNameStore().Table().GetCreateTableText(),
       L"CREATE TABLE COLLECTION_TABLE_NAMES(ID INTEGER PRIMARY KEY autoincrement,TABLE_NAME "
       L"VARCHAR(512) UNIQUE)"},
      // The unique group becomes one table-level clause.
      {CollectionTableFieldStore().Table().GetCreateTableText(),
       L"CREATE TABLE COLLECTION_TABLE_FIELDS(TABLE_NAMES_ID INTEGER,FIELD_NAME VARCHAR(512),"
       L"DATA_TYPE INTEGER,UNIQUE(TABLE_NAMES_ID,FIELD_NAME,DATA_TYPE) ON CONFLICT REPLACE)"},
      {ProblemStore().Table().GetCreateTableText(),
       L"CREATE TABLE PROBLEM_TABLE(ID INTEGER PRIMARY KEY,NAME VARCHAR(512),DESCRIPTION "
       L"VARCHAR(512),URL VARCHAR(512))"},
      {ProblemStageStore().Table().GetCreateTableText(),
       L"CREATE TABLE PROBLEM_STAGE_TABLE(ID INTEGER PRIMARY KEY,NAME VARCHAR(512))"},
      {ProblemStatusStore().Table().GetCreateTableText(),
       L"CREATE TABLE PROBLEM_STATUS_TABLE(PROBLEM_ID INTEGER,STAGE_ID INTEGER,STATUS INTEGER,"
       L"START_TIME DATETIME,END_TIME DATETIME)"},
      {EnvironmentCollection().Table().GetCreateTableText(),
       L"CREATE TABLE ENVIRONMENT_COLLECTION_TABLE(KEY VARCHAR(512) PRIMARY KEY,VALUE "
       L"VARCHAR(512))"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(SchemaText, ColumnWithoutTypeWordAndSuffixPriority) {
  DataTable table(L"T");
  table.AddColumn(L"A", ColumnType::kNone);
  // Auto-increment wins over the other flags; only one suffix is written.
  table.AddColumn(L"B", ColumnType::kInteger, kAutoKey | kUnique);
  table.AddColumn(L"C", ColumnType::kInteger, kPrimaryKey | kUnique | kUniqueGroup);
  table.AddColumn(L"D", ColumnType::kFloat, kUniqueGroup);
  table.AddColumn(L"E", ColumnType::kText, kNoFlags, 7);
  EXPECT_EQ(table.GetCreateTableText(),
            L"CREATE TABLE T(A ,B INTEGER PRIMARY KEY autoincrement,C INTEGER PRIMARY KEY,"
            L"D FLOAT,E VARCHAR(7),UNIQUE(C,D) ON CONFLICT REPLACE)");
}

TEST(SchemaText, InsertOfOneProblemRow) {
  ProblemStore store;
  store.AddProblem(7, L"x", L"y", L"z");
  EXPECT_EQ(store.Table().GetInsertText(),
            L"INSERT INTO PROBLEM_TABLE(ID,NAME,DESCRIPTION,URL) VALUES(7,'x','y','z'); ");
}

TEST(SchemaText, InsertOrIgnoreOnlyForSeveralRowsWithAUniqueColumn) {
  CollectionTableNameStore names;
  names.AddTableName(L"A");
  EXPECT_EQ(names.Table().GetInsertText(),
            L"INSERT INTO COLLECTION_TABLE_NAMES(TABLE_NAME) VALUES('A'); ");
  names.AddTableName(L"B");
  EXPECT_EQ(names.Table().GetInsertText(),
            L"INSERT OR IGNORE INTO COLLECTION_TABLE_NAMES(TABLE_NAME) VALUES('A'); "
            L"INSERT OR IGNORE INTO COLLECTION_TABLE_NAMES(TABLE_NAME) VALUES('B'); ");

  // The unique group alone switches as well.
  CollectionTableFieldStore fields;
  fields.AddField(1, L"F", 3);
  EXPECT_EQ(fields.Table().GetInsertText().rfind(L"INSERT INTO ", 0), 0u);
  fields.AddField(1, L"G", 1);
  EXPECT_EQ(fields.Table().GetInsertText(),
            L"INSERT OR IGNORE INTO COLLECTION_TABLE_FIELDS(TABLE_NAMES_ID,FIELD_NAME,DATA_TYPE) "
            L"VALUES(1,'F',3); INSERT OR IGNORE INTO COLLECTION_TABLE_FIELDS(TABLE_NAMES_ID,"
            L"FIELD_NAME,DATA_TYPE) VALUES(1,'G',1); ");

  // Several rows without any unique column stay plain.
  ProblemStatusStore statuses;
  statuses.AddStatus(1, 100, 0);
  statuses.AddStatus(1, 101, 0);
  EXPECT_EQ(statuses.Table().GetInsertText().find(L"OR IGNORE"), std::wstring::npos);
}

TEST(SchemaText, AutoIncrementIdIsLeftOutOfInsertButWrittenInUpdate) {
  DataTable js;
  CreateJsExecutionTable(js);
  auto row = js.NewRow();
  row->Set(L"ID", int32_t{1});
  row->Set(L"JAVASCRIPT_NAME", L"a");
  row->Set(L"JAVASCRIPT_REVISION", L"b");
  row->Set(L"COREFRAMEWORK_VERSION", L"c");
  row->Set(L"START_TIME", L"t1");
  row->Set(L"END_TIME", L"t2");
  row->Set(L"EXECUTION_STATUS", int32_t{5});
  js.AddRow(std::move(row));
  EXPECT_EQ(js.GetInsertText(),
            L"INSERT INTO JSEXECUTION_TABLE(JAVASCRIPT_NAME,JAVASCRIPT_REVISION,"
            L"COREFRAMEWORK_VERSION,START_TIME,END_TIME,EXECUTION_STATUS) "
            L"VALUES('a','b','c','t1','t2',5); ");
  EXPECT_EQ(js.GetUpdateText(),
            L"update JSEXECUTION_TABLE set ID=1,JAVASCRIPT_NAME='a',JAVASCRIPT_REVISION='b',"
            L"COREFRAMEWORK_VERSION='c',START_TIME='t1',END_TIME='t2',EXECUTION_STATUS=5 "
            L"where ID=1;");
}

TEST(SchemaText, UpdateOfSeveralRowsAndOfATableWithoutKey) {
  ProblemStageStore stages;
  stages.AddStage(100, L"a");
  stages.AddStage(101, L"b");
  EXPECT_EQ(stages.Table().GetUpdateText(),
            L"update PROBLEM_STAGE_TABLE set ID=100,NAME='a' where ID=100;"
            L"update PROBLEM_STAGE_TABLE set ID=101,NAME='b' where ID=101;");

  ProblemStatusStore statuses;
  statuses.AddStatus(7, 100, 0);
  EXPECT_EQ(statuses.Table().GetUpdateText(),
            L"update PROBLEM_STATUS_TABLE set PROBLEM_ID=7,STAGE_ID=100,STATUS=0,START_TIME='',"
            L"END_TIME='' where =;");
}

TEST(SchemaText, ValueTextsAndDefaults) {
  DataTable table(L"T");
  table.AddColumn(L"I", ColumnType::kInteger);
  table.AddColumn(L"F", ColumnType::kFloat);
  table.AddColumn(L"S", ColumnType::kText);
  table.AddColumn(L"B", ColumnType::kBoolean);
  table.AddColumn(L"D", ColumnType::kDateTime);
  table.AddColumn(L"N", ColumnType::kNone);

  // Unset values: 0, 0, '', 0, '' and '' for the column without a type.
  table.AddRow(table.NewRow());
  EXPECT_EQ(table.GetInsertText(),
            L"INSERT INTO T(I,F,S,B,D,N) VALUES(0,0,'',0,'',''); ");

  DataTable set(L"T");
  for (const auto& c : table.Columns()) set.AddColumn(c->name, c->type);
  auto row = set.NewRow();
  row->Set(L"I", int32_t{-42});
  row->Set(L"F", 0.1f);
  row->Set(L"S", L"s");
  row->Set(L"B", true);
  row->Set(L"D", L"2016-02-01.14:03:05");
  row->Set(L"N", L"ignored");
  set.AddRow(std::move(row));
  EXPECT_EQ(set.GetInsertText(),
            L"INSERT INTO T(I,F,S,B,D,N) VALUES(-42,0.100000001,'s',1,'2016-02-01.14:03:05',''); ");
}

TEST(SchemaText, FloatTextsUsePrecisionNine) {
  DataTable table(L"T");
  const DataColumn& column = table.AddColumn(L"F", ColumnType::kFloat);
  const struct {
    float value;
    const wchar_t* text;
  } cases[] = {
      {0.1f, L"0.100000001"},
      {1.0f, L"1"},
      {-2.5f, L"-2.5"},
      {1e20f, L"1.00000002e+20"},
      {std::numeric_limits<float>::infinity(), L"inf"},
      {-std::numeric_limits<float>::infinity(), L"-inf"},
      {std::numeric_limits<float>::quiet_NaN(), L"nan"},
      {-std::numeric_limits<float>::quiet_NaN(), L"-nan"},
  };
  for (const auto& c : cases) {
    DataRow row;
    row.Set(L"F", c.value);
    EXPECT_EQ(table.GetValueText(ColumnType::kFloat, column, row), c.text);
  }
}

TEST(SchemaText, EmbeddedQuotesAreDoubledAndNothingElseChanges) {
  ProblemStore store;
  store.AddProblem(1, L"it's", L"a;b -- c", L"''");
  EXPECT_EQ(store.Table().GetInsertText(),
            L"INSERT INTO PROBLEM_TABLE(ID,NAME,DESCRIPTION,URL) "
            L"VALUES(1,'it''s','a;b -- c',''''''); ");
  // The value text itself is the stored text, before quoting.
  EXPECT_EQ(store.Table().GetValueText(ColumnType::kText, store.Table().Column(1),
                                       store.Table().Row(0)),
            L"it's");
}

TEST(SchemaText, BuildingAgainIncludesEveryRowAgain) {
  ProblemStageStore stages;
  stages.AddStage(1, L"a");
  const std::wstring first = stages.Table().GetInsertText();
  EXPECT_EQ(stages.Table().GetInsertText(), first);
  stages.AddStage(2, L"b");
  EXPECT_EQ(stages.Table().GetInsertText().find(first), 0u);
}

}  // namespace
}  // namespace zorel
