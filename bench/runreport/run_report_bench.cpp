// run_report_bench [records] [runs] [folder]
//
// Makes a result store of `records` operation records (default 100 000,
// every tenth failing, each with a JSON input text), then times, `runs`
// times each (default 5): reading the store into the model, rendering the
// HTML page from it, and the whole `zorel report STORE --out PAGE` command.
// Prints every round and the median of each.

#include <sqlite3.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core_schema.h"
#include "zorel/runreport/run_render.h"
#include "zorel/runreport/run_source.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

bool makeStore(const std::string& path, long records) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  std::string sql = zorel::test::kCoreSchema;
  sql += "INSERT INTO JSEXECUTION_TABLE VALUES(1,'bench.js','1','1.0','2026-12-10.10:00:00',"
         "'2026-12-10.10:09:00',5);"
         "INSERT INTO PROBLEM_TABLE VALUES(1,'many files','every file the run looked at','');"
         "INSERT INTO PROBLEM_STATUS_TABLE VALUES(1,100,3,'','');BEGIN;";
  bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_stmt* insert = nullptr;
  ok = ok && sqlite3_prepare_v2(db,
                                "INSERT INTO OPERATION_TABLE(PROBLEM_ID,STAGE_ID,OPERATION_TYPE,"
                                "COMPONENT_NAME,API_NAME,INPUT_DETAILS,EXECUTION_STATUS,ERROR_CODE,"
                                "ERROR_STRING,START_TIME,END_TIME) VALUES(1,100,0,'File',"
                                "'File::isFilePresent',?,?,?,?,'2026-12-10.10:00:00',"
                                "'2026-12-10.10:00:00')",
                                -1, &insert, nullptr) == SQLITE_OK;
  for (long i = 0; ok && i < records; ++i) {
    const bool failed = i % 10 == 0;
    const std::string input = "{\"path\":\"C:\\\\Users\\\\Public\\\\data\\\\file" + std::to_string(i) + ".txt\"}";
    sqlite3_bind_text(insert, 1, input.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(insert, 2, failed ? 0 : 1);
    sqlite3_bind_int(insert, 3, failed ? 2 : 0);
    sqlite3_bind_text(insert, 4, failed ? "The system cannot find the file specified." : "", -1, SQLITE_STATIC);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const long records = argc > 1 ? std::atol(argv[1]) : 100000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string folder = argc > 3 ? argv[3] : "/tmp/zorel-run-report-bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string store = folder + "/ResultStore.db";
  if (!makeStore(store, records)) {
    std::fprintf(stderr, "cannot make %s\n", store.c_str());
    return 1;
  }
  std::vector<double> readMs, renderMs, commandMs;
  size_t pageBytes = 0;
  for (int r = 0; r < runs; ++r) {
    zorel::runreport::RunModel model;
    std::string error;
    auto start = Clock::now();
    if (!zorel::runreport::LoadRun(store, model, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    readMs.push_back(msSince(start));
    start = Clock::now();
    pageBytes = zorel::runreport::RenderHtml(model).size();
    renderMs.push_back(msSince(start));

    const std::string command = std::string("'" ZOREL_BINARY_DIR "/src/cli/zorel' report '") + store +
                                "' --out '" + folder + "/page.html' 2>/dev/null";
    start = Clock::now();
    const int status = std::system(command.c_str());
    commandMs.push_back(msSince(start));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "zorel report failed\n");
      return 1;
    }
    std::printf("round %d: read %.0f ms, render %.0f ms, zorel report %.0f ms\n", r + 1, readMs.back(),
                renderMs.back(), commandMs.back());
  }
  std::printf("%ld records, page %zu bytes; median: read %.0f ms, render %.0f ms, zorel report %.0f ms\n",
              records, pageBytes, median(readMs), median(renderMs), median(commandMs));
  std::filesystem::remove_all(folder);
  return 0;
}
