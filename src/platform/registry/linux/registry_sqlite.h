#pragma once
// The SQLite backend of IRegistry (declaration shared by its source files).
// See registry_sqlite.cpp for the on-disk format.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "registry/linux/registry_db.h"
#include "registry/linux/registry_names.h"
#include "registry/linux/registry_security.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform::reg {

// An open key. path holds the real components below the hive root (after
// redirection), with the case they were created with.
struct OpenKey {
  std::int64_t id = 0;          // keys.id
  Hive hive = Hive::Machine;
  std::vector<Component> path;
  std::uint32_t granted = 0;    // rights the open granted
  bool isVolatile = false;
  bool predefined = false;      // a root handle: rights are checked per call
  // Enumeration cache, valid while neither this process nor another one has
  // written since it was filled (PRAGMA data_version and our own counter).
  std::vector<std::pair<std::string, std::int64_t>> subKeys;  // name, last write
  std::vector<std::string> valueFolds;
  std::int64_t subKeysStamp = -1, valuesStamp = -1;
};

class SqliteRegistry final : public IRegistry {
 public:
  SqliteRegistry(sqlite3* db, RegistryOptions options);
  ~SqliteRegistry() override;

  // Creates the schema and the root keys when missing; checks the format.
  WinError initialise();

  WinError openKey(RegKey parent, std::wstring_view subKey, std::uint32_t options,
                   std::uint32_t samDesired, RegKey* result) override;
  WinError createKey(RegKey parent, std::wstring_view subKey, std::uint32_t options,
                     std::uint32_t samDesired, RegKey* result,
                     std::uint32_t* disposition) override;
  WinError closeKey(RegKey key) override;
  WinError queryValue(RegKey key, std::wstring_view name, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* cbData) override;
  WinError setValue(RegKey key, std::wstring_view name, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t cbData) override;
  WinError enumKey(RegKey key, std::uint32_t index, wchar_t* name,
                   std::uint32_t* cchName, std::int64_t* lastWriteTime) override;
  WinError enumValue(RegKey key, std::uint32_t index, wchar_t* name,
                     std::uint32_t* cchName, std::uint32_t* type, std::uint8_t* data,
                     std::uint32_t* cbData) override;
  WinError deleteValue(RegKey key, std::wstring_view name) override;
  WinError deleteKey(RegKey key, std::wstring_view subKey,
                     std::uint32_t samDesired) override;
  WinError deleteTree(RegKey key, std::wstring_view subKey) override;
  WinError queryInfoKey(RegKey key, RegKeyInfo* info) override;
  WinError getKeySecurity(RegKey key, KeySecurity* security) override;
  WinError setKeySecurity(RegKey key, const KeySecurity& security) override;
  WinError keyPath(RegKey key, std::wstring* path) override;
  WinError beginBatch() override;
  WinError commitBatch() override;
  WinError abortBatch() override;
  WinError checkIntegrity(std::wstring* report) override;
  std::int64_t changeStamp() override;

 private:
  // --- storage (registry_sqlite_store.cpp) ---
  WinError prepareStatements();
  // Child of parent by folded name: its id, real name and volatility.
  bool findChild(std::int64_t parent, const Component& c, std::int64_t* id,
                 std::wstring* name, bool* isVolatile);
  bool keyExists(std::int64_t id);
  WinError insertKey(std::int64_t parent, const Component& c, bool isVolatile,
                     std::int64_t* id);
  void touch(std::int64_t id);
  std::int64_t stamp();
  // Starts a write: a transaction, or a savepoint inside a batch.
  WinError beginWrite();
  WinError endWrite(WinError result);
  WinError execute(const char* sql);
  // Key rows, child lookups and effective descriptors read since the last
  // change anywhere. A call starts with syncCaches(), which keeps them while
  // stamp() is unchanged (no process has written since); any write of ours
  // drops them, so a call never sees its own change through them.
  void syncCaches();
  void dropCaches();

  // --- keys and handles (registry_sqlite.cpp) ---
  // The open key behind a handle (a root handle is resolved afresh).
  WinError lookup(RegKey key, OpenKey** out);
  WinError resolveRoot(RegKey key, OpenKey* out);
  // Rights the account holds on key id (desired may hold MAXIMUM_ALLOWED).
  WinError checkAccess(std::int64_t id, std::uint32_t desired, std::uint32_t* granted);
  std::optional<KeySecurity> storedSecurity(std::int64_t id, std::int64_t* parent);
  KeySecurity effective(std::int64_t id);
  // Walks subKey below base in the view samDesired chooses. On success
  // *result holds the key; on ERROR_FILE_NOT_FOUND *existing is the number
  // of components that exist and *result describes the deepest one.
  WinError walk(const OpenKey& base, std::wstring_view subKey, std::uint32_t sam,
                OpenKey* result, std::vector<Component>* missing);
  RegKey addHandle(OpenKey key);
  bool hasRight(OpenKey* key, std::uint32_t right);
  bool isProtectedKey(const OpenKey& key);

  // True on a 32-bit machine (PROCESSOR_ARCHITECTURE x86 when the file
  // was opened): there is one view and KEY_WOW64_32KEY / KEY_WOW64_64KEY
  // are ignored, as 32-bit Windows does.
  bool singleView_ = false;
  void readMachineBitness();

  sqlite3* db_;
  RegistryOptions options_;
  std::recursive_mutex mutex_;
  std::unordered_map<std::uint64_t, OpenKey> handles_;
  std::uint64_t nextHandle_ = 1;
  int batchDepth_ = 0;
  std::int64_t localWrites_ = 0;
  OpenKey scratch_;  // resolved root handle of the current call

  struct CachedRow {
    std::int64_t parent = 0;
    std::optional<KeySecurity> security;
  };
  struct CachedChild {
    std::int64_t id = 0;
    std::wstring name;
    bool isVolatile = false;
  };
  // Past this many entries a cache starts again, so walking a large tree
  // does not grow it without bound.
  static constexpr std::size_t kCacheLimit = 1 << 16;
  std::int64_t cacheStamp_ = -1;
  std::unordered_map<std::int64_t, CachedRow> rows_;
  std::unordered_map<std::int64_t, KeySecurity> effective_;
  // Keyed by the parent's id and the child's folded name.
  std::unordered_map<std::wstring, CachedChild> children_;

  Statement findChild_, keyExists_, insertKey_, touch_, keySecurity_,
      queryValue_, upsertValue_, deleteValue_, listKeys_, listValues_,
      valueByFold_, dataVersion_, infoKeys_, infoValues_, setSecurity_,
      keyRow_;
};

// The registry as callers get it: failures also set the thread's last
// error (registry_last_error.cpp).
std::unique_ptr<IRegistry> withLastError(std::unique_ptr<IRegistry> registry);

}  // namespace zorel::platform::reg
