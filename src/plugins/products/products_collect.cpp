// Products::collect: both lists into PRODUCT_COLLECTION_TABLE, with a
// COLLECTION_TABLE row of type 8 naming it.
//
// collect keeps its operation record itself rather than through
// PluginCall: the collection row refers to the record's ID. Its error code
// goes into its answer only; the plug-in's errorcode property is left as
// it was.

#include <map>
#include <set>

#include "products_lists.h"
#include "zorel/common/utf8.h"
#include "zorel/detect/installed_product.h"
#include "zorel/detect/product_detection.h"
#include "zorel/detect/uninstall_entries.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/products/products.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/data_column.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"
#include "zorel/store/store.h"

namespace zorel {

using products_detail::Lists;

namespace {

constexpr int32_t kApiFailed = 20016;
constexpr int32_t kProductType = 0;  // a product of the maker, found by detection
constexpr int32_t kProgramType = 1;  // a program of the uninstall list

// PRODUCT_COLLECTION_TABLE: (TYPE INTEGER, NAME VARCHAR PRIMARY KEY).
class ProductCollection : public Store {
 public:
  ProductCollection() : Store(L"PRODUCT_COLLECTION_TABLE") {
    table_.AddColumn(L"TYPE", ColumnType::kInteger);
    table_.AddColumn(L"NAME", ColumnType::kText, kPrimaryKey);
  }
  void Add(int32_t type, const std::wstring& name) {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"TYPE", type);
    row->Set(L"NAME", name);
    table_.AddRow(std::move(row));
  }
};

void LogError(const wchar_t* format, int32_t code) {
  FrameworkLog::Instance().Write(LogLevel::Error, format, code);
}

// The names PRODUCT_COLLECTION_TABLE holds already (an earlier collect of
// the run).
std::set<std::wstring> StoredNames(IResultStore& store) {
  std::set<std::wstring> names;
  DataTable found;
  if (!store.ExecuteQuery(L"select NAME from PRODUCT_COLLECTION_TABLE", found)) return names;
  for (size_t i = 0; i < found.RowCount(); ++i) {
    std::wstring name;
    found.Row(i).GetString(L"NAME", name);
    names.insert(std::move(name));
  }
  return names;
}

}  // namespace

std::unique_ptr<CJSONReturn> Products::collect(StackFrame&) {
  OperationStore record(&GetErrorMessage);
  BeginRecord("collect", record);
  auto result = std::make_unique<CJSONReturn>();
  std::map<std::wstring, int32_t> names;  // name -> type, in name order
  bool detected = false, listed = false;

  int32_t detectionError = kApiFailed;
  std::unique_ptr<CJSONProductsInfo> found = Detect({}, detectionError, Lists().detected);
  Lists().lastDetectionFailed = detectionError != 0;
  if (detectionError != 0 || !found) {
    LogError(L"Failed to collect Olvane products, Error: %d", detectionError);
  } else {
    detected = true;
    for (size_t i = 0; i < found->products.Size(); ++i)
      if (const auto* product = dynamic_cast<const CInstalledProduct*>(&found->products.At(i)))
        names.emplace(fromUtf8(product->productname), kProductType);
  }
  try {
    const UninstallList list = EnumerateUninstallList(products_detail::Machine().registry());
    if (list.result != 0) {
      LogError(L"Failed to collect non Olvane products, Error: %d", list.result);
    } else {
      listed = true;
      for (const std::wstring& name : list.names) names.emplace(name, kProgramType);
    }
  } catch (...) {
    LogError(L"Failed to collect non Olvane products, Error: %d", kApiFailed);
  }

  int32_t code = detected && listed ? 0 : kApiFailed;
  IResultStore* store = GetResultStore();
  const bool gathered = detected || listed;
  if (store && gathered) {
    ProductCollection rows;
    if (!store->RegisterStore(rows.Table())) {
      code = kApiFailed;
    } else {
      const std::set<std::wstring> stored = StoredNames(*store);
      for (const auto& [name, type] : names)
        if (!stored.count(name)) rows.Add(type, name);
      if (rows.Table().RowCount() > 0 && !store->Insert(rows.Table())) code = kApiFailed;
    }
  }
  record.Finish(L"", code == 0 ? 1 : 0, code);
  if (store) store->Insert(record.Table());
  if (store && gathered)
    InsertTableCollectionRow(*store, record.Table(), CollectionType::kProduct, L"Products",
                             L"PRODUCT_COLLECTION_TABLE");
  result->errorcode = code;
  return result;
}

}  // namespace zorel
