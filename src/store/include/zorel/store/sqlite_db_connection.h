#pragma once
// IDBConnection over the SQLite C library.
//
// Journal: write-ahead log with synchronous=NORMAL. A commit is in the log
// file when the call returns, so a killed process loses nothing that was
// committed, and commits need no sync of their own, which keeps one-row
// inserts fast. A power cut can lose the last commits but never corrupts
// the file. Closing the connection folds the log into the database and
// removes the -wal and -shm files; Checkpoint() does the folding while the
// connection stays open, and UseRollbackJournal() leaves the log altogether
// (before the file is packed, so that it is a whole database on its own).
//
// Inserts and updates: a plug-in call writes one row, so the same statement
// comes by thousands of times with other values. ExecuteStatements keeps a
// prepared statement per statement text and binds the values, so parsing
// SQL is not part of each row's cost and no value is read back out of SQL
// text. ExecuteQuery hands its text to sqlite3_exec unchanged.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "zorel/store/db_connection.h"
#include "zorel/store/sql_statement.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zorel {

class CSqliteDBConnection : public IDBConnection {
 public:
  CSqliteDBConnection() = default;
  // Closes a database left open, so neither the handle nor the log files
  // outlive the object.
  ~CSqliteDBConnection() override;
  CSqliteDBConnection(const CSqliteDBConnection&) = delete;
  CSqliteDBConnection& operator=(const CSqliteDBConnection&) = delete;

  bool Open(const std::wstring& path) override;
  bool ExecuteQuery(const std::wstring& sql) override;
  int32_t GetLastInsertRowId() override;
  bool ExecuteSelect(const std::wstring& sql, DataTable& table) override;
  bool Close() override;
  bool Checkpoint() override;
  bool ExecuteStatements(const std::vector<SqlStatement>& statements) override;

  // Switch the open database to a rollback journal (journal_mode=DELETE),
  // folding the write-ahead log in and removing the -wal and -shm files,
  // so that the database file alone opens in any reader. False, logged,
  // when SQLite keeps the log. Later commits use the rollback journal.
  bool UseRollbackJournal();

  bool IsOpen() const { return open_; }
  // Statements currently prepared (for tests).
  size_t CachedStatementCount() const { return statements_.size(); }

 private:
  // The kept statement for |text|, prepared now when new; null when it
  // does not prepare (sqlite3_errmsg says why).
  sqlite3_stmt* Prepared(const std::string& text);
  void FinalizeStatements();

  bool open_ = false;
  sqlite3* db_ = nullptr;  // non-null while open (or after a failed close)
  std::unordered_map<std::string, sqlite3_stmt*> statements_;  // by text
};

}  // namespace zorel
