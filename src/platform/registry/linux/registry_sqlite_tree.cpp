// The SQLite registry's enumeration, key deletion, key information and key
// security calls.

#include <cstring>

#include "registry/linux/registry_sqlite.h"
#include "zorel/common/utf8.h"

namespace zorel::platform::reg {

namespace {

// Copies a name into a caller's buffer the way RegEnumKeyEx does: the
// buffer must hold the name and its NUL.
WinError copyName(const std::wstring& name, wchar_t* buffer, std::uint32_t* cch) {
  if (buffer == nullptr || cch == nullptr) return ERROR_INVALID_PARAMETER;
  if (*cch <= name.size()) return ERROR_MORE_DATA;
  std::wmemcpy(buffer, name.data(), name.size());
  buffer[name.size()] = L'\0';
  *cch = static_cast<std::uint32_t>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

WinError SqliteRegistry::enumKey(RegKey key, std::uint32_t index, wchar_t* name,
                                 std::uint32_t* cchName, std::int64_t* lastWriteTime) {
  std::lock_guard lock(mutex_);
  syncCaches();
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::int64_t now = stamp();
  if (index == 0 || k->subKeysStamp != now || k->predefined) {
    if (!keyExists(k->id)) return ERROR_KEY_DELETED;
    k->subKeys.clear();
    Use q(listKeys_);
    q.bind(1, k->id);
    while (q.step() == SQLITE_ROW) k->subKeys.emplace_back(q.text(0), q.integer(1));
    k->subKeysStamp = now;
  }
  if (index >= k->subKeys.size()) return ERROR_NO_MORE_ITEMS;
  rc = copyName(fromUtf8(k->subKeys[index].first), name, cchName);
  if (rc == ERROR_SUCCESS && lastWriteTime) *lastWriteTime = k->subKeys[index].second;
  return rc;
}

WinError SqliteRegistry::enumValue(RegKey key, std::uint32_t index, wchar_t* name,
                                   std::uint32_t* cchName, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* cbData) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (data != nullptr && cbData == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  std::int64_t now = stamp();
  if (index == 0 || k->valuesStamp != now || k->predefined) {
    if (!keyExists(k->id)) return ERROR_KEY_DELETED;
    k->valueFolds.clear();
    Use q(listValues_);
    q.bind(1, k->id);
    while (q.step() == SQLITE_ROW) k->valueFolds.push_back(q.text(0));
    k->valuesStamp = now;
  }
  if (index >= k->valueFolds.size()) return ERROR_NO_MORE_ITEMS;
  Use q(valueByFold_);
  q.bind(1, k->id).bind(2, k->valueFolds[index]);
  if (q.step() != SQLITE_ROW) return ERROR_NO_MORE_ITEMS;
  rc = copyName(fromUtf8(q.text(0)), name, cchName);
  if (rc != ERROR_SUCCESS) return rc;
  std::size_t size = q.blobSize(2);
  if (type) *type = static_cast<std::uint32_t>(q.integer(1));
  if (data != nullptr) {
    if (*cbData < size) {
      *cbData = static_cast<std::uint32_t>(size);
      return ERROR_MORE_DATA;
    }
    if (size) std::memcpy(data, q.blob(2), size);
  }
  if (cbData) *cbData = static_cast<std::uint32_t>(size);
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::deleteKey(RegKey key, std::wstring_view subKey,
                                   std::uint32_t samDesired) {
  std::lock_guard lock(mutex_);
  syncCaches();
  OpenKey* base = nullptr;
  WinError rc = lookup(key, &base);
  if (rc != ERROR_SUCCESS) return rc;
  OpenKey target;
  rc = walk(*base, subKey, samDesired, &target, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  if (isProtectedKey(target)) return ERROR_ACCESS_DENIED;
  std::uint32_t granted = 0;
  rc = checkAccess(target.id, DELETE, &granted);
  if (rc != ERROR_SUCCESS) return rc;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  std::int64_t parent = 0;
  storedSecurity(target.id, &parent);
  {
    Use children(infoKeys_);
    children.bind(1, target.id);
    // Windows refuses to delete a key that still has subkeys.
    if (children.step() == SQLITE_ROW && children.integer(0) > 0) rc = ERROR_ACCESS_DENIED;
  }
  if (rc == ERROR_SUCCESS) {
    std::string id = std::to_string(target.id);
    rc = execute(("DELETE FROM vals WHERE key=" + id + "; DELETE FROM keys WHERE id=" + id).c_str());
  }
  if (rc == ERROR_SUCCESS && parent != 0) touch(parent);
  return endWrite(rc);
}

WinError SqliteRegistry::deleteTree(RegKey key, std::wstring_view subKey) {
  std::lock_guard lock(mutex_);
  syncCaches();
  OpenKey* base = nullptr;
  WinError rc = lookup(key, &base);
  if (rc != ERROR_SUCCESS) return rc;
  OpenKey target;
  rc = walk(*base, subKey, 0, &target, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  bool keepTarget = subKey.find_first_not_of(L'\\') == std::wstring_view::npos;
  if (!keepTarget && isProtectedKey(target)) return ERROR_ACCESS_DENIED;
  std::uint32_t granted = 0;
  rc = checkAccess(target.id, keepTarget ? (KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS) : DELETE,
                   &granted);
  if (rc != ERROR_SUCCESS) return rc;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  std::string id = std::to_string(target.id);
  std::string tree =
      "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent=" + id +
      " UNION ALL SELECT k.id FROM keys k JOIN sub ON k.parent=sub.id) ";
  // A key below with its own descriptor must grant DELETE too.
  {
    Statement secured;
    if (secured.prepare(db_, (tree + "SELECT id FROM sub WHERE id IN "
                                     "(SELECT id FROM keys WHERE security IS NOT NULL)").c_str()) ==
        SQLITE_OK) {
      Use q(secured);
      while (rc == ERROR_SUCCESS && q.step() == SQLITE_ROW) {
        rc = checkAccess(q.integer(0), DELETE, &granted);
      }
    }
  }
  // Hive roots and the keys other roots stand for survive: delete around them.
  if (rc == ERROR_SUCCESS) {
    rc = execute(("CREATE TEMP TABLE IF NOT EXISTS doomed(id INTEGER PRIMARY KEY);"
                  "DELETE FROM doomed; " + tree + "INSERT INTO doomed SELECT id FROM sub;")
                     .c_str());
  }
  if (rc == ERROR_SUCCESS && !keepTarget) {
    rc = execute(("INSERT INTO doomed VALUES(" + id + ")").c_str());
  }
  if (rc == ERROR_SUCCESS && target.path.size() <= 1) {
    // Keep the keys behind HKCU, HKCR and HKCC when a hive or SOFTWARE/SYSTEM is emptied.
    for (RegKey root : {kHkeyCurrentUser, kHkeyClassesRoot}) {
      OpenKey kept;
      if (resolveRoot(root, &kept) != ERROR_SUCCESS) continue;
      for (std::int64_t k = kept.id; k != 0;) {
        std::int64_t parent = 0;
        storedSecurity(k, &parent);
        execute(("DELETE FROM doomed WHERE id=" + std::to_string(k)).c_str());
        k = parent;
      }
    }
  }
  if (rc == ERROR_SUCCESS) {
    rc = execute(
        "DELETE FROM vals WHERE key IN (SELECT id FROM doomed);"
        "DELETE FROM keys WHERE id IN (SELECT id FROM doomed);");
  }
  if (rc == ERROR_SUCCESS && keepTarget) rc = execute(("DELETE FROM vals WHERE key=" + id).c_str());
  if (rc == ERROR_SUCCESS) {
    std::int64_t parent = 0;
    storedSecurity(target.id, &parent);
    touch(keepTarget ? target.id : parent);
  }
  return endWrite(rc);
}

WinError SqliteRegistry::queryInfoKey(RegKey key, RegKeyInfo* info) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (info == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegKeyInfo out;
  {
    Use row(keyRow_);
    row.bind(1, k->id);
    if (row.step() != SQLITE_ROW) return ERROR_KEY_DELETED;
    out.lastWriteTime = row.integer(0);
  }
  {
    Use q(infoKeys_);
    q.bind(1, k->id);
    if (q.step() == SQLITE_ROW) {
      out.subKeys = static_cast<std::uint32_t>(q.integer(0));
      out.maxSubKeyLen = static_cast<std::uint32_t>(q.integer(1));
    }
  }
  {
    Use q(infoValues_);
    q.bind(1, k->id);
    if (q.step() == SQLITE_ROW) {
      out.values = static_cast<std::uint32_t>(q.integer(0));
      out.maxValueNameLen = static_cast<std::uint32_t>(q.integer(1));
      out.maxValueLen = static_cast<std::uint32_t>(q.integer(2));
    }
  }
  out.securityDescriptorSize = static_cast<std::uint32_t>(encodeSecurity(effective(k->id)).size());
  *info = out;
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::getKeySecurity(RegKey key, KeySecurity* security) {
  std::lock_guard lock(mutex_);
  syncCaches();
  if (security == nullptr) return ERROR_INVALID_PARAMETER;
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, READ_CONTROL)) return ERROR_ACCESS_DENIED;
  if (!keyExists(k->id)) return ERROR_KEY_DELETED;
  *security = effective(k->id);
  return ERROR_SUCCESS;
}

WinError SqliteRegistry::setKeySecurity(RegKey key, const KeySecurity& security) {
  std::lock_guard lock(mutex_);
  syncCaches();
  auto badName = [](const std::wstring& name) {
    for (wchar_t c : name) {
      if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
  };
  if (badName(security.owner)) return ERROR_INVALID_PARAMETER;
  for (const RegAce& ace : security.dacl) {
    if (ace.account.empty() || badName(ace.account)) return ERROR_INVALID_PARAMETER;
  }
  OpenKey* k = nullptr;
  WinError rc = lookup(key, &k);
  if (rc != ERROR_SUCCESS) return rc;
  if (!hasRight(k, WRITE_DAC)) return ERROR_ACCESS_DENIED;
  std::int64_t id = k->id;
  rc = beginWrite();
  if (rc != ERROR_SUCCESS) return rc;
  {
    Use q(setSecurity_);
    q.bind(1, id).bind(2, encodeSecurity(security));
    q.bind(3, static_cast<std::int64_t>(0));
    int step = q.step();
    if (step != SQLITE_DONE) rc = winErrorFromSqlite(step);
    else if (sqlite3_changes(db_) == 0) rc = ERROR_KEY_DELETED;
  }
  if (rc == ERROR_SUCCESS) touch(id);
  return endWrite(rc);
}

}  // namespace zorel::platform::reg
