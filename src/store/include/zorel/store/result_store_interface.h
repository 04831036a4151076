#pragma once
// The one handle through which the framework and the plug-ins reach the
// result database. Tables cross it as DataTable objects; the caller keeps
// ownership of every table it passes. Every operation reports failure by
// its result and a framework log line; none throws. Virtual slots are
// appended, never reordered.

#include <string>

namespace zorel {

class DataTable;

class IResultStore {
 public:
  virtual ~IResultStore() = default;
  // Open ResultStore.db in |folder| (with or without a trailing separator)
  // and make sure the core tables exist.
  virtual bool Open(const std::wstring& folder) = 0;
  // Create |table| if needed and record it with its fields; harmless again.
  virtual bool RegisterStore(DataTable& table) = 0;
  // Insert every row in one statement text; a one-row table with an "ID"
  // column gets the new key in that row's "ID".
  virtual bool Insert(DataTable& table) = 0;
  // Rewrite every row by its primary key.
  virtual bool Update(DataTable& table) = 0;
  // Run one statement and append its result columns and rows to |table|.
  virtual bool ExecuteQuery(const std::wstring& sql, DataTable& table) = 0;
  // Pack the collected files and the database into cabinets in the folder.
  virtual bool Package() = 0;
  // Close; with |deleteDatabase| also remove ResultStore.db.
  virtual bool Close(bool deleteDatabase) = 0;
  // The store folder, ending in one separator.
  virtual std::wstring GetStoreFolder() = 0;
};

}  // namespace zorel
