// The emulated Windows registry, kept in one SQLite file.
//
// On-disk format (format version 1):
//
//   meta(name TEXT PRIMARY KEY, value TEXT)
//       "format" = "zorel-registry 1".
//   keys(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT, fold TEXT,
//        volatile INTEGER, last_write INTEGER, security TEXT, class TEXT)
//       One row per key. The two hives are rows with parent 0:
//       id 1 HKEY_LOCAL_MACHINE and id 2 HKEY_USERS. name keeps the case the
//       key was created with, fold is its upper-case form; (parent, fold) is
//       unique, and subkeys enumerate ORDER BY fold (case-insensitive, as
//       Windows sorts them). last_write is a FILETIME. security is NULL or
//       the text form of the key's own descriptor (registry_security.h).
//   vals(id INTEGER PRIMARY KEY, key INTEGER, name TEXT, fold TEXT,
//        type INTEGER, data BLOB)
//       One row per value; (key, fold) is unique; the empty name is the
//       default value. Values enumerate ORDER BY id, i.e. creation order; an
//       overwrite updates the row in place, so it keeps its place.
//
// All text is UTF-8; value data is stored exactly as Windows would (strings
// as UTF-16LE bytes). The other roots are paths inside the hives, as on
// Windows: HKEY_CURRENT_USER = HKEY_USERS\<user SID>, HKEY_CLASSES_ROOT =
// HKEY_LOCAL_MACHINE\SOFTWARE\Classes, HKEY_CURRENT_CONFIG =
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Hardware Profiles\Current.
// The 32-bit view is the same tree with the WOW6432Node insertions of
// registry_names.cpp applied when a path is resolved. A registry whose
// machine is 32-bit (PROCESSOR_ARCHITECTURE x86 in the session manager's
// environment when the file is opened) has one view and ignores the view
// flags.
//
// Several processes: the file is in WAL mode with synchronous=NORMAL (a
// commit survives a crash of the process; a power loss may drop the last
// commits but never corrupts), every change is one BEGIN IMMEDIATE
// transaction, and a call waits up to busyTimeoutMs for another writer.

#include <algorithm>
#include <cstring>

#include "registry/linux/registry_sqlite.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/sqlite_vfs.h"

namespace zorel::platform {

namespace reg {

namespace {

constexpr std::int64_t kMachineRoot = 1;
constexpr std::int64_t kUsersRoot = 2;
constexpr std::uint32_t kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY |
                                       KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
constexpr const char* kFormat = "zorel-registry 1";

std::vector<Component> components(std::initializer_list<const wchar_t*> names) {
  std::vector<Component> out;
  for (const wchar_t* n : names) out.push_back({n, foldName(n)});
  return out;
}

}  // namespace

SqliteRegistry::SqliteRegistry(sqlite3* db, RegistryOptions options)
    : db_(db), options_(std::move(options)) {}

SqliteRegistry::~SqliteRegistry() {
  if (batchDepth_ > 0) execute("ROLLBACK");
  // close_v2 waits for the member statements, finalized after this body.
  sqlite3_close_v2(db_);
}

WinError SqliteRegistry::initialise() {
  sqlite3_busy_timeout(db_, options_.busyTimeoutMs);
  bool writable = !sqlite3_db_readonly(db_, "main");
  if (!writable) options_.readOnly = true;
  // Is it ours? A database with tables but no format mark is not.
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare_v2(db_, "SELECT name FROM sqlite_master WHERE type='table'",
                              -1, &stmt, nullptr);
  if (rc != SQLITE_OK) {
    return rc == SQLITE_NOTADB ? ERROR_NOT_REGISTRY_FILE : winErrorFromSqlite(rc);
  }
  bool anyTable = false, hasMeta = false;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    anyTable = true;
    if (std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "meta") == 0) {
      hasMeta = true;
    }
  }
  sqlite3_finalize(stmt);
  if (rc == SQLITE_NOTADB) return ERROR_NOT_REGISTRY_FILE;
  if (rc != SQLITE_DONE) return winErrorFromSqlite(rc);
  if (anyTable && !hasMeta) return ERROR_NOT_REGISTRY_FILE;
  if (writable) {
    execute("PRAGMA journal_mode=WAL");
    execute("PRAGMA synchronous=NORMAL");
    WinError w = execute("BEGIN IMMEDIATE");
    if (w != ERROR_SUCCESS) return w;
    const char* schema =
        "CREATE TABLE IF NOT EXISTS meta(name TEXT PRIMARY KEY, value TEXT);"
        "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
        " name TEXT NOT NULL, fold TEXT NOT NULL, volatile INTEGER NOT NULL DEFAULT 0,"
        " last_write INTEGER NOT NULL DEFAULT 0, security TEXT, class TEXT);"
        "CREATE UNIQUE INDEX IF NOT EXISTS keys_child ON keys(parent, fold);"
        "CREATE TABLE IF NOT EXISTS vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL,"
        " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
        "CREATE UNIQUE INDEX IF NOT EXISTS vals_name ON vals(key, fold);"
        "CREATE INDEX IF NOT EXISTS vals_order ON vals(key, id);"
        "INSERT OR IGNORE INTO meta VALUES('format', 'zorel-registry 1');"
        "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES"
        " (1, 0, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE'),"
        " (2, 0, 'HKEY_USERS', 'HKEY_USERS');";
    w = execute(schema);
    if (w != ERROR_SUCCESS) {
      execute("ROLLBACK");
      return w;
    }
    w = execute("COMMIT");
    if (w != ERROR_SUCCESS) return w;
  }
  stmt = nullptr;
  rc = sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE name='format'", -1, &stmt, nullptr);
  if (rc != SQLITE_OK) return ERROR_NOT_REGISTRY_FILE;
  bool ours = sqlite3_step(stmt) == SQLITE_ROW &&
              std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), kFormat) == 0;
  sqlite3_finalize(stmt);
  if (!ours) return ERROR_NOT_REGISTRY_FILE;
  WinError prepared = prepareStatements();
  if (prepared != ERROR_SUCCESS) return prepared;
  readMachineBitness();
  if (options_.readOnly) return ERROR_SUCCESS;
  // The keys the other roots stand for exist from the start, as on Windows.
  for (RegKey root : {kHkeyCurrentUser, kHkeyClassesRoot, kHkeyCurrentConfig}) {
    OpenKey ignored;
    WinError made = resolveRoot(root, &ignored);
    if (made != ERROR_SUCCESS) return made;
  }
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Handles, roots and access
// ---------------------------------------------------------------------------

WinError SqliteRegistry::resolveRoot(RegKey key, OpenKey* out) {
  *out = OpenKey();
  out->predefined = true;
  std::vector<Component> path;
  if (key == kHkeyLocalMachine) {
    out->id = kMachineRoot;
    return ERROR_SUCCESS;
  }
  if (key == kHkeyUsers) {
    out->id = kUsersRoot;
    out->hive = Hive::Users;
    return ERROR_SUCCESS;
  }
  if (key == kHkeyCurrentUser) {
    out->hive = Hive::Users;
    path = {{options_.currentUserSid, foldName(options_.currentUserSid)}};
  } else if (key == kHkeyClassesRoot) {
    path = components({L"SOFTWARE", L"Classes"});
  } else if (key == kHkeyCurrentConfig) {
    path = components({L"SYSTEM", L"CurrentControlSet", L"Hardware Profiles", L"Current"});
  } else {
    return ERROR_INVALID_HANDLE;
  }
  std::int64_t id = out->hive == Hive::Machine ? kMachineRoot : kUsersRoot;
  bool writing = false;
  WinError rc = ERROR_SUCCESS;
  for (const Component& c : path) {
    std::int64_t child = 0;
    std::wstring name;
    if (findChild(id, c, &child, &name, nullptr)) {
      out->path.push_back({name, c.fold});
      id = child;
      continue;
    }
    // The root's own key is missing (a fresh file, or someone deleted it):
    // Windows always has it, so bring it back.
    if (options_.readOnly) return ERROR_FILE_NOT_FOUND;
    if (!writing) {
      rc = beginWrite();
      if (rc != ERROR_SUCCESS) return rc;
      writing = true;
      if (findChild(id, c, &child, &name, nullptr)) {
        out->path.push_back({name, c.fold});
        id = child;
        continue;
      }
    }
    rc = insertKey(id, c, false, &child);
    if (rc != ERROR_SUCCESS) break;
    out->path.push_back(c);
    id = child;
  }
  if (writing) rc = endWrite(rc);
  out->id = id;
  return rc;
}

WinError SqliteRegistry::lookup(RegKey key, OpenKey** out) {
  auto raw = static_cast<std::uint64_t>(key);
  if (raw >= 0x80000000u && raw <= 0x800000FFu) {
    WinError rc = resolveRoot(key, &scratch_);
    if (rc != ERROR_SUCCESS) return rc;
    *out = &scratch_;
    return ERROR_SUCCESS;
  }
  auto it = handles_.find(raw);
  if (it == handles_.end()) return ERROR_INVALID_HANDLE;
  *out = &it->second;
  return ERROR_SUCCESS;
}

RegKey SqliteRegistry::addHandle(OpenKey key) {
  std::uint64_t raw = nextHandle_++;
  if (nextHandle_ == 0x80000000u) nextHandle_ = 0x100000000ull;
  key.predefined = false;
  handles_.emplace(raw, std::move(key));
  return RegKey{raw};
}

std::optional<KeySecurity> SqliteRegistry::storedSecurity(std::int64_t id, std::int64_t* parent) {
  auto hit = rows_.find(id);
  if (hit == rows_.end()) {
    Use q(keySecurity_);
    q.bind(1, id);
    *parent = 0;
    // A key that is gone is not kept.
    if (q.step() != SQLITE_ROW) return std::nullopt;
    CachedRow row;
    row.parent = q.integer(0);
    if (!q.isNull(1)) row.security = decodeSecurity(q.text(1));
    if (rows_.size() >= kCacheLimit) rows_.clear();
    hit = rows_.emplace(id, std::move(row)).first;
  }
  *parent = hit->second.parent;
  return hit->second.security;
}

KeySecurity SqliteRegistry::effective(std::int64_t id) {
  auto hit = effective_.find(id);
  if (hit != effective_.end()) return hit->second;
  const std::int64_t key = id;
  std::vector<std::optional<KeySecurity>> chain;
  for (std::size_t depth = 0; id != 0 && depth <= kRegMaxDepth + 1; ++depth) {
    std::int64_t parent = 0;
    chain.push_back(storedSecurity(id, &parent));
    id = parent;
  }
  KeySecurity result = effectiveSecurity(chain);
  if (effective_.size() >= kCacheLimit) effective_.clear();
  effective_.emplace(key, result);
  return result;
}

WinError SqliteRegistry::checkAccess(std::int64_t id, std::uint32_t desired,
                                     std::uint32_t* granted) {
  std::optional<std::uint32_t> rights = accessCheck(effective(id), options_.account, desired);
  // Backup and restore rights pass every DACL (an administrator's tool).
  if (!rights && options_.backupRestore)
    rights = mapGenericKeyRights(desired & ~MAXIMUM_ALLOWED) |
             ((desired & MAXIMUM_ALLOWED) ? (KEY_ALL_ACCESS | WRITE_OWNER) : 0);
  if (!rights) return ERROR_ACCESS_DENIED;
  if (options_.readOnly) {
    if (mapGenericKeyRights(desired) & kWriteRights) return ERROR_ACCESS_DENIED;
    *rights &= ~kWriteRights;
  }
  *granted = *rights;
  return ERROR_SUCCESS;
}

bool SqliteRegistry::hasRight(OpenKey* key, std::uint32_t right) {
  if (key->predefined) {
    std::uint32_t granted = 0;
    if (checkAccess(key->id, MAXIMUM_ALLOWED, &granted) != ERROR_SUCCESS) return false;
    key->granted = granted;
  }
  return (key->granted & right) == right;
}

bool SqliteRegistry::isProtectedKey(const OpenKey& key) {
  // Hive roots and the keys the other roots stand for cannot be deleted.
  if (key.path.empty()) return true;
  if (key.hive == Hive::Users) {
    return key.path.size() == 1 && key.path[0].fold == foldName(options_.currentUserSid);
  }
  const std::wstring& first = key.path[0].fold;
  if (key.path.size() == 1) return first == L"SOFTWARE" || first == L"SYSTEM";
  return key.path.size() == 2 && first == L"SOFTWARE" && key.path[1].fold == L"CLASSES";
}

void SqliteRegistry::readMachineBitness() {
  std::wstring architecture;
  singleView_ =
      readString(*this, kHkeyLocalMachine,
                 L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                 L"PROCESSOR_ARCHITECTURE", &architecture) == ERROR_SUCCESS &&
      foldName(architecture) == L"X86";
}

WinError SqliteRegistry::walk(const OpenKey& base, std::wstring_view subKey, std::uint32_t sam,
                              OpenKey* result, std::vector<Component>* missing) {
  if (singleView_) sam &= ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  if ((sam & KEY_WOW64_32KEY) && (sam & KEY_WOW64_64KEY)) return ERROR_INVALID_PARAMETER;
  std::vector<Component> comps;
  WinError rc = splitSubKey(subKey, &comps);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<Component> full = base.path;
  full.insert(full.end(), comps.begin(), comps.end());
  if (sam & KEY_WOW64_32KEY) {
    std::vector<Component> redirected = full;
    int at = redirect32(base.hive, &redirected);
    // A handle already below the redirection point keeps its tree.
    if (at >= static_cast<int>(base.path.size())) full = std::move(redirected);
  }
  if (full.size() > kRegMaxDepth) return ERROR_INVALID_PARAMETER;
  if (!keyExists(base.id)) return ERROR_KEY_DELETED;
  *result = OpenKey();
  result->hive = base.hive;
  result->id = base.id;
  result->path = base.path;
  result->isVolatile = base.isVolatile;
  for (std::size_t i = base.path.size(); i < full.size(); ++i) {
    std::int64_t child = 0;
    std::wstring name;
    bool isVolatile = false;
    if (!findChild(result->id, full[i], &child, &name, &isVolatile)) {
      if (missing) missing->assign(full.begin() + static_cast<std::ptrdiff_t>(i), full.end());
      return ERROR_FILE_NOT_FOUND;
    }
    result->id = child;
    result->isVolatile = isVolatile;
    result->path.push_back({std::move(name), full[i].fold});
  }
  if (missing) missing->clear();
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------

WinError SqliteRegistry::openKey(RegKey parent, std::wstring_view subKey, std::uint32_t,
                                 std::uint32_t samDesired, RegKey* result) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* base = nullptr;
  WinError rc = lookup(parent, &base);
  if (rc != ERROR_SUCCESS) return rc;
  OpenKey found;
  rc = walk(*base, subKey, samDesired, &found, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = checkAccess(found.id, samDesired, &found.granted);
  if (rc != ERROR_SUCCESS) return rc;
  *result = addHandle(std::move(found));
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::createKey(RegKey parent, std::wstring_view subKey,
                                   std::uint32_t options, std::uint32_t samDesired,
                                   RegKey* result, std::uint32_t* disposition) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  if (options & ~REG_OPTION_VOLATILE & 0xF) return ERROR_INVALID_PARAMETER;
  bool isVolatile = (options & REG_OPTION_VOLATILE) != 0;
  OpenKey* base = nullptr;
  WinError rc = lookup(parent, &base);
  if (rc != ERROR_SUCCESS) return rc;
  OpenKey baseCopy = *base;
  OpenKey found;
  std::vector<Component> missing;
  rc = walk(baseCopy, subKey, samDesired, &found, &missing);
  if (rc == ERROR_SUCCESS) {
    rc = checkAccess(found.id, samDesired, &found.granted);
    if (rc != ERROR_SUCCESS) return rc;
    if (disposition) *disposition = REG_OPENED_EXISTING_KEY;
    *result = addHandle(std::move(found));
    return ERROR_SUCCESS;
  }
  if (rc != ERROR_FILE_NOT_FOUND) return rc;
  std::uint32_t parentRights = 0;
  rc = checkAccess(found.id, KEY_CREATE_SUB_KEY, &parentRights);
  if (rc != ERROR_SUCCESS) return rc;
  if (found.isVolatile && !isVolatile) return ERROR_CHILD_MUST_BE_VOLATILE;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  // Walk again inside the transaction: another process may have created
  // part of the path in between.
  rc = walk(baseCopy, subKey, samDesired, &found, &missing);
  bool created = false;
  if (rc == ERROR_FILE_NOT_FOUND) {
    rc = ERROR_SUCCESS;
    for (const Component& c : missing) {
      std::int64_t id = 0;
      rc = insertKey(found.id, c, isVolatile, &id);
      if (rc != ERROR_SUCCESS) break;
      found.id = id;
      found.path.push_back(c);
      found.isVolatile = isVolatile;
    }
    created = rc == ERROR_SUCCESS;
  }
  rc = endWrite(rc);
  if (rc != ERROR_SUCCESS) return rc;
  // The creator gets the rights it asked for on the new key.
  found.granted = mapGenericKeyRights(samDesired);
  if (samDesired & MAXIMUM_ALLOWED) found.granted |= KEY_ALL_ACCESS;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = addHandle(std::move(found));
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::closeKey(RegKey key) {
  std::lock_guard lock(mutex_);
  syncCaches();
  auto raw = static_cast<std::uint64_t>(key);
  if (raw >= 0x80000000u && raw <= 0x800000FFu) return ERROR_SUCCESS;
  return handles_.erase(raw) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

WinError SqliteRegistry::keyPath(RegKey key, std::wstring* path) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (path == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  *path = k->hive == Hive::Machine ? L"HKEY_LOCAL_MACHINE" : L"HKEY_USERS";
  for (const Component& c : k->path) *path += L"\\" + c.name;
  return ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------

WinError SqliteRegistry::queryValue(RegKey key, std::wstring_view name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* cbData) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (data != nullptr && cbData == nullptr) return ERROR_INVALID_PARAMETER;
  if (name.find(L'\0') != std::wstring_view::npos) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  Use q(queryValue_);
  q.bind(1, k->id).bind(2, toUtf8(foldName(name)));
  int step = q.step();
  if (step != SQLITE_ROW) {
    if (step != SQLITE_DONE) return winErrorFromSqlite(step);
    return keyExists(k->id) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
  }
  std::size_t size = q.blobSize(1);
  if (type) *type = static_cast<std::uint32_t>(q.integer(0));
  if (data != nullptr) {
    if (*cbData < size) {
      *cbData = static_cast<std::uint32_t>(size);
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, q.blob(1), size);
  }
  if (cbData) *cbData = static_cast<std::uint32_t>(size);
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::setValue(RegKey key, std::wstring_view name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t cbData) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (data == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
  if (name.find(L'\0') != std::wstring_view::npos || name.size() > kRegMaxValueNameChars) {
    return ERROR_INVALID_PARAMETER;
  }
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::int64_t id = k->id;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  if (!keyExists(id)) {
    rc = ERROR_KEY_DELETED;
  } else {
    Use q(upsertValue_);
    q.bind(1, id).bind(2, toUtf8(name)).bind(3, toUtf8(foldName(name)));
    q.bind(4, static_cast<std::int64_t>(type)).bindBlob(5, data, cbData);
    int step = q.step();
    rc = step == SQLITE_DONE ? ERROR_SUCCESS : winErrorFromSqlite(step);
  }
  if (rc == ERROR_SUCCESS) touch(id);
  return endWrite(rc);
}

WinError SqliteRegistry::deleteValue(RegKey key, std::wstring_view name) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (name.find(L'\0') != std::wstring_view::npos) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  std::int64_t id = k->id;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  {
    Use q(deleteValue_);
    q.bind(1, id).bind(2, toUtf8(foldName(name)));
    int step = q.step();
    if (step != SQLITE_DONE) {
      rc = winErrorFromSqlite(step);
    } else if (sqlite3_changes(db_) == 0) {
      rc = keyExists(id) ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    }
  }
  if (rc == ERROR_SUCCESS) touch(id);
  return endWrite(rc);
}

}  // namespace reg

WinError openRegistry(const std::string& hostPath, const RegistryOptions& options,
                      std::unique_ptr<IRegistry>* registry) {
  if (registry == nullptr || hostPath.empty()) return ERROR_INVALID_PARAMETER;
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (options.readOnly) flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
  int rc = sqlite3_open_v2(hostPath.c_str(), &db, flags, sqliteVfsName());
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return options.readOnly && rc == SQLITE_CANTOPEN ? ERROR_FILE_NOT_FOUND : ERROR_CANTOPEN;
  }
  auto impl = std::make_unique<reg::SqliteRegistry>(db, options);
  WinError result = impl->initialise();
  if (result != ERROR_SUCCESS) return result;
  *registry = reg::withLastError(std::move(impl));
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
