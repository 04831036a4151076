#include "zorel/store/environment_collection.h"

namespace zorel {

EnvironmentCollection::EnvironmentCollection() : Store(L"ENVIRONMENT_COLLECTION_TABLE") {
  table_.AddColumn(L"KEY", ColumnType::kText, kPrimaryKey);
  table_.AddColumn(L"VALUE", ColumnType::kText);
}

void EnvironmentCollection::AddEntry(const std::wstring& key, const std::wstring& value) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"KEY", key);
    row->Set(L"VALUE", value);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

}  // namespace zorel
