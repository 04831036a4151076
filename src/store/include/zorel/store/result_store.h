#pragma once
// ResultStore: ResultStore.db in the store folder, its core tables, the
// registry of run-time tables, and row writes and queries.
//
// The store folder is kept as text: a trailing "\" or "/" is dropped and
// one separator of the kind the text already uses (default "\") is
// appended. A folder starting with "/" is a host folder; any other text is
// a Windows path of the machine, mapped to its host folder for every file
// the store touches.
// Used from one thread; no locks.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zorel/store/data_table.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

namespace platform {
class IPathMapper;
}
class CabinetUtility;

class CSqliteDBConnection;
class EnvironmentCollection;

class ResultStore : public IResultStore {
 public:
  // Fills the environment collection while the store opens.
  using EnvironmentCollector = std::function<void(EnvironmentCollection&)>;

  static constexpr const wchar_t* kDatabaseName = L"ResultStore.db";

  ResultStore();
  // Closes a database left open (its log files go with it).
  ~ResultStore() override;
  ResultStore(const ResultStore&) = delete;
  ResultStore& operator=(const ResultStore&) = delete;

  bool Open(const std::wstring& folder) override;
  bool RegisterStore(DataTable& table) override;
  bool Insert(DataTable& table) override;
  bool Update(DataTable& table) override;
  bool ExecuteQuery(const std::wstring& sql, DataTable& table) override;
  // collection.cab from the collection rows of types 1 and 2 and the
  // store's collection folder, then db.cab holding ResultStore.db (every
  // committed row); the collection folder is removed afterwards. False
  // only when db.cab could not be written.
  bool Package() override;
  bool Close(bool deleteDatabase) override;
  std::wstring GetStoreFolder() override { return storeFolder_; }

  // Fold the write-ahead log into ResultStore.db so that the file alone
  // holds every committed row; call before copying the file while open.
  bool Checkpoint();

  // The gatherer of machine facts run by Open; none by default.
  void SetEnvironmentCollector(EnvironmentCollector collector) {
    environmentCollector_ = std::move(collector);
  }

  // The Windows paths of collection rows (and a store folder given as a
  // Windows path) are mapped to host paths with |mapper| while packaging;
  // null (the default) uses the current machine's mapping. Not owned.
  void SetPathMapper(const platform::IPathMapper* mapper) { pathMapper_ = mapper; }

  // The folder text as Open keeps it (see the file comment).
  static std::wstring NormalizeFolder(const std::wstring& folder);

 private:
  struct PackWalk;

  void CollectEnvironment(EnvironmentCollection& collection);
  // ResultStore.db of the store folder as a host path; empty when the
  // folder cannot be mapped.
  std::wstring HostDatabasePath() const;

  // Packaging steps (result_store_package.cpp).
  bool HostPathOf(const std::wstring& path, bool storeFolder, std::string& host) const;
  void AddCollectionRows();
  void AddPatternRow(const std::wstring& source, bool recursive, bool filter);
  void CollectMatchingFiles(PackWalk& walk, const std::wstring& folder,
                            const std::string& hostFolder);
  void ReadCollectionFlags(int32_t id, bool& recursive, bool& filter);

  std::unique_ptr<CSqliteDBConnection> connection_;
  std::wstring storeFolder_;  // ends in its separator once opened
  // The DESTINATION of the collection row being packed, and the folder
  // above the root of the pattern being packed; only used while packing.
  std::wstring currentDestination_;
  std::wstring collectionRootParent_;
  // The core tables in creation order.
  std::vector<std::unique_ptr<DataTable>> tables_;
  // Writes collection.cab and then db.cab.
  std::unique_ptr<CabinetUtility> cabinet_;
  EnvironmentCollector environmentCollector_;
  const platform::IPathMapper* pathMapper_ = nullptr;
};

}  // namespace zorel
