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

#include <cstdint>
#include <string>

#include "zorel/store/db_connection.h"

struct sqlite3;

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

 private:
  bool open_ = false;
  sqlite3* db_ = nullptr;  // non-null while open (or after a failed close)
};

}  // namespace zorel
