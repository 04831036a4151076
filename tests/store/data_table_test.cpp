// The row and table model: typed readers keep the caller's preset, rows
// start with one empty value per column, ownership stays with the table.

#include <gtest/gtest.h>

#include "zorel/store/data_table.h"

namespace zorel {
namespace {

TEST(DataRow, TypedReadersCopyOnlyTheMatchingType) {
  DataRow row;
  row.Set(L"I", int32_t{-7});
  row.Set(L"F", 0.25f);
  row.Set(L"S", L"text");
  row.Set(L"B", true);

  int32_t i = 99;
  float f = 9.f;
  std::wstring s = L"preset";
  bool b = false;
  row.GetInt(L"I", i);
  row.GetFloat(L"F", f);
  row.GetString(L"S", s);
  row.GetBool(L"B", b);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(f, 0.25f);
  EXPECT_EQ(s, L"text");
  EXPECT_TRUE(b);
}

TEST(DataRow, MissingEmptyOrMistypedValueLeavesThePreset) {
  DataRow row;
  row.At(L"EMPTY");
  row.Set(L"TEXT", L"12");
  row.Set(L"INT", int32_t{1});

  int32_t i = -1;
  row.GetInt(L"ABSENT", i);
  row.GetInt(L"EMPTY", i);
  row.GetInt(L"TEXT", i);  // text is not converted
  EXPECT_EQ(i, -1);

  std::wstring s = L"preset";
  row.GetString(L"INT", s);
  row.GetString(L"EMPTY", s);
  EXPECT_EQ(s, L"preset");

  bool b = true;
  row.GetBool(L"INT", b);  // an integer is not a bool
  EXPECT_TRUE(b);

  float f = 3.f;
  row.GetFloat(L"INT", f);
  EXPECT_EQ(f, 3.f);
}

TEST(DataRow, NamesAreCaseSensitive) {
  DataRow row;
  row.Set(L"PROBLEM_ID", int32_t{4});
  int32_t id = -1;
  row.GetInt(L"problem_id", id);
  EXPECT_EQ(id, -1);
  row.GetInt(L"PROBLEM_ID", id);
  EXPECT_EQ(id, 4);
}

TEST(DataRow, SetIfPresentOnlyReplacesExistingNames) {
  DataRow row;
  row.At(L"ID");
  row.SetIfPresent(L"ID", int32_t{5});
  row.SetIfPresent(L"OTHER", int32_t{6});
  EXPECT_TRUE(row.Has(L"ID"));
  EXPECT_FALSE(row.Has(L"OTHER"));
  int32_t id = 0;
  row.GetInt(L"ID", id);
  EXPECT_EQ(id, 5);
}

TEST(DataTable, NewRowHoldsOneEmptyValuePerColumnAndIsNotAdded) {
  DataTable table(L"T");
  table.AddColumn(L"A", ColumnType::kInteger);
  table.AddColumn(L"B", ColumnType::kText);
  auto row = table.NewRow();
  EXPECT_EQ(table.RowCount(), 0u);
  ASSERT_EQ(row->Values().size(), 2u);
  EXPECT_FALSE(row->Values().at(L"A").has_value());
  EXPECT_FALSE(row->Values().at(L"B").has_value());
  table.AddRow(std::move(row));
  EXPECT_EQ(table.RowCount(), 1u);
}

TEST(DataTable, NewColumnDefaults) {
  DataColumn column;
  EXPECT_EQ(column.type, ColumnType::kNone);
  EXPECT_EQ(column.length, -1);
  EXPECT_FALSE(column.autoIncrement || column.primaryKey || column.unique || column.uniqueGroup);
}

TEST(DataTable, MovedTableKeepsColumnsAndRows) {
  DataTable table(L"T");
  table.AddColumn(L"A", ColumnType::kInteger, kAutoKey);
  table.AddRow(table.NewRow());
  DataTable moved(std::move(table));
  EXPECT_EQ(moved.Name(), L"T");
  ASSERT_EQ(moved.ColumnCount(), 1u);
  EXPECT_TRUE(moved.Column(0).autoIncrement);
  EXPECT_TRUE(moved.Column(0).primaryKey);
  EXPECT_EQ(moved.RowCount(), 1u);
}

}  // namespace
}  // namespace zorel
