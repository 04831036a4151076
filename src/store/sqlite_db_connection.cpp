#include "zorel/store/sqlite_db_connection.h"

#include <sqlite3.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/fs/sqlite_vfs.h"
#include "zorel/store/data_table.h"

namespace zorel {

namespace {

// Journal settings: see the header. A file system that cannot hold a
// write-ahead log keeps SQLite's default rollback journal.
// Every plug-in call commits one small row, and each commit writes whole
// pages to the log: 1 KB pages (set while the file is still empty) write a
// quarter of what the 4 KB default did. The log is folded into the file
// every 8000 pages rather than SQLite's 1000, because each fold syncs the
// file. Commits themselves are unchanged.
constexpr const char* kJournalSettings =
    "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
    "PRAGMA wal_autocheckpoint=8000;";

// Prepared statements kept at most; a store has a handful of tables, each
// with one INSERT and one UPDATE text.
constexpr size_t kMaxStatements = 64;

void logSqlError(const std::wstring& message) {
  FrameworkLog::Instance().Write(LogLevel::Error, L"ExecuteQuery - SQL error: %s",
                                 message.c_str());
}

// Binds |value| as parameter |index| (from 1) of |statement|.
int bindValue(sqlite3_stmt* statement, int index, const SqlValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value))
    return sqlite3_bind_int64(statement, index, *number);
  if (const auto* real = std::get_if<double>(&value))
    return sqlite3_bind_double(statement, index, *real);
  if (const auto* text = std::get_if<std::wstring>(&value)) {
    // The length is given, so a NUL inside the text is kept like any other
    // character.
    const std::string bytes = toUtf8(*text);
    return sqlite3_bind_text64(statement, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
  }
  return sqlite3_bind_null(statement, index);
}

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
  FinalizeStatements();
  if (db_) sqlite3_close_v2(db_);
}

void CSqliteDBConnection::FinalizeStatements() {
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
}

sqlite3_stmt* CSqliteDBConnection::Prepared(const std::string& text) {
  auto found = statements_.find(text);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, text.c_str(), static_cast<int>(text.size()),
                         SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK ||
      !statement) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  statements_.emplace(text, statement);
  return statement;
}

bool CSqliteDBConnection::ExecuteStatements(const std::vector<SqlStatement>& statements) {
  if (!db_) {
    logSqlError(L"database is not open");
    return false;
  }
  // Room for every statement of this call, so none is dropped while in use.
  if (statements_.size() + statements.size() > kMaxStatements) FinalizeStatements();
  for (const SqlStatement& one : statements) {
    sqlite3_stmt* statement = Prepared(toUtf8(one.text));
    if (!statement) {
      logSqlError(fromUtf8(sqlite3_errmsg(db_)));
      return false;
    }
    if (sqlite3_bind_parameter_count(statement) != static_cast<int>(one.values.size())) {
      logSqlError(L"the statement takes " +
                  std::to_wstring(sqlite3_bind_parameter_count(statement)) + L" values, " +
                  std::to_wstring(one.values.size()) + L" were given");
      return false;
    }
    int rc = SQLITE_OK;
    for (size_t k = 0; k < one.values.size() && rc == SQLITE_OK; ++k) {
      rc = bindValue(statement, static_cast<int>(k) + 1, one.values[k]);
    }
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(statement);
      while (rc == SQLITE_ROW) rc = sqlite3_step(statement);
    }
    // Reset at once: a statement left mid-way would keep its transaction.
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    if (rc != SQLITE_DONE) {
      logSqlError(fromUtf8(sqlite3_errmsg(db_)));
      return false;
    }
  }
  return true;
}

bool CSqliteDBConnection::Open(const std::wstring& path) {
  // A second Open without Close would otherwise leak the first handle.
  if (db_) Close();
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(toUtf8(path).c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                 platform::sqliteVfsName());
  if (rc != SQLITE_OK) {
    const std::wstring message = fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Can't open database: %s", message.c_str());
    if (db) sqlite3_close(db);  // sqlite3_open_v2 hands out a handle even on failure
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
    logSqlError(L"database is not open");
    return false;
  }
  // Result rows of these statements are of no interest; they used to be
  // printed to standard output, which the framework process keeps for its
  // own use, so they are dropped.
  const std::string text = toUtf8(sql);
  char* error = nullptr;
  const int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    logSqlError(fromUtf8(error ? error : sqlite3_errstr(rc)));
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
  FinalizeStatements();
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

bool CSqliteDBConnection::UseRollbackJournal() {
  if (!db_) return false;
  // The pragma answers the mode in force afterwards; SQLite keeps the
  // write-ahead log (and says so) when it cannot leave it, for instance
  // while another connection reads the file.
  sqlite3_stmt* statement = nullptr;
  std::string mode;
  int rc = sqlite3_prepare_v2(db_, "PRAGMA journal_mode=DELETE", -1, &statement, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    mode = text ? text : "";
  }
  sqlite3_finalize(statement);
  if (mode != "delete") {
    const std::wstring message = rc == SQLITE_ROW ? L"the journal stays " + fromUtf8(mode)
                                                  : fromUtf8(sqlite3_errmsg(db_));
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Could not leave the write-ahead log of the database: %s",
                                   message.c_str());
    return false;
  }
  return true;
}

}  // namespace zorel
