// Process: collect, every process into PROCESS_COLLECTION_TABLE.

#include <vector>

#include "process_log.h"
#include "zorel/platform/process/process_list.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/process/process.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"
#include "zorel/store/store.h"

namespace zorel {

namespace pe = plugin_error;
using namespace process_log;
using platform::ProcessEntry;

namespace {

constexpr const wchar_t* kNoPath = L"Not able to get the process path";
constexpr const wchar_t* kNoUser = L"Not able to get the user for the process";

// PROCESS_COLLECTION_TABLE: one row per process that could be opened,
// UNIQUE(PROCESS_NAME, PROCESS_ID) ON CONFLICT REPLACE.
class ProcessCollection : public Store {
 public:
  ProcessCollection() : Store(L"PROCESS_COLLECTION_TABLE") {
    table_.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
    table_.AddColumn(L"PROCESS_NAME", ColumnType::kText, kUniqueGroup);
    table_.AddColumn(L"PROCESS_PATH", ColumnType::kText);
    table_.AddColumn(L"PROCESS_ID", ColumnType::kInteger, kUniqueGroup);
    table_.AddColumn(L"USER_NAME", ColumnType::kText);
    table_.AddColumn(L"MEMORY", ColumnType::kText);
    table_.AddColumn(L"PLATFORM", ColumnType::kText);
    table_.AddColumn(L"ELEVATED", ColumnType::kBoolean);
  }
  void Add(const ProcessEntry& entry, platform::IProcessHandle& handle) {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"PROCESS_NAME", entry.exeFile);
    std::wstring path = kNoPath;
    if (platform::WinError e = handle.imagePath(&path)) {
      path = kNoPath;
      Error(L"Failed getting the process path - Error: %s", GetErrorMessage(e).c_str());
    }
    row->Set(L"PROCESS_PATH", path);
    row->Set(L"PROCESS_ID", static_cast<int32_t>(entry.processId));
    row->Set(L"USER_NAME", User(handle));
    uint64_t bytes = 0;
    if (handle.workingSetSize(&bytes) != 0) bytes = 0;
    row->Set(L"MEMORY", std::to_wstring(bytes));
    bool wow64 = false;
    row->Set(L"PLATFORM", handle.isWow64(&wow64) != 0 ? L"Not able to identify"
                          : wow64                     ? L"32 Bit"
                                                      : L"64 Bit");
    bool elevated = false;
    if (handle.elevated(&elevated) != 0) elevated = false;
    row->Set(L"ELEVATED", elevated);
    table_.AddRow(std::move(row));
  }

 private:
  static std::wstring User(platform::IProcessHandle& handle) {
    std::wstring user;
    const platform::WinError e = handle.userName(&user);
    if (e != 0 && e != platform::ERROR_NONE_MAPPED) Error(L"Error getting the process user");
    if (e != 0 || user.empty()) {
      Error(L"Process user is empty");
      return kNoUser;
    }
    return user;
  }
};

}  // namespace

std::unique_ptr<CJSONReturn> Process::collect(StackFrame&) {
  OperationStore record(&GetErrorMessage);
  BeginRecord(__func__, record);
  auto result = std::make_unique<CJSONReturn>();
  ProcessCollection rows;
  bool walked = false;
  source_->enableDebugPrivilege();  // failures are ignored
  std::vector<ProcessEntry> entries;
  platform::WinError e = 0;
  try {
    e = source_->snapshot(&entries);
  } catch (...) {
    e = platform::getLastError();
    Error(L"CreateToolhelp32Snapshot failed. Error %s", GetErrorMessage(e).c_str());
    entries.clear();
    if (e == 0) e = pe::kApiFailed;
  }
  if (e != 0) {
    errorcode = e;
    Error(L"Invalid handle recieved while creating process snapshot. Error: %s",
          GetErrorMessage(e).c_str());
  } else if (entries.empty()) {
    errorcode = pe::kEnumProcessFailed;
    Error(L"Error fetching process details");
  } else {
    // The memory and bitness queries always exist here (no psapi.dll to
    // load), so a walk that ran succeeds.
    for (const ProcessEntry& entry : entries) {
      std::unique_ptr<platform::IProcessHandle> handle;
      if (source_->open(platform::PROCESS_QUERY_INFORMATION | platform::PROCESS_VM_READ, entry,
                        &handle) != 0 &&
          source_->open(platform::PROCESS_QUERY_LIMITED_INFORMATION, entry, &handle) != 0)
        continue;
      if (handle) rows.Add(entry, *handle);
    }
    walked = true;
    errorcode = pe::kSuccess;
  }
  record.Finish(L"", errorcode == 0 ? 1 : 0, errorcode);
  IResultStore* store = GetResultStore();
  if (store) store->Insert(record.Table());
  if (store && walked && errorcode == 0 && store->RegisterStore(rows.Table())) {
    if (rows.Table().RowCount() > 0) store->Insert(rows.Table());
    InsertTableCollectionRow(*store, record.Table(), CollectionType::kProcess, L"Process",
                             L"PROCESS_COLLECTION_TABLE");
  }
  result->errorcode = errorcode;
  return result;
}

}  // namespace zorel
