#pragma once
// IDBConnection over the SQLite C library.
//
// Journal: write-ahead log with synchronous=NORMAL. A commit is in the log
// file when the call returns, so a killed process loses nothing that was
// committed, and commits need no sync of their own, which keeps one-row
// inserts fast. A power cut can lose the last commits but never corrupts
// the file. Closing the connection folds the log into the database and
// removes the -wal and -shm files; Checkpoint() does the folding while the
// connection stays open (before the file is copied).
//
// Inserts: a plug-in call writes one row, so the same INSERT text comes by
// thousands of times with other values. ExecuteQuery runs INSERT texts as
// prepared statements kept per statement shape (the text with its string and
// integer literals taken out), binding the literals; parsing the SQL was a
// sixth of each insert. Any other text goes to sqlite3_exec unchanged, and
// a shape that does not prepare falls back to it too, so the outcome and
// error messages are those of running the text itself.

#include <cstdint>
#include <string>
#include <unordered_map>

#include "zorel/store/db_connection.h"

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

  bool IsOpen() const { return open_; }
  // Statement shapes currently prepared (for tests).
  size_t CachedStatementCount() const { return statements_.size(); }

 private:
  // 1 when the text ran as prepared INSERTs, 0 when it failed doing so,
  // -1 when it is not such a text (then nothing ran).
  int RunInserts(const std::string& sql);
  sqlite3_stmt* Prepared(const std::string& shape);
  void FinalizeStatements();

  bool open_ = false;
  sqlite3* db_ = nullptr;  // non-null while open (or after a failed close)
  std::unordered_map<std::string, sqlite3_stmt*> statements_;  // by shape
};

}  // namespace zorel
