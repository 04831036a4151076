#pragma once
// A table: its name, its columns in declaration order and its rows.
//
// The same object describes a schema (name, columns with types and key
// flags), carries rows to insert or update, and receives query results.
// It owns its columns and rows. The SQL builders live here too; they are
// pure functions of the current columns and rows and never touch a
// database (see schema_text.cpp). The texts with the values written in are
// what the schema is defined by; the statements with bound values are what
// the store runs, so no value is ever re-read from SQL text.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/store/data_column.h"
#include "zorel/store/data_row.h"
#include "zorel/store/sql_statement.h"

namespace zorel {

class DataTable {
 public:
  DataTable() = default;
  explicit DataTable(std::wstring name) : name_(std::move(name)) {}
  virtual ~DataTable() = default;
  DataTable(DataTable&&) noexcept = default;
  DataTable& operator=(DataTable&&) noexcept = default;
  DataTable(const DataTable&) = delete;
  DataTable& operator=(const DataTable&) = delete;

  const std::wstring& Name() const { return name_; }
  void SetName(std::wstring name) { name_ = std::move(name); }

  // Append a column; the table takes ownership. Null is ignored.
  void AddColumn(std::unique_ptr<DataColumn> column);
  // Convenience: build and append a column with the given flags.
  DataColumn& AddColumn(std::wstring name, int32_t type, uint32_t flags = kNoFlags,
                        int32_t length = -1);

  // A row with one empty value per current column; not yet in the table.
  std::unique_ptr<DataRow> NewRow() const;
  // Append a row; the table takes ownership. Returns the stored row.
  DataRow& AddRow(std::unique_ptr<DataRow> row);

  size_t ColumnCount() const { return columns_.size(); }
  size_t RowCount() const { return rows_.size(); }
  const DataColumn& Column(size_t i) const { return *columns_[i]; }
  DataRow& Row(size_t i) { return *rows_[i]; }
  const DataRow& Row(size_t i) const { return *rows_[i]; }
  const std::vector<std::unique_ptr<DataColumn>>& Columns() const { return columns_; }
  const std::vector<std::unique_ptr<DataRow>>& Rows() const { return rows_; }

  // SQL texts. The table must have at least one column.
  std::wstring GetCreateTableText() const;
  // One INSERT statement per row, each followed by "; ".
  std::wstring GetInsertText() const;
  // One UPDATE statement per row by its primary key, each ending in ";".
  std::wstring GetUpdateText() const;
  // The same statements, one per row, with "?" for each value and the
  // values alongside: integers and booleans as integers, floats as the real
  // their text denotes (a NaN as NULL), every other type as text.
  std::vector<SqlStatement> GetInsertStatements() const;
  std::vector<SqlStatement> GetUpdateStatements() const;
  // The text of one value before quoting, read with the reader that matches
  // |type|; a missing or mistyped value gives that type's default.
  std::wstring GetValueText(int32_t type, const DataColumn& column, const DataRow& row) const;

 private:
  std::wstring name_;
  std::vector<std::unique_ptr<DataColumn>> columns_;
  std::vector<std::unique_ptr<DataRow>> rows_;
};

}  // namespace zorel
