#include "zorel/store/data_table.h"

namespace zorel {

void DataTable::AddColumn(std::unique_ptr<DataColumn> column) {
  if (column) columns_.push_back(std::move(column));
}

DataColumn& DataTable::AddColumn(std::wstring name, int32_t type, uint32_t flags, int32_t length) {
  auto column = std::make_unique<DataColumn>();
  column->name = std::move(name);
  column->type = type;
  column->autoIncrement = (flags & kAutoIncrement) != 0;
  column->primaryKey = (flags & kPrimaryKey) != 0;
  column->unique = (flags & kUnique) != 0;
  column->uniqueGroup = (flags & kUniqueGroup) != 0;
  column->length = length;
  DataColumn& stored = *column;
  columns_.push_back(std::move(column));
  return stored;
}

std::unique_ptr<DataRow> DataTable::NewRow() const {
  auto row = std::make_unique<DataRow>();
  for (const auto& column : columns_) row->At(column->name);
  return row;
}

DataRow& DataTable::AddRow(std::unique_ptr<DataRow> row) {
  if (!row) row = std::make_unique<DataRow>();
  rows_.push_back(std::move(row));
  return *rows_.back();
}

}  // namespace zorel
