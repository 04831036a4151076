#pragma once
// ResultStore: ResultStore.db in the store folder, its core tables, the
// registry of run-time tables, and row writes and queries.
//
// The store folder is kept twice, mapped once when the store opens: as the
// Windows folder the machine knows it by, ending in "\" (what
// GetStoreFolder answers and plug-ins build their paths from), and as the
// host folder behind it (where the database and the cabinets are written).
// Open takes either form: a text starting with "/" is a host folder, shown
// as C:\... inside the machine's drive_c and as Z:\... elsewhere; any other
// text is a Windows folder ("/" and "\" alike) mapped to its host folder.
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
  // store's collection folder, then db.cab holding ResultStore.db with
  // every committed row, in rollback-journal mode so that the one file is
  // the whole database; the collection folder is removed afterwards. False
  // when db.cab could not be written, or the database could not be made
  // whole for it (then no db.cab is left).
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

  // The store folder and the Windows paths of collection rows are mapped
  // with |mapper|; null (the default) uses the current machine's mapping.
  // Set before Open. Not owned.
  void SetPathMapper(const platform::IPathMapper* mapper) { pathMapper_ = mapper; }

  // A Windows folder text as Open keeps it: "\" for every "/", exactly one
  // trailing "\" (C:\s, C:\s\ and C:/s// all give C:\s\).
  static std::wstring NormalizeFolder(const std::wstring& folder);
  // The host folder behind GetStoreFolder(), without a trailing "/"; empty
  // until Open succeeded in mapping the folder.
  const std::string& HostFolder() const { return hostFolder_; }

 private:
  struct PackWalk;

  void CollectEnvironment(EnvironmentCollection& collection);
  // The mapper set with SetPathMapper, else the current machine's; null
  // when there is no machine.
  const platform::IPathMapper* Mapper() const;
  // Sets both forms of the store folder from |folder| as Open was given
  // it; false (both left empty) for an empty text or one that cannot be
  // mapped.
  bool MapFolder(const std::wstring& folder);
  // ResultStore.db of the store folder as a host path.
  std::wstring HostDatabasePath() const;

  // Packaging steps (result_store_package.cpp).
  bool HostPathOf(const std::wstring& windowsPath, std::string& host) const;
  // Makes ResultStore.db complete and in rollback-journal mode for packing.
  bool PrepareDatabaseForPacking();
  void AddCollectionRows();
  void AddPatternRow(const std::wstring& source, bool recursive, bool filter);
  void CollectMatchingFiles(PackWalk& walk, const std::wstring& folder,
                            const std::string& hostFolder);
  void ReadCollectionFlags(int32_t id, bool& recursive, bool& filter);

  std::unique_ptr<CSqliteDBConnection> connection_;
  std::wstring storeFolder_;  // Windows form, ends in "\" once opened
  std::string hostFolder_;    // host form, no trailing "/"
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
