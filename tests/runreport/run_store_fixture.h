#pragma once
// Result stores made for the run report's tests: the core tables with the
// file's own schema texts, rows written with bound values (so a value can
// hold anything, NUL and malformed UTF-8 included), and db.cab packed with
// the program's cabinet code.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "core_schema.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"

namespace zorel::test {

using SqlValue = std::variant<int64_t, std::string>;

// One database file, written through bound statements.
class StoreFile {
 public:
  // Creates `path` with the core tables (`schema` replaces them when given).
  explicit StoreFile(const std::string& path, const char* schema = kCoreSchema) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK) << path;
    Exec(schema);
  }
  ~StoreFile() { sqlite3_close(db_); }
  StoreFile(const StoreFile&) = delete;
  StoreFile& operator=(const StoreFile&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << sql << ": " << (message ? message : "");
    sqlite3_free(message);
  }
  // One statement with its values bound in order; texts keep every byte.
  void Run(const std::string& sql, const std::vector<SqlValue>& values) {
    sqlite3_stmt* statement = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), SQLITE_OK) << sql;
    for (size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i) + 1;
      if (const auto* n = std::get_if<int64_t>(&values[i])) {
        sqlite3_bind_int64(statement, at, *n);
      } else {
        const std::string& t = std::get<std::string>(values[i]);
        sqlite3_bind_text(statement, at, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
      }
    }
    EXPECT_EQ(sqlite3_step(statement), SQLITE_DONE) << sql;
    sqlite3_finalize(statement);
  }

  void Execution(const std::string& script, const std::string& start, const std::string& end,
                 int64_t status) {
    Run("INSERT INTO JSEXECUTION_TABLE(JAVASCRIPT_NAME,JAVASCRIPT_REVISION,COREFRAMEWORK_VERSION,"
        "START_TIME,END_TIME,EXECUTION_STATUS) VALUES(?,'1','1.0',?,?,?)",
        {script, start, end, status});
  }
  void Problem(int64_t id, const std::string& name, const std::string& description = "",
               const std::string& url = "") {
    Run("INSERT INTO PROBLEM_TABLE VALUES(?,?,?,?)", {id, name, description, url});
  }
  void Stage(int64_t id, const std::string& name) {
    Run("INSERT INTO PROBLEM_STAGE_TABLE VALUES(?,?)", {id, name});
  }
  void Status(int64_t problem, int64_t stage, int64_t status) {
    Run("INSERT INTO PROBLEM_STATUS_TABLE VALUES(?,?,?,'','')", {problem, stage, status});
  }
  void Operation(int64_t problem, int64_t stage, const std::string& component, const std::string& api,
                 const std::string& input, bool ok, int64_t code = 0, const std::string& message = "") {
    Run("INSERT INTO OPERATION_TABLE(PROBLEM_ID,STAGE_ID,OPERATION_TYPE,COMPONENT_NAME,API_NAME,"
        "INPUT_DETAILS,EXECUTION_STATUS,ERROR_CODE,ERROR_STRING,START_TIME,END_TIME) "
        "VALUES(?,?,0,?,?,?,?,?,?,'2026-12-10.10:00:00','2026-12-10.10:00:00')",
        {problem, stage, component, api, input, int64_t{ok ? 1 : 0}, code, message});
  }
  // `count` operation records in one transaction; every tenth fails.
  void ManyOperations(int64_t count) {
    Exec("BEGIN");
    for (int64_t i = 0; i < count; ++i) {
      const bool ok = i % 10 != 0;
      Operation(1, 100, "File", "File::isFilePresent",
                "{\"path\":\"C:\\\\data\\\\file" + std::to_string(i) + ".txt\"}", ok, ok ? 0 : 2,
                ok ? "" : "The system cannot find the file specified.");
    }
    Exec("COMMIT");
  }

  sqlite3* db_ = nullptr;
};

// Packs `folder`/ResultStore.db into `cabinet` with the program's cabinet code.
inline void PackDbCab(const std::string& folder, const std::string& cabinet) {
  CabinetUtility utility;
  utility.SetTarget(fromUtf8(cabinet));
  ASSERT_TRUE(utility.AddFile(fromUtf8(folder + "/ResultStore.db"), L"ResultStore.db"));
  ASSERT_TRUE(utility.Compress()) << cabinet;
}

// A fresh folder under /tmp, removed with the object.
class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/zorel-runreport-test-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    path_ = dir ? dir : "/tmp";
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace zorel::test
