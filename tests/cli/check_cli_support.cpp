#include "check_cli_support.h"

#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zorel::testing {

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

void CheckCli::SetUp() {
  char pattern[] = "/tmp/zorel-check-test-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  ASSERT_NE(dir, nullptr);
  base_ = dir;
  root_ = base_ + "/machine";
  store_ = base_ + "/store";
}

void CheckCli::TearDown() {
  std::error_code ec;
  fs::remove_all(base_, ec);
}

CheckRun CheckCli::Check(const std::string& args) { return Zorel("check " + args); }

CheckRun CheckCli::Zorel(const std::string& args, const std::string& environment) {
  const std::string errFile = base_ + "/stderr.txt";
  const std::string cmd = environment + " ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR
                          "/src/cli/zorel " + args + " 2>'" + errFile + "'";
  CheckRun run;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return run;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) run.out.append(buffer.data(), n);
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = readFile(errFile);
  return run;
}

CheckRun CheckCli::CheckScript(const std::string& name, const std::string& extra) {
  return Check("--script '" + DataScript(name) + "' --store '" + store_ + "' " + extra);
}

std::string CheckCli::DataScript(const std::string& name) {
  return std::string(ZOREL_SOURCE_DIR) + "/tests/data/checks/" + name;
}

Rows CheckCli::Query(const std::string& sql) const {
  Rows rows;
  sqlite3* db = nullptr;
  const std::string path = store_ + "/ResultStore.db";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << "cannot open " << path;
    sqlite3_close(db);
    return rows;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const unsigned char* text = sqlite3_column_text(stmt, i);
        row.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
      rows.push_back(std::move(row));
    }
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return rows;
}

std::string CheckCli::Log() const {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root_ + "/drive_c", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename() == "FrameWork.log") return readFile(it->path().string());
  }
  return {};
}

std::vector<std::string> Column(const Rows& rows, size_t column) {
  std::vector<std::string> values;
  for (const auto& row : rows) values.push_back(column < row.size() ? row[column] : "");
  return values;
}

}  // namespace zorel::testing
