// Finding the run's database and reading it.
//
// The database is opened read-only: a report never changes the store it
// reads (opening it through the store's own connection would switch its
// journal mode). Every table is read with one query over named columns, so
// a file of another layout fails that table only.

#include "zorel/runreport/run_source.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <unordered_map>

#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_listing.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/machine/temp_path.h"
#include "zorel/runreport/requirement_words.h"

namespace zorel::runreport {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kMinimumHealthStage = 100;

enum class FileKind { Missing, Folder, Database, Cabinet, Other };

FileKind kindOf(const fs::path& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec || !fs::exists(status)) return FileKind::Missing;
  if (fs::is_directory(status)) return FileKind::Folder;
  if (!fs::is_regular_file(status)) return FileKind::Other;
  char head[16] = {};
  std::ifstream in(path, std::ios::binary);
  in.read(head, sizeof head);
  const std::string magic(head, static_cast<size_t>(in.gcount()));
  if (magic.compare(0, 4, "MSCF") == 0) return FileKind::Cabinet;
  if (magic == std::string("SQLite format 3\0", 16)) return FileKind::Database;
  return FileKind::Other;
}

std::string uniqueTempFolder() {
  std::string base = platform::hostTempFolder();
  if (base.empty()) base = "/tmp/";
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "zorel-report-%08x%08x", random(), random());
    std::error_code ec;
    if (fs::create_directory(base + name, ec) && !ec) return base + name;
  }
  return {};
}

// One prepared query; finalised with the object.
class Query {
 public:
  Query(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr); }
  ~Query() { sqlite3_finalize(statement_); }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;
  bool ok() const { return statement_ != nullptr; }
  bool step() { return statement_ && sqlite3_step(statement_) == SQLITE_ROW; }
  int32_t integer(int column) const { return sqlite3_column_int(statement_, column); }
  int64_t integer64(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string text(int column) const {
    const auto* bytes = sqlite3_column_text(statement_, column);
    if (!bytes) return {};
    return std::string(reinterpret_cast<const char*>(bytes),
                       static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// Runs `sql` over one table; a table that does not prepare (absent, or of
// another layout) is named in missingTables.
template <typename Row>
void readTable(sqlite3* db, const char* table, const char* sql, RunModel& model, Row row) {
  Query query(db, sql);
  if (!query.ok()) {
    model.missingTables.push_back(table);
    return;
  }
  while (query.step()) row(query);
}

void readTables(sqlite3* db, RunModel& model) {
  readTable(db, "JSEXECUTION_TABLE",
            "SELECT JAVASCRIPT_NAME,JAVASCRIPT_REVISION,COREFRAMEWORK_VERSION,START_TIME,END_TIME,"
            "EXECUTION_STATUS FROM JSEXECUTION_TABLE ORDER BY ID LIMIT 1",
            model, [&](const Query& q) {
              RunHeader& h = model.header;
              h.present = true;
              h.script = q.text(0);
              h.revision = q.text(1);
              h.frameworkVersion = q.text(2);
              h.start = q.text(3);
              h.end = q.text(4);
              h.executionStatus = q.integer(5);
            });
  readTable(db, "ENVIRONMENT_COLLECTION_TABLE",
            "SELECT KEY,VALUE FROM ENVIRONMENT_COLLECTION_TABLE ORDER BY rowid", model,
            [&](const Query& q) { model.environment.emplace_back(q.text(0), q.text(1)); });
  readTable(db, "PROBLEM_STAGE_TABLE", "SELECT ID,NAME FROM PROBLEM_STAGE_TABLE ORDER BY ID", model,
            [&](const Query& q) { model.stages.push_back({q.integer(0), q.text(1)}); });
  std::unordered_map<int32_t, size_t> problemAt;
  readTable(db, "PROBLEM_TABLE", "SELECT ID,NAME,DESCRIPTION,URL FROM PROBLEM_TABLE ORDER BY ID",
            model, [&](const Query& q) {
              Problem p;
              p.id = q.integer(0);
              p.name = q.text(1);
              p.description = q.text(2);
              p.url = q.text(3);
              problemAt.emplace(p.id, model.problems.size());
              model.problems.push_back(std::move(p));
            });
  // A status row of a problem that has no PROBLEM_TABLE row (its insert
  // failed) still shows, under a problem of that id without a name.
  readTable(db, "PROBLEM_STATUS_TABLE",
            "SELECT PROBLEM_ID,STAGE_ID,STATUS,START_TIME,END_TIME FROM PROBLEM_STATUS_TABLE "
            "ORDER BY rowid",
            model, [&](const Query& q) {
              const int32_t id = q.integer(0);
              auto at = problemAt.find(id);
              if (at == problemAt.end()) {
                Problem p;
                p.id = id;
                at = problemAt.emplace(id, model.problems.size()).first;
                model.problems.push_back(std::move(p));
              }
              model.problems[at->second].stages.push_back(
                  {q.integer(1), q.integer(2), q.text(3), q.text(4), {}});
            });
  readTable(db, "OPERATION_TABLE",
            "SELECT ID,PROBLEM_ID,STAGE_ID,OPERATION_TYPE,COMPONENT_NAME,API_NAME,INPUT_DETAILS,"
            "EXECUTION_STATUS,ERROR_CODE,ERROR_STRING,START_TIME,END_TIME FROM OPERATION_TABLE "
            "ORDER BY ID",
            model, [&](const Query& q) {
              Operation o;
              o.id = q.integer(0);
              o.problem = q.integer(1);
              o.stage = q.integer(2);
              o.type = q.integer(3);
              o.component = q.text(4);
              o.api = q.text(5);
              o.input = q.text(6);
              o.executionStatus = q.integer(7);
              o.errorCode = q.integer(8);
              o.errorString = q.text(9);
              o.start = q.text(10);
              o.end = q.text(11);
              model.operations.push_back(std::move(o));
            });
  readTable(db, "COLLECTION_TABLE",
            "SELECT ID,OPERATION_ID,COLLECTION_TYPE,SOURCE,DESTINATION,SIZE,ISDB,ISIMPORTANT "
            "FROM COLLECTION_TABLE ORDER BY ID",
            model, [&](const Query& q) {
              model.collection.push_back({q.integer(0), q.integer(1), q.integer(2), q.text(3),
                                          q.text(4), q.integer64(5), q.integer(6) != 0,
                                          q.integer(7) != 0});
            });
}

// The outcome of the minimum health check is the first operation record of
// that problem in stage 100, as the run's own summary reads it.
void fillDetails(RunModel& model) {
  std::unordered_map<int32_t, const Operation*> firstHealthRecord;
  for (const Operation& o : model.operations) {
    if (o.stage == kMinimumHealthStage) firstHealthRecord.emplace(o.problem, &o);
  }
  for (Problem& p : model.problems) {
    for (StageStatus& s : p.stages) {
      if (s.stage != kMinimumHealthStage) continue;
      const auto found = firstHealthRecord.find(p.id);
      if (found != firstHealthRecord.end()) s.details = OutcomeInWords(found->second->input);
    }
  }
}

}  // namespace

RunSource::~RunSource() {
  if (!tempFolder_.empty()) {
    std::error_code ec;
    fs::remove_all(tempFolder_, ec);
  }
}

bool RunSource::Unpack(const std::string& cabinet, std::string& error) {
  tempFolder_ = uniqueTempFolder();
  if (tempFolder_.empty()) {
    error = "cannot make a temporary folder to unpack " + cabinet;
    return false;
  }
  // The extraction takes a name ending in ".cab"; a cabinet named otherwise
  // is read through a copy.
  std::string path = cabinet;
  std::error_code ec;
  if (fs::path(cabinet).extension() != ".cab") {
    path = tempFolder_ + "/db.cab";
    if (!fs::copy_file(cabinet, path, ec)) {
      error = "cannot read " + cabinet;
      return false;
    }
  }
  const std::string out = tempFolder_ + "/unpacked";
  fs::create_directory(out, ec);
  CabinetUtility utility;
  std::wstring reason;
  if (!utility.Decompress(fromUtf8(fs::absolute(path, ec).string()), fromUtf8(out), &reason)) {
    error = cabinet + " could not be unpacked" + (reason.empty() ? "" : ": " + toUtf8(reason));
    return false;
  }
  database_ = out + "/ResultStore.db";
  if (kindOf(database_) != FileKind::Database) {
    error = cabinet + " holds no ResultStore.db";
    return false;
  }
  return true;
}

bool RunSource::Open(const std::string& source, std::string& error) {
  const fs::path path(source);
  std::error_code ec;
  fs::path folder = path.parent_path();
  switch (kindOf(path)) {
    case FileKind::Missing:
      error = "no such file or folder: " + source;
      return false;
    case FileKind::Other:
      error = source + " is neither a result store (ResultStore.db) nor a cabinet (db.cab)";
      return false;
    case FileKind::Database:
      database_ = source;
      break;
    case FileKind::Cabinet:
      if (!Unpack(source, error)) return false;
      break;
    case FileKind::Folder:
      folder = path;
      if (kindOf(path / "ResultStore.db") == FileKind::Database) {
        database_ = (path / "ResultStore.db").string();
      } else if (kindOf(path / "db.cab") == FileKind::Cabinet) {
        if (!Unpack((path / "db.cab").string(), error)) return false;
      } else {
        error = source + " holds neither ResultStore.db nor db.cab";
        return false;
      }
      break;
  }
  if (folder.empty()) folder = ".";
  const fs::path cab = folder / "collection.cab";
  if (fs::is_regular_file(cab, ec)) collectionCab_ = cab.string();
  return true;
}

bool ReadRunStore(const std::string& database, RunModel& model, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    error = "cannot open " + database + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return false;
  }
  {
    Query check(db, "PRAGMA integrity_check");
    if (!check.ok()) {
      error = database + " is not a readable database: " + sqlite3_errmsg(db);
      sqlite3_close(db);
      return false;
    }
    model.integrity = check.step() ? check.text(0) : std::string(sqlite3_errmsg(db));
  }
  readTables(db, model);
  sqlite3_close(db);
  fillDetails(model);
  return true;
}

bool LoadRun(const std::string& source, RunModel& model, std::string& error) {
  RunSource run;
  if (!run.Open(source, error)) return false;
  model.source = source;
  if (!ReadRunStore(run.Database(), model, error)) return false;
  if (!run.CollectionCab().empty()) {
    model.hasCollectionCab = true;
    std::vector<CabinetFileInfo> files;
    std::wstring reason;
    if (!ListCabinet(fromUtf8(run.CollectionCab()), files, reason)) {
      model.collectionCabError = toUtf8(reason);
    }
    for (const CabinetFileInfo& f : files) model.collectionCab.push_back({f.name, f.size});
  }
  return true;
}

}  // namespace zorel::runreport
