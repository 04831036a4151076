#include "zorel/store/sqlite_db_connection.h"

#include <sqlite3.h>

#include <string>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/data_table.h"

namespace zorel {

namespace {

// Journal settings: see the header. A file system that cannot hold a
// write-ahead log keeps SQLite's default rollback journal.
constexpr const char* kJournalSettings =
    "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";

int32_t columnTypeCode(int storageClass) {
  switch (storageClass) {
    case SQLITE_INTEGER: return ColumnType::kInteger;
    case SQLITE_FLOAT: return ColumnType::kFloat;
    case SQLITE_TEXT: return ColumnType::kText;
    default: return ColumnType::kNone;
  }
}

// One result row into a new row of |table|. NULL and blob values stay empty.
void appendRow(sqlite3_stmt* statement, const std::vector<std::wstring>& names,
               DataTable& table) {
  std::unique_ptr<DataRow> row = table.NewRow();
  for (int i = 0; i < static_cast<int>(names.size()); ++i) {
    const std::wstring& name = names[i];
    switch (sqlite3_column_type(statement, i)) {
      case SQLITE_INTEGER:
        row->Set(name, static_cast<int32_t>(sqlite3_column_int(statement, i)));
        break;
      case SQLITE_FLOAT:
        row->Set(name, static_cast<float>(sqlite3_column_double(statement, i)));
        break;
      case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        const int bytes = sqlite3_column_bytes(statement, i);
        row->Set(name, fromUtf8(std::string_view(text ? text : "", text ? bytes : 0)));
        break;
      }
      default:
        break;
    }
  }
  table.AddRow(std::move(row));
}

}  // namespace

CSqliteDBConnection::~CSqliteDBConnection() {
  if (db_) sqlite3_close_v2(db_);
}

bool CSqliteDBConnection::Open(const std::wstring& path) {
  // A second Open without Close would otherwise leak the first handle.
  if (db_) Close();
  sqlite3* db = nullptr;
  const int rc = sqlite3_open(toUtf8(path).c_str(), &db);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Can't open database: %s", message.c_str());
    if (db) sqlite3_close(db);  // sqlite3_open hands out a handle even on failure
    return false;
  }
  db_ = db;
  open_ = true;
  sqlite3_exec(db_, kJournalSettings, nullptr, nullptr, nullptr);
  FrameworkLog::Instance().Write(LogLevel::Info, L"Opened database successfully");
  return true;
}

bool CSqliteDBConnection::ExecuteQuery(const std::wstring& sql) {
  if (!db_) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                   L"database is not open");
    return false;
  }
  // Result rows of these statements are of no interest; they used to be
  // printed to standard output, which the framework process keeps for its
  // own use, so they are dropped.
  char* error = nullptr;
  const int rc = sqlite3_exec(db_, toUtf8(sql).c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(error ? error : sqlite3_errstr(rc));
    FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                   message.c_str());
    sqlite3_free(error);
    return false;
  }
  return true;
}

int32_t CSqliteDBConnection::GetLastInsertRowId() {
  if (!db_) return -1;
  // The value "SELECT last_insert_rowid()" would return, without parsing a
  // statement on every insert; cut to 32 bits as sqlite3_column_int does.
  return static_cast<int32_t>(sqlite3_last_insert_rowid(db_));
}

bool CSqliteDBConnection::ExecuteSelect(const std::wstring& sql, DataTable& table) {
  if (!db_) return false;
  sqlite3_stmt* statement = nullptr;
  // Only the first statement of the text runs; the caller logs failures.
  if (sqlite3_prepare_v2(db_, toUtf8(sql).c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return false;
  }
  if (!statement) return true;  // the text held no statement

  int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW) {
    sqlite3_finalize(statement);
    // An empty result leaves the table untouched. A statement that failed
    // while it ran (a constraint in an UPDATE, a damaged file) is a failure,
    // not an empty result.
    return rc == SQLITE_DONE;
  }

  const int count = sqlite3_column_count(statement);
  std::vector<std::wstring> names;
  names.reserve(count);
  for (int i = 0; i < count; ++i) {
    const char* rawName = sqlite3_column_name(statement, i);
    names.push_back(fromUtf8(rawName ? rawName : ""));
    table.AddColumn(names.back(), columnTypeCode(sqlite3_column_type(statement, i)));
  }
  while (rc == SQLITE_ROW) {
    appendRow(statement, names, table);
    rc = sqlite3_step(statement);
  }
  sqlite3_finalize(statement);
  // A failure part-way keeps the rows read so far but is still a failure.
  return rc == SQLITE_DONE;
}

bool CSqliteDBConnection::Close() {
  if (!open_) return true;
  open_ = false;
  const int rc = sqlite3_close(db_);
  if (rc != SQLITE_OK) {
    // The handle stays valid after a failed close; the destructor retries.
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to close the database connection, Error : %d", rc);
    return false;
  }
  db_ = nullptr;
  return true;
}

bool CSqliteDBConnection::Checkpoint() {
  if (!db_) return false;
  // TRUNCATE waits for nothing here (one connection) and leaves the log
  // empty, so the database file alone is complete.
  const int rc = sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                           nullptr);
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(sqlite3_errmsg(db_));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Checkpoint of the database failed: %s",
                                   message.c_str());
    return false;
  }
  return true;
}

}  // namespace zorel
