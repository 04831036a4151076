// ResultStore: opening, table creation, the run-time table registry, row
// writes and queries. Packaging lives in result_store_package.cpp; the
// gathering of machine facts is handed in (see CollectEnvironment).

#include "zorel/store/result_store.h"

#include <filesystem>
#include <system_error>

#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/environment_collection.h"
#include "zorel/store/jsexecution_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/sqlite_db_connection.h"

namespace zorel {

namespace {

std::unique_ptr<DataTable> takeTable(Store&& store) {
  return std::make_unique<DataTable>(std::move(store.Table()));
}

std::wstring quoteLiteral(const std::wstring& text) {
  std::wstring quoted;
  for (wchar_t c : text) {
    if (c == L'\'') quoted += L'\'';
    quoted += c;
  }
  return quoted;
}

// Remove a file by its host path, quietly.
void removeFile(const std::wstring& path) {
  std::error_code ignored;
  std::filesystem::remove(std::filesystem::path(toUtf8(path)), ignored);
}

}  // namespace

ResultStore::ResultStore()
    : connection_(std::make_unique<CSqliteDBConnection>()),
      cabinet_(std::make_unique<CabinetUtility>()) {
  auto jsExecution = std::make_unique<DataTable>();
  CreateJsExecutionTable(*jsExecution);
  auto collection = std::make_unique<DataTable>();
  CreateCollectionTable(*collection);

  tables_.push_back(std::move(jsExecution));
  tables_.push_back(takeTable(OperationStore()));
  tables_.push_back(std::move(collection));
  tables_.push_back(takeTable(CollectionTableNameStore()));
  tables_.push_back(takeTable(CollectionTableFieldStore()));
  tables_.push_back(takeTable(ProblemStore()));
  tables_.push_back(takeTable(ProblemStageStore()));
  tables_.push_back(takeTable(ProblemStatusStore()));
}

ResultStore::~ResultStore() = default;  // the connection closes itself

std::wstring ResultStore::NormalizeFolder(const std::wstring& folder) {
  std::wstring text = folder;
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  return text + L'\\';
}

const platform::IPathMapper* ResultStore::Mapper() const {
  if (pathMapper_) return pathMapper_;
  platform::IMachine* machine = platform::currentMachine();
  return machine ? &machine->paths() : nullptr;
}

bool ResultStore::MapFolder(const std::wstring& folder) {
  storeFolder_.clear();
  hostFolder_.clear();
  if (folder.empty()) return false;  // never the working directory
  const platform::IPathMapper* mapper = Mapper();
  if (folder.front() == L'/') {
    // A host folder (the headless front ends hand one over): shown to the
    // machine as C:\... inside drive_c, else Z:\... .
    std::string host = toUtf8(folder);
    while (host.size() > 1 && (host.back() == '/' || host.back() == '\\')) host.pop_back();
    std::wstring windows;
    if (mapper) {
      windows = mapper->toWindowsPath(host);
    } else {
      // Without a machine only the drive every machine has can name it.
      windows = L"Z:" + fromUtf8(host);
    }
    if (windows.empty()) return false;
    storeFolder_ = NormalizeFolder(windows);
    hostFolder_ = host;
    return true;
  }
  const std::wstring windows = NormalizeFolder(folder);
  std::string host;
  if (!mapper || mapper->toHostPath(windows, host) != platform::ERROR_SUCCESS) return false;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  storeFolder_ = windows;
  hostFolder_ = host;
  return true;
}

bool ResultStore::Open(const std::wstring& folder) {
  FrameworkLog& log = FrameworkLog::Instance();
  if (!MapFolder(folder) || !connection_->Open(HostDatabasePath())) {
    log.Write(LogLevel::Error, L"Failed to open result store");
    return false;
  }

  for (const auto& table : tables_) {
    if (!connection_->ExecuteQuery(table->GetCreateTableText())) {
      log.Write(LogLevel::Error, L"Failed to create store table: %s", table->Name().c_str());
    }
  }

  EnvironmentCollection environment;
  RegisterStore(environment.Table());
  CollectEnvironment(environment);
  if (!Insert(environment.Table())) {
    log.Write(LogLevel::Warn, L"Some issue in the default collection of environment details");
  }
  return true;
}

void ResultStore::CollectEnvironment(EnvironmentCollection& collection) {
  // The machine facts come from the OS and System plug-ins, which sit above
  // this library; the framework hands their collector in. Without one the
  // table is registered but stays empty.
  if (!environmentCollector_) return;
  try {
    environmentCollector_(collection);
  } catch (...) {
    // Facts gathered before the failure are still inserted.
  }
}

bool ResultStore::RegisterStore(DataTable& table) {
  FrameworkLog& log = FrameworkLog::Instance();
  if (!connection_->ExecuteQuery(table.GetCreateTableText())) {
    // Normal for a table registered before: it exists already.
    log.Write(LogLevel::Error, L"Failed to create store table: %s", table.Name().c_str());
  }

  CollectionTableNameStore names;
  names.AddTableName(table.Name());
  Insert(names.Table());  // rejected by UNIQUE when the name is known
  if (names.Table().RowCount() != 1) {
    log.Write(LogLevel::Error, L"Failed to add the table name '%s' to store",
              table.Name().c_str());
    return false;
  }

  int32_t id = -1;
  names.Table().Row(0).GetInt(L"ID", id);
  if (id <= 0) {
    DataTable found;
    const std::wstring sql = L"select ID from COLLECTION_TABLE_NAMES where TABLE_NAME LIKE '" +
                             quoteLiteral(table.Name()) + L"'";
    if (ExecuteQuery(sql, found) && found.RowCount() == 1) found.Row(0).GetInt(L"ID", id);
  }
  if (id <= 0) {
    log.Write(LogLevel::Error, L"Failed to Register Store: %s", table.Name().c_str());
    return false;
  }

  for (const auto& column : table.Columns()) {
    CollectionTableFieldStore fields;
    fields.AddField(id, column->name, column->type);
    Insert(fields.Table());
  }
  return true;
}

bool ResultStore::Insert(DataTable& table) {
  if (!connection_->ExecuteStatements(table.GetInsertStatements())) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to insert in to store: %s",
                                   table.Name().c_str());
    return false;
  }
  if (table.RowCount() == 1) {
    table.Row(0).SetIfPresent(L"ID", connection_->GetLastInsertRowId());
  }
  return true;
}

bool ResultStore::Update(DataTable& table) {
  if (!connection_->ExecuteStatements(table.GetUpdateStatements())) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to update in to store: %s",
                                   table.Name().c_str());
    return false;
  }
  return true;
}

bool ResultStore::ExecuteQuery(const std::wstring& sql, DataTable& table) {
  if (!connection_->ExecuteSelect(sql, table)) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to execute the query: %s",
                                   sql.c_str());
    return false;
  }
  return true;
}

bool ResultStore::Checkpoint() { return connection_->Checkpoint(); }

bool ResultStore::Close(bool deleteDatabase) {
  if (!connection_->Close()) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to close result store");
    return false;
  }
  // Before any Open there is no folder: never delete a ResultStore.db that
  // merely lies in the working directory.
  if (deleteDatabase && !hostFolder_.empty()) {
    const std::wstring path = HostDatabasePath();
    removeFile(path);
    // A log left by a killed process must not meet a later database of the
    // same name.
    removeFile(path + L"-wal");
    removeFile(path + L"-shm");
  }
  return true;
}

}  // namespace zorel
