// store_insert_bench [count] [folder]
//
// Measures what one plug-in call costs the result store: an OperationStore
// with one OPERATION_TABLE row is begun, finished and handed to
// IResultStore::Insert (one statement text, its own transaction, then the
// new ID read back). For scale, the same rows are then written into a
// second database with one prepared statement inside one transaction.
// Both databases live in |folder| (default: a new folder below the
// temporary folder) and are removed afterwards.

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const std::wstring kInput = L"{\"serveraddress\":\"www.example.com\",\"timeout\":\"5000\"}";

double storeInserts(const std::filesystem::path& folder, int count) {
  zorel::ResultStore resultStore;
  zorel::IResultStore& store = resultStore;
  if (!store.Open(zorel::fromUtf8(folder.string()))) {
    std::fprintf(stderr, "cannot open the store in %s\n", folder.string().c_str());
    std::exit(1);
  }
  const auto start = Clock::now();
  int32_t lastId = -1;
  for (int i = 0; i < count; ++i) {
    zorel::OperationStore operation;
    operation.Begin(0, L"plugins\\win\\env\\Network", L"Network::IsServerReachable");
    operation.Finish(kInput, 1, 0);
    if (!store.Insert(operation.Table())) {
      std::fprintf(stderr, "insert %d failed\n", i);
      std::exit(1);
    }
    operation.Table().Row(0).GetInt(L"ID", lastId);
  }
  const double seconds = secondsSince(start);
  store.Close(false);
  if (lastId != count) {
    std::fprintf(stderr, "last ID %d, expected %d\n", lastId, count);
    std::exit(1);
  }
  return seconds;
}

double rawInserts(const std::filesystem::path& folder, int count) {
  zorel::OperationStore schema;
  const std::string path = (folder / "raw.db").string();
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::exit(1);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
               nullptr);
  sqlite3_exec(db, zorel::toUtf8(schema.Table().GetCreateTableText()).c_str(), nullptr, nullptr,
               nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO OPERATION_TABLE(PROBLEM_ID,STAGE_ID,OPERATION_TYPE,"
                     "COMPONENT_NAME,API_NAME,INPUT_DETAILS,EXECUTION_STATUS,ERROR_CODE,"
                     "ERROR_STRING,START_TIME,END_TIME) VALUES(?,?,?,?,?,?,?,?,?,?,?)",
                     -1, &insert, nullptr);
  const std::string input = zorel::toUtf8(kInput);
  const auto start = Clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int i = 0; i < count; ++i) {
    sqlite3_bind_int(insert, 1, -1);
    sqlite3_bind_int(insert, 2, -1);
    sqlite3_bind_int(insert, 3, 0);
    sqlite3_bind_text(insert, 4, "Network", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 5, "Network::IsServerReachable", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 6, input.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_int(insert, 7, 1);
    sqlite3_bind_int(insert, 8, 0);
    sqlite3_bind_text(insert, 9, "", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 10, "2016-02-01.14:03:05", -1, SQLITE_STATIC);
    sqlite3_bind_text(insert, 11, "2016-02-01.14:03:05", -1, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) std::exit(1);
    sqlite3_reset(insert);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double seconds = secondsSince(start);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 20000;
  std::filesystem::path folder;
  bool removeFolder = false;
  if (argc > 2) {
    folder = argv[2];
  } else {
    std::random_device random;
    folder = std::filesystem::temp_directory_path() /
             ("zorel-store-bench-" + std::to_string(random()));
    removeFolder = true;
  }
  std::filesystem::create_directories(folder);

  const double store = storeInserts(folder, count);
  const double raw = rawInserts(folder, count);
  std::printf("rows: %d  folder: %s\n", count, folder.string().c_str());
  std::printf("IResultStore::Insert, one row per call:   %8.3f s  %10.0f inserts/s  %7.1f us/insert\n",
              store, count / store, store * 1e6 / count);
  std::printf("raw prepared insert, one transaction:     %8.3f s  %10.0f inserts/s  %7.1f us/insert\n",
              raw, count / raw, raw * 1e6 / count);
  std::printf("ratio: %.1fx\n", store / raw);

  std::error_code ignored;
  std::filesystem::remove(folder / "ResultStore.db", ignored);
  std::filesystem::remove(folder / "raw.db", ignored);
  if (removeFolder) std::filesystem::remove_all(folder, ignored);
  return 0;
}
