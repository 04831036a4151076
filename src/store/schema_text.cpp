// The SQL texts built from a table description: CREATE TABLE, INSERT and
// UPDATE, and the text of each value. These texts are the schema of the
// result file, so every blank and comma matters.
//
// Text values are quoted with embedded single quotes doubled, so no value
// can end its literal early and change the statement; nothing else in the
// texts depends on the values.

#include <cmath>
#include <cwchar>

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
  bool anyUnique = false;
  for (const auto& column : columns_) anyUnique = anyUnique || column->unique || column->uniqueGroup;
  const wchar_t* verb = (rows_.size() >= 2 && anyUnique) ? L"INSERT OR IGNORE INTO " : L"INSERT INTO ";

  // The column part is the same for every row.
  std::wstring columnPart = verb + name_ + L"(";
  for (const auto& column : columns_) {
    if (!column->autoIncrement) columnPart += column->name + L",";
  }
  closeList(columnPart, L')');

  std::wstring text;
  for (const auto& row : rows_) {
    std::wstring valuePart = L"VALUES(";
    for (const auto& column : columns_) {
      if (!column->autoIncrement) valuePart += sqlValue(*this, *column, *row) + L",";
    }
    closeList(valuePart, L')');
    text += columnPart + L" " + valuePart + L"; ";
  }
  return text;
}

std::wstring DataTable::GetUpdateText() const {
  std::wstring text;
  for (const auto& row : rows_) {
    std::wstring statement = L"update " + name_ + L" set ";
    std::wstring keyName;
    std::wstring keyValue;
    for (const auto& column : columns_) {
      std::wstring value = sqlValue(*this, *column, *row);
      statement += column->name + L"=" + value + L",";
      if (column->primaryKey) {
        keyName = column->name;
        keyValue = std::move(value);
      }
    }
    closeList(statement, L' ');
    // Without a key column this is "where =;", which the database rejects:
    // such a table cannot be updated by row.
    statement += L"where " + keyName + L"=" + keyValue + L";";
    text += statement;
  }
  return text;
}

}  // namespace zorel
