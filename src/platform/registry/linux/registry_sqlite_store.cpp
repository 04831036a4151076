// Storage layer of the SQLite registry: statements, schema, transactions.
// The on-disk format is described in registry_sqlite.cpp.

#include <chrono>

#include "registry/linux/registry_sqlite.h"
#include "zorel/common/utf8.h"

namespace zorel::platform::reg {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kFiletimeEpochOffset = 11644473600LL;

std::int64_t nowFiletime() {
  auto since = std::chrono::system_clock::now().time_since_epoch();
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
  return ticks + kFiletimeEpochOffset * 10000000LL;
}

}  // namespace

WinError winErrorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_IOERR:
      return ERROR_REGISTRY_IO_FAILED;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    default:
      return ERROR_CANTWRITE;
  }
}

WinError SqliteRegistry::execute(const char* sql) {
  return winErrorFromSqlite(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr));
}

WinError SqliteRegistry::prepareStatements() {
  struct Entry { Statement* stmt; const char* sql; };
  const Entry entries[] = {
      {&findChild_, "SELECT id, name, volatile FROM keys WHERE parent=?1 AND fold=?2"},
      {&keyExists_, "SELECT 1 FROM keys WHERE id=?1"},
      {&insertKey_, "INSERT INTO keys(parent, name, fold, volatile, last_write) "
                    "VALUES(?1, ?2, ?3, ?4, ?5)"},
      {&touch_, "UPDATE keys SET last_write=?2 WHERE id=?1"},
      {&keySecurity_, "SELECT parent, security FROM keys WHERE id=?1"},
      {&queryValue_, "SELECT type, data FROM vals WHERE key=?1 AND fold=?2"},
      {&upsertValue_, "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                      "ON CONFLICT(key, fold) DO UPDATE SET type=excluded.type, "
                      "data=excluded.data"},
      {&deleteValue_, "DELETE FROM vals WHERE key=?1 AND fold=?2"},
      {&listKeys_, "SELECT name, last_write FROM keys WHERE parent=?1 ORDER BY fold"},
      {&listValues_, "SELECT fold FROM vals WHERE key=?1 ORDER BY id"},
      {&valueByFold_, "SELECT name, type, data FROM vals WHERE key=?1 AND fold=?2"},
      {&dataVersion_, "PRAGMA data_version"},
      {&infoKeys_, "SELECT COUNT(*), COALESCE(MAX(length(name)), 0) FROM keys WHERE parent=?1"},
      {&infoValues_, "SELECT COUNT(*), COALESCE(MAX(length(name)), 0), "
                     "COALESCE(MAX(length(data)), 0) FROM vals WHERE key=?1"},
      {&setSecurity_, "UPDATE keys SET security=?2, last_write=?3 WHERE id=?1"},
      {&keyRow_, "SELECT last_write, security FROM keys WHERE id=?1"},
  };
  for (const Entry& e : entries) {
    int rc = e.stmt->prepare(db_, e.sql);
    if (rc != SQLITE_OK) return winErrorFromSqlite(rc);
  }
  return ERROR_SUCCESS;
}

namespace {

std::wstring childCacheKey(std::int64_t parent, const std::wstring& fold) {
  std::wstring key = std::to_wstring(parent);
  key += L'\\';  // never part of a key name
  key += fold;
  return key;
}

}  // namespace

void SqliteRegistry::syncCaches() {
  const std::int64_t now = stamp();
  if (now != cacheStamp_) {
    dropCaches();
    cacheStamp_ = now;
  }
}

void SqliteRegistry::dropCaches() {
  rows_.clear();
  effective_.clear();
  children_.clear();
  cacheStamp_ = -1;
}

bool SqliteRegistry::findChild(std::int64_t parent, const Component& c, std::int64_t* id,
                               std::wstring* name, bool* isVolatile) {
  const std::wstring key = childCacheKey(parent, c.fold);
  auto hit = children_.find(key);
  if (hit == children_.end()) {
    Use q(findChild_);
    q.bind(1, parent).bind(2, toUtf8(c.fold));
    // A missing child is not kept: the next lookup asks the file again.
    if (q.step() != SQLITE_ROW) return false;
    if (children_.size() >= kCacheLimit) children_.clear();
    hit = children_.emplace(key, CachedChild{q.integer(0), fromUtf8(q.text(1)),
                                             q.integer(2) != 0}).first;
  }
  *id = hit->second.id;
  if (name) *name = hit->second.name;
  if (isVolatile) *isVolatile = hit->second.isVolatile;
  return true;
}

bool SqliteRegistry::keyExists(std::int64_t id) {
  if (rows_.count(id) != 0) return true;
  Use q(keyExists_);
  q.bind(1, id);
  return q.step() == SQLITE_ROW;
}

WinError SqliteRegistry::insertKey(std::int64_t parent, const Component& c, bool isVolatile,
                                   std::int64_t* id) {
  Use q(insertKey_);
  q.bind(1, parent).bind(2, toUtf8(c.name)).bind(3, toUtf8(c.fold));
  q.bind(4, isVolatile ? 1 : 0).bind(5, nowFiletime());
  int rc = q.step();
  if (rc != SQLITE_DONE) return winErrorFromSqlite(rc);
  *id = sqlite3_last_insert_rowid(db_);
  touch(parent);
  return ERROR_SUCCESS;
}

void SqliteRegistry::touch(std::int64_t id) {
  Use q(touch_);
  q.bind(1, id).bind(2, nowFiletime());
  q.step();
}

std::int64_t SqliteRegistry::stamp() {
  Use q(dataVersion_);
  std::int64_t version = q.step() == SQLITE_ROW ? q.integer(0) : 0;
  // Our own writes do not change data_version; fold them in.
  return (version << 32) ^ localWrites_;
}

std::int64_t SqliteRegistry::changeStamp() {
  std::lock_guard lock(mutex_);
  return stamp();
}

WinError SqliteRegistry::beginWrite() {
  if (options_.readOnly) return ERROR_ACCESS_DENIED;
  ++localWrites_;
  dropCaches();
  if (batchDepth_ > 0) return execute("SAVEPOINT regop");
  return execute("BEGIN IMMEDIATE");
}

WinError SqliteRegistry::endWrite(WinError result) {
  dropCaches();
  if (batchDepth_ > 0) {
    if (result != ERROR_SUCCESS) execute("ROLLBACK TO regop");
    WinError rc = execute("RELEASE regop");
    return result != ERROR_SUCCESS ? result : rc;
  }
  if (result != ERROR_SUCCESS) {
    execute("ROLLBACK");
    return result;
  }
  WinError rc = execute("COMMIT");
  if (rc != ERROR_SUCCESS) execute("ROLLBACK");
  return rc;
}

WinError SqliteRegistry::beginBatch() {
  std::lock_guard lock(mutex_);
  if (options_.readOnly) return ERROR_ACCESS_DENIED;
  if (batchDepth_ == 0) {
    WinError rc = execute("BEGIN IMMEDIATE");
    if (rc != ERROR_SUCCESS) return rc;
  }
  ++batchDepth_;
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::commitBatch() {
  std::lock_guard lock(mutex_);
  if (batchDepth_ == 0) return ERROR_INVALID_FUNCTION;
  if (--batchDepth_ > 0) return ERROR_SUCCESS;
  WinError rc = execute("COMMIT");
  if (rc != ERROR_SUCCESS) execute("ROLLBACK");
  return rc;
}

WinError SqliteRegistry::abortBatch() {
  std::lock_guard lock(mutex_);
  if (batchDepth_ == 0) return ERROR_INVALID_FUNCTION;
  batchDepth_ = 0;
  ++localWrites_;
  dropCaches();
  return execute("ROLLBACK");
}

WinError SqliteRegistry::checkIntegrity(std::wstring* report) {
  std::lock_guard lock(mutex_);
  std::wstring text;
  WinError result = ERROR_SUCCESS;
  auto run = [&](const char* sql, const wchar_t* what) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK) {
      text += L"cannot run check: " + fromUtf8(sqlite3_errmsg(db_)) + L"\n";
      result = ERROR_REGISTRY_CORRUPT;
      return;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      const unsigned char* p = sqlite3_column_text(stmt, 0);
      std::string row = p ? reinterpret_cast<const char*>(p) : "";
      if (row == "ok") continue;
      text += std::wstring(what) + fromUtf8(row) + L"\n";
      result = ERROR_REGISTRY_CORRUPT;
    }
    sqlite3_finalize(stmt);
  };
  run("PRAGMA integrity_check", L"");
  run("SELECT 'key ' || k.id || ' has no parent' FROM keys k WHERE k.parent<>0 AND "
      "NOT EXISTS(SELECT 1 FROM keys p WHERE p.id=k.parent)", L"orphan: ");
  run("SELECT 'value ' || v.id || ' has no key' FROM vals v WHERE "
      "NOT EXISTS(SELECT 1 FROM keys k WHERE k.id=v.key)", L"orphan: ");
  if (report) *report = text.empty() ? L"ok" : text;
  return result;
}

}  // namespace zorel::platform::reg
