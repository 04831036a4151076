// The SQL texts built from a table description: CREATE TABLE, INSERT and
// UPDATE, and the text of each value. These texts are the schema of the
// result file, so every blank and comma matters.
//
// Text values are quoted with embedded single quotes doubled, so no value
// can end its literal early and change the statement; nothing else in the
// texts depends on the values. The INSERT and UPDATE builders also give
// each statement with "?" in place of its values and the values apart, for
// binding: the one walk over the columns serves both forms.

#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

#include "zorel/store/data_table.h"

namespace zorel {

namespace {

std::wstring typeWord(const DataColumn& column) {
  switch (column.type) {
    case ColumnType::kInteger: return L"INTEGER";
    case ColumnType::kFloat: return L"FLOAT";
    case ColumnType::kText:
      return L"VARCHAR(" + std::to_wstring(column.length < 0 ? 512 : column.length) + L")";
    case ColumnType::kBoolean: return L"BOOLEAN";
    case ColumnType::kDateTime: return L"DATETIME";
    default: return L"";
  }
}

bool isBare(int32_t type) {
  return type == ColumnType::kInteger || type == ColumnType::kFloat ||
         type == ColumnType::kBoolean;
}

// The value as it goes into the statement: bare for numbers and booleans,
// otherwise a string literal with its single quotes doubled.
std::wstring sqlValue(const DataTable& table, const DataColumn& column, const DataRow& row) {
  std::wstring text = table.GetValueText(column.type, column, row);
  if (isBare(column.type)) return text;
  std::wstring quoted;
  quoted.reserve(text.size() + 2);
  quoted += L'\'';
  for (wchar_t c : text) {
    if (c == L'\'') quoted += L'\'';
    quoted += c;
  }
  quoted += L'\'';
  return quoted;
}

// Replace the last "," of |text| by |by|; append |by| when there is none
// (a table without any written column then gives an empty list, which the
// database rejects, rather than a damaged text).
void closeList(std::wstring& text, wchar_t by) {
  const size_t comma = text.rfind(L',');
  if (comma == std::wstring::npos) {
    text += by;
  } else {
    text[comma] = by;
  }
}

std::wstring floatText(float value) {
  wchar_t buffer[64];
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%.*g", 9, static_cast<double>(value));
  return buffer;
}

// The value to bind for one column: what its literal in the text form
// would store. A float binds the real its nine-digit text denotes, so the
// file holds the same number either way; a NaN has no real and binds NULL.
SqlValue boundValue(const DataTable& table, const DataColumn& column, const DataRow& row) {
  switch (column.type) {
    case ColumnType::kInteger: {
      int32_t value = 0;
      row.GetInt(column.name, value);
      return int64_t{value};
    }
    case ColumnType::kBoolean: {
      bool value = false;
      row.GetBool(column.name, value);
      return int64_t{value ? 1 : 0};
    }
    case ColumnType::kFloat: {
      const double real = std::wcstod(table.GetValueText(column.type, column, row).c_str(), nullptr);
      if (std::isnan(real)) return std::monostate{};
      return real;
    }
    default:
      return table.GetValueText(column.type, column, row);
  }
}

// Where the builders put each value: into the text as a literal, or out of
// it as "?" with the value appended to |bound|.
class ValueWriter {
 public:
  explicit ValueWriter(std::vector<SqlValue>* bound) : bound_(bound) {}

  std::wstring Write(const DataTable& table, const DataColumn& column, const DataRow& row) {
    if (!bound_) return sqlValue(table, column, row);
    bound_->push_back(boundValue(table, column, row));
    return L"?";
  }
  // The value written as |written| at position |index| once more: the key
  // of an UPDATE, again in its where clause.
  std::wstring Repeat(const std::wstring& written, size_t index) {
    if (bound_ && index < bound_->size()) bound_->push_back((*bound_)[index]);
    return written;
  }
  size_t Count() const { return bound_ ? bound_->size() : 0; }

 private:
  std::vector<SqlValue>* bound_;
};

const wchar_t* insertVerb(const DataTable& table) {
  bool anyUnique = false;
  for (const auto& column : table.Columns()) {
    anyUnique = anyUnique || column->unique || column->uniqueGroup;
  }
  return (table.RowCount() >= 2 && anyUnique) ? L"INSERT OR IGNORE INTO " : L"INSERT INTO ";
}

// "VERB NAME(columns)": the same for every row.
std::wstring insertColumns(const DataTable& table) {
  std::wstring text = insertVerb(table) + table.Name() + L"(";
  for (const auto& column : table.Columns()) {
    if (!column->autoIncrement) text += column->name + L",";
  }
  closeList(text, L')');
  return text;
}

// One row's INSERT statement, without its closing "; ".
std::wstring insertStatement(const DataTable& table, const std::wstring& columnPart,
                             const DataRow& row, ValueWriter& writer) {
  std::wstring valuePart = L"VALUES(";
  for (const auto& column : table.Columns()) {
    if (!column->autoIncrement) valuePart += writer.Write(table, *column, row) + L",";
  }
  closeList(valuePart, L')');
  return columnPart + L" " + valuePart;
}

// One row's UPDATE statement by its primary key, ending in ";". Without a
// key column this is "where =;", which the database rejects: such a table
// cannot be updated by row.
std::wstring updateStatement(const DataTable& table, const DataRow& row, ValueWriter& writer) {
  std::wstring statement = L"update " + table.Name() + L" set ";
  std::wstring keyName;
  std::wstring keyValue;
  size_t keyIndex = static_cast<size_t>(-1);
  for (const auto& column : table.Columns()) {
    std::wstring value = writer.Write(table, *column, row);
    statement += column->name + L"=" + value + L",";
    if (column->primaryKey) {
      keyName = column->name;
      keyValue = std::move(value);
      keyIndex = writer.Count() - 1;
    }
  }
  closeList(statement, L' ');
  if (!keyName.empty()) keyValue = writer.Repeat(keyValue, keyIndex);
  statement += L"where " + keyName + L"=" + keyValue + L";";
  return statement;
}

}  // namespace

std::wstring DataTable::GetValueText(int32_t type, const DataColumn& column,
                                     const DataRow& row) const {
  switch (type) {
    case ColumnType::kInteger: {
      int32_t value = 0;
      row.GetInt(column.name, value);
      return std::to_wstring(value);
    }
    case ColumnType::kFloat: {
      float value = 0;
      row.GetFloat(column.name, value);
      return floatText(value);
    }
    case ColumnType::kText:
    case ColumnType::kDateTime: {
      std::wstring value;
      row.GetString(column.name, value);
      return value;
    }
    case ColumnType::kBoolean: {
      bool value = false;
      row.GetBool(column.name, value);
      return value ? L"1" : L"0";
    }
    default:
      return L"";
  }
}

std::wstring DataTable::GetCreateTableText() const {
  std::wstring text = L"CREATE TABLE " + name_ + L"(";
  std::wstring group;
  for (const auto& column : columns_) {
    text += column->name + L" " + typeWord(*column);
    if (column->autoIncrement) {
      text += L" PRIMARY KEY autoincrement,";
    } else if (column->primaryKey) {
      text += L" PRIMARY KEY,";
    } else if (column->unique) {
      text += L" UNIQUE,";
    } else {
      text += L",";
    }
    if (column->uniqueGroup) {
      if (!group.empty()) group += L",";
      group += column->name;
    }
  }
  if (!group.empty()) text += L"UNIQUE(" + group + L") ON CONFLICT REPLACE,";
  closeList(text, L')');
  return text;
}

std::wstring DataTable::GetInsertText() const {
  const std::wstring columnPart = insertColumns(*this);
  ValueWriter literals(nullptr);
  std::wstring text;
  for (const auto& row : rows_) text += insertStatement(*this, columnPart, *row, literals) + L"; ";
  return text;
}

std::vector<SqlStatement> DataTable::GetInsertStatements() const {
  const std::wstring columnPart = insertColumns(*this);
  std::vector<SqlStatement> statements(rows_.size());
  for (size_t i = 0; i < rows_.size(); ++i) {
    ValueWriter bound(&statements[i].values);
    statements[i].text = insertStatement(*this, columnPart, *rows_[i], bound);
  }
  return statements;
}

std::wstring DataTable::GetUpdateText() const {
  ValueWriter literals(nullptr);
  std::wstring text;
  for (const auto& row : rows_) text += updateStatement(*this, *row, literals);
  return text;
}

std::vector<SqlStatement> DataTable::GetUpdateStatements() const {
  std::vector<SqlStatement> statements(rows_.size());
  for (size_t i = 0; i < rows_.size(); ++i) {
    ValueWriter bound(&statements[i].values);
    statements[i].text = updateStatement(*this, *rows_[i], bound);
  }
  return statements;
}

}  // namespace zorel
