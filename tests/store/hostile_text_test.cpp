// Values that look like SQL, binary-looking text, text holding NUL, very
// long text and non-ASCII text go into the file as UTF-8 and come back
// unchanged; no value can end its literal and add or alter a statement.

#include <gtest/gtest.h>

#include "store_test_support.h"
#include "zorel/store/environment_collection.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

using testing::sqliteCli;
using testing::TempFolder;

std::vector<std::wstring> hostileValues() {
  std::wstring binary;
  for (wchar_t c = 1; c < 0x100; ++c) binary += c;  // every byte value but NUL
  std::wstring big(100 * 1024, L'x');
  for (size_t i = 0; i < big.size(); i += 97) big[i] = L'\'';
  return {
      L"it's",
      L"'",
      L"''",
      L"x'); DROP TABLE PROBLEM_TABLE; --",
      L"a;b;c",
      L"-- comment",
      L"/* open comment",
      L"\\' backslash quote",
      L"line\nbreak\r\ttab",
      binary,
      big,
      L"Gr\u00fc\u00dfe \u65e5\u672c \u0440\u0443\u0441 \U0001F600",
      L"C:\\Program Files (x86)\\O'Neil's Tools\\app.exe",
      // NUL characters, which end a literal when SQLite reads statement text.
      std::wstring(L"Micro\0soft", 10),
      std::wstring(L"\0", 1),
      std::wstring(L"a\0*.txt\0", 8),
  };
}

class HostileText : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(store.Open(folder.wide())); }
  void TearDown() override { store.Close(false); }

  TempFolder folder;
  ResultStore store;
};

TEST_F(HostileText, InsertedValuesReadBackUnchanged) {
  const auto values = hostileValues();
  for (size_t i = 0; i < values.size(); ++i) {
    ProblemStore problem;
    problem.AddProblem(static_cast<int32_t>(i), values[i], values[i], values[i]);
    ASSERT_TRUE(store.Insert(problem.Table())) << i;
  }
  // Several hostile rows in one statement text as well.
  ProblemStatusStore several;
  several.AddStatus(1, 100, 0);
  several.AddStatus(2, 100, 0);
  ASSERT_TRUE(store.Insert(several.Table()));

  DataTable result;
  ASSERT_TRUE(store.ExecuteQuery(L"select * from PROBLEM_TABLE order by ID", result));
  ASSERT_EQ(result.RowCount(), values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    for (const wchar_t* column : {L"NAME", L"DESCRIPTION", L"URL"}) {
      std::wstring read;
      result.Row(i).GetString(column, read);
      EXPECT_EQ(read, values[i]) << "value " << i;
    }
  }
  // Every table is still there.
  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"),
                      "select count(*) from sqlite_schema where type='table'"),
            "10\n");
}

TEST_F(HostileText, TextIsStoredAsUtf8) {
  ProblemStore problem;
  problem.AddProblem(1, L"Gr\u00fc\u00dfe", L"", L"");
  ASSERT_TRUE(store.Insert(problem.Table()));
  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"), "select hex(NAME) from PROBLEM_TABLE"),
            "4772C3BCC39F65\n");
}

TEST_F(HostileText, UpdateByAHostileKeyTouchesOnlyThatRow) {
  EnvironmentCollection env;
  env.AddEntry(L"a' or '1'='1", L"first");
  env.AddEntry(L"other", L"second");
  ASSERT_TRUE(store.Insert(env.Table()));

  EnvironmentCollection change;
  change.AddEntry(L"a' or '1'='1", L"changed'; DELETE FROM ENVIRONMENT_COLLECTION_TABLE; --");
  ASSERT_TRUE(store.Update(change.Table()));

  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"),
                      "select KEY||'='||VALUE from ENVIRONMENT_COLLECTION_TABLE order by rowid"),
            "a' or '1'='1=changed'; DELETE FROM ENVIRONMENT_COLLECTION_TABLE; --\nother=second\n");
}

TEST_F(HostileText, RegisterStoreWithAQuoteInTheTableNameIsSafe) {
  // Not a valid table name, so CREATE fails, but the name is recorded. The
  // second call looks the name up again: unquoted, the lookup would match
  // every registered name and registration would fail.
  DataTable odd(L"X' OR '1'='1");
  odd.AddColumn(L"A", ColumnType::kInteger);
  EXPECT_TRUE(store.RegisterStore(odd));
  EXPECT_TRUE(store.RegisterStore(odd));
  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"),
                      "select count(*) from COLLECTION_TABLE_NAMES"),
            "2\n");
  EXPECT_EQ(sqliteCli(folder.file("ResultStore.db"),
                      "select count(*) from COLLECTION_TABLE_FIELDS where TABLE_NAMES_ID=1"),
            "2\n");
}

}  // namespace
}  // namespace zorel
