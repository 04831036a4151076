#include "zorel/store/collection_tables.h"

#include "zorel/store/result_store_interface.h"

namespace zorel {

void CreateCollectionTable(DataTable& table) {
  table.SetName(L"COLLECTION_TABLE");
  table.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
  table.AddColumn(L"OPERATION_ID", ColumnType::kInteger);
  table.AddColumn(L"COLLECTION_TYPE", ColumnType::kInteger);
  table.AddColumn(L"SOURCE", ColumnType::kText, kNoFlags, 2048);
  table.AddColumn(L"DESTINATION", ColumnType::kText);
  table.AddColumn(L"SIZE", ColumnType::kInteger);
  table.AddColumn(L"ISDB", ColumnType::kBoolean);
  table.AddColumn(L"ISIMPORTANT", ColumnType::kBoolean);
}

void AddCollectionRow(DataTable& table, int32_t operationId, int32_t collectionType,
                      const std::wstring& source, const std::wstring& destination,
                      int32_t size, bool isDb, bool isImportant) {
  try {
    std::unique_ptr<DataRow> row = table.NewRow();
    row->Set(L"OPERATION_ID", operationId);
    row->Set(L"COLLECTION_TYPE", collectionType);
    row->Set(L"SOURCE", source);
    row->Set(L"DESTINATION", destination);
    row->Set(L"SIZE", size);
    row->Set(L"ISDB", isDb);
    row->Set(L"ISIMPORTANT", isImportant);
    table.AddRow(std::move(row));
  } catch (...) {
    // A row that cannot be built is left out; the insert writes the rest.
  }
}

bool InsertTableCollectionRow(IResultStore& store, const DataTable& operationTable,
                              int32_t collectionType, const std::wstring& source,
                              const std::wstring& tableName) {
  if (operationTable.RowCount() != 1) return false;
  int32_t operationId = 0;
  operationTable.Row(0).GetInt(L"ID", operationId);
  DataTable collection;
  CreateCollectionTable(collection);
  AddCollectionRow(collection, operationId, collectionType, source, tableName, 0, true, true);
  return store.Insert(collection);
}

CollectionTableNameStore::CollectionTableNameStore() : Store(L"COLLECTION_TABLE_NAMES") {
  table_.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
  table_.AddColumn(L"TABLE_NAME", ColumnType::kText, kUnique);
}

void CollectionTableNameStore::AddTableName(const std::wstring& name) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"TABLE_NAME", name);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

CollectionTableFieldStore::CollectionTableFieldStore() : Store(L"COLLECTION_TABLE_FIELDS") {
  table_.AddColumn(L"TABLE_NAMES_ID", ColumnType::kInteger, kUniqueGroup);
  table_.AddColumn(L"FIELD_NAME", ColumnType::kText, kUniqueGroup);
  table_.AddColumn(L"DATA_TYPE", ColumnType::kInteger, kUniqueGroup);
}

void CollectionTableFieldStore::AddField(int32_t tableNumber, const std::wstring& fieldName,
                                         int32_t typeCode) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"TABLE_NAMES_ID", tableNumber);
    row->Set(L"FIELD_NAME", fieldName);
    row->Set(L"DATA_TYPE", typeCode);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

}  // namespace zorel
