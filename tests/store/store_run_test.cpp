// What a packaged `zorel check` run leaves in its store, through the real
// binary: rows whose texts hold NUL characters, and the database in db.cab.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "../cli/check_cli_support.h"
#include "store_test_support.h"

namespace {

using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Rows;
using zorel::testing::runCommand;
using zorel::testing::sqliteCli;

namespace fs = std::filesystem;
using namespace std::string_view_literals;

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char c : bytes) {
    text += digits[c >> 4];
    text += digits[c & 15];
  }
  return text;
}

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST_F(CheckCli, TextHoldingNulKeepsItsRowsWhole) {
  const CheckRun run = CheckScript("store_nul_text.js", "--stages 101,102");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const struct {
    const char* what;
    std::string sql;
    Rows expected;
  } cases[] = {
      // reportProblem: every text of the problem, past the NUL.
      {"problem texts",
       "select hex(NAME), hex(DESCRIPTION), hex(URL) from PROBLEM_TABLE where ID = 1",
       {{hex("nul\0name"sv), hex("before\0after"sv), hex("u\0"sv)}}},
      // A plug-in argument, in the call's operation record.
      {"operation record",
       "select count(*) from OPERATION_TABLE where API_NAME = 'OS::isOfOsName' and "
       "instr(cast(INPUT_DETAILS as blob), cast('Micro' || char(0) || 'soft' as blob)) > 0",
       {{"1"}}},
      // collect answered success and its request is there to be packed.
      {"collection request",
       "select hex(c.SOURCE), o.ERROR_CODE from COLLECTION_TABLE c join OPERATION_TABLE o on "
       "o.ID = c.OPERATION_ID where o.API_NAME = 'File::collect'",
       {{hex("C:\\ProgramData\\a\0*.txt"sv), "0"}}},
      {"collect answer",
       "select json_extract(DESCRIPTION, '$.errorcode') from PROBLEM_TABLE where ID = 2",
       {{"0"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Query(c.sql), c.expected) << c.what;
}

TEST_F(CheckCli, DbCabHoldsAWholeDatabaseThatNeedsNoSideFiles) {
  const CheckRun run = CheckScript("store_nul_text.js", "--stages 101,102");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  const std::string out = base_ + "/dbcab";
  ASSERT_EQ(runCommand("cabextract -q -d '" + out + "' '" + store_ + "/db.cab' >/dev/null 2>&1; echo $?"),
            "0\n");
  ASSERT_EQ(filesIn(out), std::set<std::string>{"ResultStore.db"});
  const std::string database = out + "/ResultStore.db";
  EXPECT_EQ(sqliteCli(database, "pragma journal_mode"), "delete\n");
  // Every row committed before packaging, the last stage's status included.
  EXPECT_EQ(sqliteCli(database, "select STATUS from PROBLEM_STATUS_TABLE where STAGE_ID = 102"),
            "1\n");
  EXPECT_EQ(sqliteCli(database, "pragma integrity_check"), "ok\n");
  // Reading it made no log or shared-memory file.
  EXPECT_EQ(filesIn(out), std::set<std::string>{"ResultStore.db"});
}

}  // namespace
