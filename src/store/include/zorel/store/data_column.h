#pragma once
// One column of a table description or of a query result.
//
// The type codes are stored in the result file (COLLECTION_TABLE_FIELDS
// .DATA_TYPE), so their values are frozen.

#include <cstdint>
#include <string>

namespace zorel {

// Column type codes. 5 is not used.
namespace ColumnType {
inline constexpr int32_t kNone = 0;      // query column whose first value was NULL or a blob
inline constexpr int32_t kInteger = 1;   // "INTEGER", signed 32-bit value
inline constexpr int32_t kFloat = 2;     // "FLOAT", 32-bit float value
inline constexpr int32_t kText = 3;      // "VARCHAR(n)", wide string value
inline constexpr int32_t kBoolean = 4;   // "BOOLEAN", bool value
inline constexpr int32_t kDateTime = 6;  // "DATETIME", wide string value
}  // namespace ColumnType

// Key flags of a column, for the convenience overload of DataTable::AddColumn.
enum ColumnFlags : uint32_t {
  kNoFlags = 0,
  kAutoIncrement = 1u << 0,
  kPrimaryKey = 1u << 1,
  kUnique = 1u << 2,
  kUniqueGroup = 1u << 3,
  kAutoKey = kAutoIncrement | kPrimaryKey,  // every auto-increment key is also the primary key
};

class DataColumn {
 public:
  virtual ~DataColumn() = default;

  std::wstring name;                  // as written in SQL; key of the row values
  int32_t type = ColumnType::kNone;   // one of ColumnType
  bool autoIncrement = false;         // " PRIMARY KEY autoincrement"; left out of INSERT texts
  bool primaryKey = false;            // " PRIMARY KEY"; forms the where clause of UPDATE texts
  bool unique = false;                // " UNIQUE"
  bool uniqueGroup = false;           // member of the one table-level UNIQUE(...) clause
  int32_t length = -1;                // declared text length; negative means 512
};

}  // namespace zorel
