#pragma once
// The database connection under the result store.
//
// All texts are wide; the implementation hands SQLite UTF-8. Operations
// report failure by their result (and a framework log line where stated);
// none throws. Virtual slots are appended, never reordered.

#include <cstdint>
#include <string>
#include <vector>

#include "zorel/store/sql_statement.h"

namespace zorel {

class DataTable;

class IDBConnection {
 public:
  // Open (and create when absent) the database file at |path|.
  virtual bool Open(const std::wstring& path) = 0;
  // Run one or more statements separated by semicolons; rows are discarded.
  virtual bool ExecuteQuery(const std::wstring& sql) = 0;
  // The rowid of the last successful insert, cut to 32 bits; -1 when it
  // cannot be read.
  virtual int32_t GetLastInsertRowId() = 0;
  // Run one query and append its columns and rows to |table|. A query that
  // yields nothing leaves the table untouched and returns true.
  virtual bool ExecuteSelect(const std::wstring& sql, DataTable& table) = 0;
  // Close the database; true when it was not open.
  virtual bool Close() = 0;
  virtual ~IDBConnection() = default;
  // Make the database file itself hold every committed row, so that a copy
  // of that one file is complete. True when there is nothing to do.
  virtual bool Checkpoint() = 0;
  // Run each statement with its values bound, in order, stopping at the
  // first failure ("ExecuteQuery - SQL error: %s" with SQLite's message).
  // Statements before a failing one stay committed.
  virtual bool ExecuteStatements(const std::vector<SqlStatement>& statements) = 0;
};

}  // namespace zorel
