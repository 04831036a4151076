#pragma once
// Base of the classes that own one table description and add rows to it.
//
// A store object is usually made for one insert: the caller fills its rows
// and hands Table() to IResultStore::Insert, then drops the store.

#include <string>

#include "zorel/store/data_table.h"

namespace zorel {

class Store {
 public:
  virtual ~Store() = default;

  DataTable& Table() { return table_; }
  const DataTable& Table() const { return table_; }

 protected:
  explicit Store(std::wstring tableName) : table_(std::move(tableName)) {}

  DataTable table_;
};

}  // namespace zorel
