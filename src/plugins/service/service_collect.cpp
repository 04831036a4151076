// Service::collect: every Win32 service into SERVICE_TABLE, with a
// COLLECTION_TABLE row of type 4 naming it.
//
// collect keeps its operation record itself rather than through
// PluginCall: the collection row refers to the record's ID. The service
// control manager handle opened at construction stays open.

#include <exception>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/service/service.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/data_column.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"
#include "zorel/store/store.h"

namespace zorel {

namespace p = platform;

// SERVICE_TABLE: one row per Win32 service.
class ServiceTable : public Store {
 public:
  ServiceTable() : Store(L"SERVICE_TABLE") {
    table_.AddColumn(L"id", ColumnType::kInteger, kAutoKey);
    table_.AddColumn(L"name", ColumnType::kText, kUnique);
    table_.AddColumn(L"displayname", ColumnType::kText);
    table_.AddColumn(L"logonas", ColumnType::kText);
    table_.AddColumn(L"status", ColumnType::kText);
    table_.AddColumn(L"startuptype", ColumnType::kText);
    table_.AddColumn(L"binarypath", ColumnType::kText, kNoFlags, 2500);
    table_.AddColumn(L"loadordergroup", ColumnType::kText);
    table_.AddColumn(L"errorcontrol", ColumnType::kInteger);
    table_.AddColumn(L"tagid", ColumnType::kInteger);
    table_.AddColumn(L"dependencies", ColumnType::kText);
  }

  void Add(const p::ServiceEntry& entry, const p::ServiceConfig& config) {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"name", entry.serviceName);
    row->Set(L"displayname", entry.displayName);
    row->Set(L"logonas", config.serviceStartName);
    row->Set(L"status", Service::StateName(entry.status.currentState));
    row->Set(L"startuptype", Service::StartTypeName(config.startType));
    // Stored as the service has it: the store's statements escape quotes
    // themselves, so doubling them here would store a path that does not
    // exist.
    row->Set(L"binarypath", config.binaryPathName);
    row->Set(L"loadordergroup", config.loadOrderGroup);
    row->Set(L"errorcontrol", static_cast<int32_t>(config.errorControl));
    row->Set(L"tagid", static_cast<int32_t>(config.tagId));
    std::wstring joined;
    for (const std::wstring& d : config.dependencies) {
      if (!joined.empty()) joined += L',';
      joined += d;
    }
    row->Set(L"dependencies", joined);
    table_.AddRow(std::move(row));
  }
};

namespace {

template <class... Args>
void Error(const wchar_t* format, Args... args) {
  FrameworkLog::Instance().Write(LogLevel::Error, format, args...);
}

constexpr int32_t kYes = 1;
constexpr uint32_t kFullAccess = 0xF003F;

}  // namespace

int32_t Service::Collect(ServiceTable& table) {
  if (!manager_ || scm_ == p::kNoScHandle) {
    Error(L"Failed to open service manager while service collect. Error : %ld",
          static_cast<long>(scmError_));
    return scmError_;
  }
  std::vector<p::ServiceEntry> services;
  if (int32_t e =
          manager_->enumServices(scm_, p::SERVICE_WIN32, p::SERVICE_STATE_ALL, &services)) {
    Error(L"Failed during EnumServicesStatusEx while service collection. Error : %ld",
          static_cast<long>(e));
    return e;
  }
  if (services.empty()) {
    // The size query found nothing to list: it "succeeds", and its result
    // is the answer.
    Error(L"Failed calling function EnumServicesStatusEx  while service collection. Error : %ld",
          static_cast<long>(kYes));
    return kYes;
  }
  for (const p::ServiceEntry& entry : services) {
    if (int32_t e = OpenService(scm_, entry.serviceName, kFullAccess)) {
      Error(L"Failed to open service : %s (display name : %s)  while service collection. Error "
            L"code : %ld",
            entry.serviceName.c_str(), entry.displayName.c_str(), static_cast<long>(e));
      continue;
    }
    p::ServiceConfig config;
    const int32_t e = manager_->queryConfig(service_, &config);
    CloseService();
    if (e != 0) {
      Error(L"Failed to query service configuration for service : %s  while service collection. "
            L"Insufficient buffer size. Error code %ld.",
            entry.serviceName.c_str(), static_cast<long>(e));
      continue;
    }
    table.Add(entry, config);
  }
  return kYes;
}

std::unique_ptr<CJSONReturn> Service::collect(StackFrame&) {
  OperationStore record(&GetErrorMessage);
  BeginRecord("collect", record);
  auto result = std::make_unique<CJSONServiceReturn>();
  result->status = true;
  ServiceTable rows;
  int32_t code = plugin_error::kApiFailed;
  try {
    code = Collect(rows);
  } catch (const std::exception& e) {
    Error(L"Exception occured while service collection. Exception is : %s",
          fromUtf8(e.what()).c_str());
  } catch (...) {
    Error(L"Exception occured while service collection. Exception is : %s", L"unknown exception");
  }
  CloseService();
  const int32_t errorcode = code == kYes ? 0 : code;
  result->returnValue = code == kYes;
  if (code == plugin_error::kApiFailed) result->status = false;
  record.Finish(L"", code == kYes ? 1 : 0, errorcode);
  IResultStore* store = GetResultStore();
  if (store && code == kYes) {
    store->RegisterStore(rows.Table());
    if (rows.Table().RowCount() > 0) store->Insert(rows.Table());
  }
  if (store) store->Insert(record.Table());
  if (store && code == kYes && record.Table().RowCount() == 1) {
    int32_t operationId = 0;
    record.Table().Row(0).GetInt(L"ID", operationId);
    DataTable collection;
    CreateCollectionTable(collection);
    AddCollectionRow(collection, operationId, CollectionType::kService, L"Service",
                     L"SERVICE_TABLE", 0, true, true);
    store->Insert(collection);
  }
  result->errorcode = errorcode;
  return result;
}

}  // namespace zorel
