#pragma once
// COLLECTION_TABLE and the registry of tables added at run time
// (COLLECTION_TABLE_NAMES, COLLECTION_TABLE_FIELDS).

#include <cstdint>
#include <string>

#include "zorel/store/store.h"

namespace zorel {

// COLLECTION_TYPE values.
namespace CollectionType {
inline constexpr int32_t kRegistry = 0;
inline constexpr int32_t kFile = 1;
inline constexpr int32_t kFolder = 2;
inline constexpr int32_t kService = 4;
inline constexpr int32_t kProcess = 5;
inline constexpr int32_t kEventLog = 7;
inline constexpr int32_t kProduct = 8;
}  // namespace CollectionType

// Name |table| COLLECTION_TABLE and append its columns.
void CreateCollectionTable(DataTable& table);

// Append one collected item (every column but ID).
void AddCollectionRow(DataTable& table, int32_t operationId, int32_t collectionType,
                      const std::wstring& source, const std::wstring& destination,
                      int32_t size, bool isDb, bool isImportant);

class IResultStore;

// Saves the COLLECTION_TABLE row of a table the store now holds (SIZE 0,
// ISDB and ISIMPORTANT true) for the operation inserted through
// `operationTable`, whose one row carries the ID the insert gave it.
// RETURNS false when that table holds no single row or the insert fails.
bool InsertTableCollectionRow(IResultStore& store, const DataTable& operationTable,
                              int32_t collectionType, const std::wstring& source,
                              const std::wstring& tableName);

class CollectionTableNameStore : public Store {
 public:
  CollectionTableNameStore();
  void AddTableName(const std::wstring& name);
};

class CollectionTableFieldStore : public Store {
 public:
  CollectionTableFieldStore();
  void AddField(int32_t tableNumber, const std::wstring& fieldName, int32_t typeCode);
};

}  // namespace zorel
