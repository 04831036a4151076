#pragma once
// ResultStore: ResultStore.db in the store folder, its core tables, the
// registry of run-time tables, and row writes and queries.
//
// The store folder is handled as text only: a trailing "\" or "/" is
// dropped and one separator of the kind the text already uses (default
// "\") is appended, so a Windows folder and a host folder both work.
// Used from one thread; no locks.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zorel/store/data_table.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

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

  // The folder text as Open keeps it (see the file comment).
  static std::wstring NormalizeFolder(const std::wstring& folder);

 private:
  void CollectEnvironment(EnvironmentCollection& collection);
  std::wstring DatabasePath() const { return storeFolder_ + kDatabaseName; }

  std::unique_ptr<CSqliteDBConnection> connection_;
  std::wstring storeFolder_;  // ends in its separator once opened
  // The core tables in creation order.
  std::vector<std::unique_ptr<DataTable>> tables_;
  EnvironmentCollector environmentCollector_;
};

}  // namespace zorel
