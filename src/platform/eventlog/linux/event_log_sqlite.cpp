// The machine's event logs, kept in one SQLite file that this file alone
// opens.
//
// On-disk format (<root>/eventlog.db, format version 1):
//
//   meta(name TEXT PRIMARY KEY, value TEXT)
//       "format" = "zorel-eventlog 1".
//   records(log TEXT NOT NULL, number INTEGER NOT NULL, record BLOB NOT NULL,
//           PRIMARY KEY(log, number)) WITHOUT ROWID
//       One row per record: `log` the log's name as its registry key spells
//       it, `number` its RecordNumber (from 1 in each log), `record` the
//       EVENTLOGRECORD exactly as ReadEventLogW returns it (event_log.h).
//
// Several processes: WAL mode, every write one BEGIN IMMEDIATE transaction
// that numbers its records after the log's last one, and a call waits up to
// 30 s for another writer. A handle's reading is one statement from its
// position that goes on stepping across reads (a WAL reader never blocks a
// writer); it ends at the end of the log, so a later read starts afresh
// and sees the records written meanwhile.
//
// A file that SQLite cannot read, or a database that is not this store,
// answers ERROR_EVENTLOG_FILE_CORRUPT on every call and is left exactly as
// it is; the store is opened on its first use, so the rest of the machine
// does not depend on it.

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwctype>
#include <map>
#include <mutex>
#include <optional>

#include "zorel/common/utf8.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/fs/sqlite_vfs.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

constexpr const char* kFormat = "zorel-eventlog 1";
constexpr int kBusyTimeoutMs = 30000;

bool sameNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

WinError fromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW: return ERROR_SUCCESS;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_FORMAT: return ERROR_EVENTLOG_FILE_CORRUPT;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return ERROR_BUSY;
    case SQLITE_FULL: return ERROR_DISK_FULL;
    case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM: return ERROR_ACCESS_DENIED;
    default: return ERROR_CANTWRITE;
  }
}

// A statement finalized on destruction.
struct Statement {
  sqlite3_stmt* stmt = nullptr;
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(stmt); }
};

// Resets a statement when a use of it ends.
struct Reset {
  sqlite3_stmt* stmt;
  ~Reset() {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
  }
};

// The open database and its statements, shared by the store and its
// handles. Calls are serialised by `lock`.
struct Connection {
  std::mutex lock;
  std::string path;
  sqlite3* db = nullptr;
  Statement last, insert;

  // close_v2 waits for the member statements, finalized after this body.
  ~Connection() { sqlite3_close_v2(db); }

  void finalizeAll() {
    for (Statement* s : {&last, &insert}) {
      sqlite3_finalize(s->stmt);
      s->stmt = nullptr;
    }
  }

  WinError execute(const char* sql) { return fromSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

  // Opens the file and checks that it is the store; creates the schema in
  // a file without tables. Caller holds `lock`.
  WinError ensureOpen() {
    if (db) return ERROR_SUCCESS;
    sqlite3* opened = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &opened,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             sqliteVfsName());
    if (rc != SQLITE_OK) {
      sqlite3_close_v2(opened);
      return rc == SQLITE_NOTADB ? ERROR_EVENTLOG_FILE_CORRUPT : ERROR_CANTOPEN;
    }
    db = opened;
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    WinError e = checkOrCreate();
    if (e == ERROR_SUCCESS) e = prepare();
    if (e != ERROR_SUCCESS) {
      finalizeAll();
      sqlite3_close_v2(db);
      db = nullptr;
    }
    return e;
  }

  // Reads the table list before anything is written, so a file of another
  // kind is never touched.
  WinError checkOrCreate() {
    Statement tables;
    int rc = sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type='table'", -1,
                                &tables.stmt, nullptr);
    if (rc != SQLITE_OK) return fromSqlite(rc) ? fromSqlite(rc) : ERROR_EVENTLOG_FILE_CORRUPT;
    bool any = false, meta = false, records = false;
    while ((rc = sqlite3_step(tables.stmt)) == SQLITE_ROW) {
      any = true;
      const char* name = reinterpret_cast<const char*>(sqlite3_column_text(tables.stmt, 0));
      if (name && std::strcmp(name, "meta") == 0) meta = true;
      if (name && std::strcmp(name, "records") == 0) records = true;
    }
    if (rc != SQLITE_DONE) return ERROR_EVENTLOG_FILE_CORRUPT;
    if (any && !(meta && records)) return ERROR_EVENTLOG_FILE_CORRUPT;
    if (!any) {
      execute("PRAGMA journal_mode=WAL");
      execute("PRAGMA synchronous=NORMAL");
      if (WinError e = execute("BEGIN IMMEDIATE")) return e;
      const WinError e = execute(
          "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT);"
          "CREATE TABLE IF NOT EXISTS records(log TEXT NOT NULL, number INTEGER NOT NULL,"
          " record BLOB NOT NULL, PRIMARY KEY(log, number)) WITHOUT ROWID;"
          "INSERT OR IGNORE INTO meta VALUES('format', 'zorel-eventlog 1');");
      if (e != ERROR_SUCCESS) {
        execute("ROLLBACK");
        return e;
      }
      if (WinError c = execute("COMMIT")) return c;
    } else {
      execute("PRAGMA synchronous=NORMAL");
    }
    Statement format;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE name='format'", -1, &format.stmt,
                           nullptr) != SQLITE_OK ||
        sqlite3_step(format.stmt) != SQLITE_ROW)
      return ERROR_EVENTLOG_FILE_CORRUPT;
    const char* value = reinterpret_cast<const char*>(sqlite3_column_text(format.stmt, 0));
    return value && std::strcmp(value, kFormat) == 0 ? ERROR_SUCCESS : ERROR_EVENTLOG_FILE_CORRUPT;
  }

  WinError prepare() {
    struct {
      Statement* s;
      const char* sql;
    } const all[] = {
        {&last, "SELECT max(number) FROM records WHERE log=?1"},
        {&insert, "INSERT INTO records(log, number, record) VALUES(?1, ?2, ?3)"},
    };
    for (const auto& one : all) {
      const int rc = sqlite3_prepare_v3(db, one.sql, -1, SQLITE_PREPARE_PERSISTENT, &one.s->stmt,
                                        nullptr);
      if (rc != SQLITE_OK) return ERROR_EVENTLOG_FILE_CORRUPT;
    }
    return ERROR_SUCCESS;
  }

  // Inserts entries (their logs already resolved) inside one transaction.
  // Caller holds `lock`.
  WinError append(const std::vector<std::pair<std::string, const EventRecordFields*>>& rows,
                  uint32_t* lastNumber) {
    if (WinError e = execute("BEGIN IMMEDIATE")) return e;
    std::map<std::string, int64_t> next;
    WinError e = ERROR_SUCCESS;
    for (const auto& [log, fields] : rows) {
      auto found = next.find(log);
      if (found == next.end()) {
        Reset r{last.stmt};
        sqlite3_bind_text(last.stmt, 1, log.data(), static_cast<int>(log.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(last.stmt);
        if (rc != SQLITE_ROW) {
          e = fromSqlite(rc);
          break;
        }
        found = next.emplace(log, sqlite3_column_int64(last.stmt, 0) + 1).first;
      }
      const int64_t number = found->second++;
      if (number > UINT32_MAX) {
        e = ERROR_DISK_FULL;
        break;
      }
      const std::vector<uint8_t> record = buildEventLogRecord(static_cast<uint32_t>(number), *fields);
      Reset r{insert.stmt};
      sqlite3_bind_text(insert.stmt, 1, log.data(), static_cast<int>(log.size()), SQLITE_STATIC);
      sqlite3_bind_int64(insert.stmt, 2, number);
      sqlite3_bind_blob64(insert.stmt, 3, record.data(), record.size(), SQLITE_STATIC);
      const int rc = sqlite3_step(insert.stmt);
      if (rc != SQLITE_DONE) {
        e = fromSqlite(rc);
        break;
      }
      if (lastNumber) *lastNumber = static_cast<uint32_t>(number);
    }
    if (e == ERROR_SUCCESS) e = execute("COMMIT");
    if (e != ERROR_SUCCESS) execute("ROLLBACK");
    return e;
  }
};

// A handle keeps its own statement stepping from one read to the next, so
// a sequential reading is one index seek and then one step per record; the
// statement (and its snapshot) is reset at the end of the log, on a change
// of direction, on a seek and when the handle closes, so a later read sees
// what was written meanwhile.
class SqliteEventLogHandle final : public IEventLogHandle {
 public:
  SqliteEventLogHandle(std::shared_ptr<Connection> connection, std::wstring log)
      : connection_(std::move(connection)), log_(std::move(log)), key_(toUtf8(log_)) {}
  ~SqliteEventLogHandle() override {
    std::lock_guard<std::mutex> guard(connection_->lock);
    sqlite3_finalize(stmt_);
  }

  WinError read(uint32_t flags, uint32_t offset, uint8_t* buffer, uint32_t size,
                uint32_t* bytesRead, uint32_t* needed) override {
    if (bytesRead) *bytesRead = 0;
    if (needed) *needed = 0;
    const bool sequential = (flags & EVENTLOG_SEQUENTIAL_READ) != 0;
    const bool seek = (flags & EVENTLOG_SEEK_READ) != 0;
    const bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
    const bool forwards = (flags & EVENTLOG_FORWARDS_READ) != 0;
    if (sequential == seek || backwards == forwards || (!buffer && size > 0))
      return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(connection_->lock);
    if (WinError e = connection_->ensureOpen()) return e;
    // A change of direction starts again from the other end, as a fresh
    // handle would.
    if (!position_ || backwards != backwards_) {
      stop();
      backwards_ = backwards;
      position_ = backwards ? INT64_MAX : 0;
    }
    if (seek) {
      stop();
      position_ = backwards ? int64_t{offset} + 1 : int64_t{offset} - 1;
    }
    if (!stmt_) {
      const char* sql =
          backwards_
              ? "SELECT number, record FROM records WHERE log=?1 AND number<?2 ORDER BY number DESC"
              : "SELECT number, record FROM records WHERE log=?1 AND number>?2 ORDER BY number";
      if (sqlite3_prepare_v2(connection_->db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
        stop();
        return ERROR_EVENTLOG_FILE_CORRUPT;
      }
      sqlite3_bind_text(stmt_, 1, key_.data(), static_cast<int>(key_.size()), SQLITE_STATIC);
      sqlite3_bind_int64(stmt_, 2, *position_);
      onRow_ = false;
    }
    uint32_t used = 0;
    for (;;) {
      if (!onRow_) {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_DONE) {
          stop();
          break;
        }
        if (rc != SQLITE_ROW) {
          stop();
          return used ? finish(used, bytesRead) : fromSqlite(rc);
        }
        onRow_ = true;
      }
      const auto* record = static_cast<const uint8_t*>(sqlite3_column_blob(stmt_, 1));
      const size_t stored = static_cast<size_t>(sqlite3_column_bytes(stmt_, 1));
      // Length must be the stored size exactly; the reader checks the rest.
      // The position stays before a damaged record: every read answers 1500.
      if (!record || readEventLogRecord(record, stored, nullptr) != ERROR_SUCCESS ||
          (static_cast<uint32_t>(record[0]) | (record[1] << 8) | (record[2] << 16) |
           (static_cast<uint32_t>(record[3]) << 24)) != stored) {
        stop();
        if (used) break;  // the records before it first
        return ERROR_EVENTLOG_FILE_CORRUPT;
      }
      if (stored > size - used) {
        if (used) break;  // the row waits for the next read
        if (needed) *needed = static_cast<uint32_t>(stored);
        return ERROR_INSUFFICIENT_BUFFER;
      }
      std::memcpy(buffer + used, record, stored);
      used += static_cast<uint32_t>(stored);
      position_ = sqlite3_column_int64(stmt_, 0);
      onRow_ = false;
    }
    if (used == 0) return ERROR_HANDLE_EOF;
    return finish(used, bytesRead);
  }

  const std::wstring& logName() const override { return log_; }

 private:
  static WinError finish(uint32_t used, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = used;
    return ERROR_SUCCESS;
  }
  // Ends the statement's reading; the next read starts after position_.
  void stop() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    onRow_ = false;
  }

  std::shared_ptr<Connection> connection_;
  std::wstring log_;
  std::string key_;
  std::optional<int64_t> position_;  // number of the last record read
  bool backwards_ = true;
  sqlite3_stmt* stmt_ = nullptr;  // the reading under way, or null
  bool onRow_ = false;            // stmt_ stands on a row not yet handed out
};

class SqliteEventLog final : public IEventLog {
 public:
  SqliteEventLog(const std::string& path, IRegistry& registry)
      : connection_(std::make_shared<Connection>()), registry_(registry) {
    connection_->path = path;
  }

  WinError open(std::wstring_view name, std::unique_ptr<IEventLogHandle>* handle) override {
    if (!handle) return ERROR_INVALID_PARAMETER;
    std::wstring log;
    if (registeredLog(name, &log) != ERROR_SUCCESS) log = L"Application";
    {
      std::lock_guard<std::mutex> guard(connection_->lock);
      if (WinError e = connection_->ensureOpen()) return e;
    }
    *handle = std::make_unique<SqliteEventLogHandle>(connection_, log);
    return ERROR_SUCCESS;
  }

  WinError report(std::wstring_view log, const EventRecordFields& fields,
                  uint32_t* number) override {
    std::wstring spelled;
    if (WinError e = registeredLog(log, &spelled)) return e;
    std::lock_guard<std::mutex> guard(connection_->lock);
    if (WinError e = connection_->ensureOpen()) return e;
    return connection_->append({{toUtf8(spelled), &fields}}, number);
  }

  WinError appendEvents(const std::vector<EventLogEntry>& entries, size_t* failedIndex) override {
    std::vector<std::pair<std::string, const EventRecordFields*>> rows;
    rows.reserve(entries.size());
    std::map<std::wstring, std::string> resolved;  // as given -> as spelled
    for (size_t i = 0; i < entries.size(); ++i) {
      auto found = resolved.find(entries[i].log);
      if (found == resolved.end()) {
        std::wstring spelled;
        if (WinError e = registeredLog(entries[i].log, &spelled)) {
          if (failedIndex) *failedIndex = i;
          return e;
        }
        found = resolved.emplace(entries[i].log, toUtf8(spelled)).first;
      }
      rows.emplace_back(found->second, &entries[i].fields);
    }
    std::lock_guard<std::mutex> guard(connection_->lock);
    if (WinError e = connection_->ensureOpen()) return e;
    return connection_->append(rows, nullptr);
  }

  WinError registeredLog(std::wstring_view name, std::wstring* spelled) override {
    if (name.empty() || name.find(L'\\') != std::wstring_view::npos) return ERROR_FILE_NOT_FOUND;
    RegKey logs;
    if (registry_.openKey(kHkeyLocalMachine, kEventLogKey, 0, KEY_READ, &logs) != ERROR_SUCCESS)
      return ERROR_FILE_NOT_FOUND;
    WinError result = ERROR_FILE_NOT_FOUND;
    std::wstring sub;
    for (uint32_t i = 0; readSubKeyAt(registry_, logs, i, &sub) == ERROR_SUCCESS; ++i) {
      if (sameNoCase(sub, name)) {
        if (spelled) *spelled = sub;
        result = ERROR_SUCCESS;
        break;
      }
    }
    registry_.closeKey(logs);
    return result;
  }

 private:
  std::shared_ptr<Connection> connection_;
  IRegistry& registry_;
};

}  // namespace

std::unique_ptr<IEventLog> openEventLogStore(const std::string& hostPath, IRegistry& registry) {
  return std::make_unique<SqliteEventLog>(hostPath, registry);
}

}  // namespace zorel::platform
