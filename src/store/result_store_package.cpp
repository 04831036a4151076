// ResultStore::Package: collection.cab from the collection requests of the
// run and the store's collection folder, db.cab from ResultStore.db.
//
// Collection rows carry Windows paths as the check script wrote them; they
// are mapped to host paths here (the store folder was mapped at Open), and
// the cabinet builder only ever sees host paths. Names inside the cabinets
// are the rows' DESTINATION texts.

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/wildcard.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/result_store.h"
#include "zorel/store/sqlite_db_connection.h"

namespace zorel {

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kCollectionRowsQuery =
    L"select * from collection_table where (isdb=0) and (COLLECTION_TYPE=1 or COLLECTION_TYPE=2)";
constexpr const wchar_t* kFlagsQuery = L"select * from FILE_COLLECTION_TABLE where id=";

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool hasWildcard(const std::wstring& text) {
  return text.find_first_of(L"*?") != std::wstring::npos;
}

std::wstring wide(const fs::path& path) { return fromUtf8(path.string()); }

// Folders a recursive collection with the filter flag does not enter: the
// uninstall folders of Windows updates ($...$) and the caches of system
// files. The names compare exactly, so DLLCACHE is entered.
bool isFilteredFolder(const std::wstring& name) {
  if (name.size() >= 2 && name.front() == L'$' && name.back() == L'$') return true;
  return name == L"dllcache" || name == L"ServicePackFiles" || name == L"i386" ||
         name == L"~ETTEMP";
}

// A boolean column as SQLite gives it back (an integer), or as a bool.
bool readFlag(const DataRow& row, const wchar_t* name) {
  int32_t number = 0;
  row.GetInt(name, number);
  bool flag = number != 0;
  row.GetBool(name, flag);
  return flag;
}

// What GetLastError would say after a failed removal.
platform::WinError removalError(const std::error_code& ec) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
      ec == std::errc::read_only_file_system) {
    return platform::ERROR_ACCESS_DENIED;
  }
  if (ec == std::errc::device_or_resource_busy) return platform::ERROR_SHARING_VIOLATION;
  if (ec == std::errc::directory_not_empty) return 145;  // ERROR_DIR_NOT_EMPTY
  if (ec == std::errc::no_such_file_or_directory) return platform::ERROR_PATH_NOT_FOUND;
  return platform::ERROR_GEN_FAILURE;
}

}  // namespace

// One pattern collection: its file pattern and flags, and the host folders
// already entered (a symbolic link back up the tree must not make the walk
// endless).
struct ResultStore::PackWalk {
  std::wstring pattern;
  bool recursive = false;
  bool filter = false;
  std::set<std::string> entered;
};

bool ResultStore::HostPathOf(const std::wstring& windowsPath, std::string& host) const {
  const platform::IPathMapper* mapper = Mapper();
  return mapper && mapper->toHostPath(windowsPath, host) == platform::ERROR_SUCCESS;
}

std::wstring ResultStore::HostDatabasePath() const {
  return wide(fs::path(hostFolder_) / kDatabaseName);
}

bool ResultStore::PrepareDatabaseForPacking() {
  // The connection stays open: fold the write-ahead log into the file, or
  // the copy in db.cab would miss the latest rows, and leave write-ahead
  // mode, so that a reader of the copy needs no side files.
  if (!Checkpoint() || !connection_->UseRollbackJournal()) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"The database could not be made complete for packing");
    return false;
  }
  return true;
}

bool ResultStore::Package() {
  FrameworkLog& log = FrameworkLog::Instance();
  try {
    if (hostFolder_.empty()) {
      // Never opened: there is no store folder, and a ResultStore.db in the
      // working directory is not ours to pack.
      log.Write(LogLevel::Error, L"Failed to package the result store at: %s",
                storeFolder_.c_str());
      return false;
    }
    const fs::path folder(hostFolder_);

    cabinet_->SetTarget(wide(folder / "collection.cab"));
    AddCollectionRows();
    std::error_code ec;
    const fs::path collectionFolder = folder / "collection";
    if (fs::is_directory(collectionFolder, ec)) {
      cabinet_->AddFolder(wide(collectionFolder), L"collection");
    }
    if (!cabinet_->Compress()) {
      log.Write(LogLevel::Info, L"No compressed file created for collection");
    }

    // SetTarget removes an older db.cab first, so a failure leaves none.
    cabinet_->SetTarget(wide(folder / "db.cab"));
    bool result = PrepareDatabaseForPacking();
    if (result) {
      cabinet_->AddFile(HostDatabasePath(), L"");
      result = cabinet_->Compress();
    }
    if (!result) log.Write(LogLevel::Error, L"Creation of compression folder for db file failed");

    if (fs::is_directory(collectionFolder, ec)) {
      fs::remove_all(collectionFolder, ec);
      if (ec) {
        log.Write(LogLevel::Warn, L"Failed to clean collection folder, Error: %d",
                  removalError(ec));
      }
    }
    currentDestination_.clear();
    collectionRootParent_.clear();
    return result;
  } catch (...) {
    log.Write(LogLevel::Error, L"Exception occured while packaging the result store");
    return false;
  }
}

void ResultStore::AddCollectionRows() {
  DataTable rows;
  if (!ExecuteQuery(kCollectionRowsQuery, rows)) return;
  for (size_t i = 0; i < rows.RowCount(); ++i) {
    const DataRow& row = rows.Row(i);
    std::wstring source;
    int32_t type = -1;
    row.GetString(L"SOURCE", source);
    currentDestination_.clear();
    row.GetString(L"DESTINATION", currentDestination_);
    row.GetInt(L"COLLECTION_TYPE", type);

    if (type == CollectionType::kFolder) {
      std::string host;
      if (HostPathOf(source, host)) cabinet_->AddFolder(fromUtf8(host), currentDestination_);
      continue;
    }
    // Each row has its own flags: a row without a FILE_COLLECTION_TABLE row
    // is neither recursive nor filtered, whatever the row before it was.
    int32_t id = 0;
    row.GetInt(L"ID", id);
    bool recursive = false;
    bool filter = false;
    ReadCollectionFlags(id, recursive, filter);
    if (recursive || hasWildcard(source)) {
      AddPatternRow(source, recursive, filter);
    } else {
      std::string host;
      if (HostPathOf(source, host)) cabinet_->AddFile(fromUtf8(host), currentDestination_);
    }
  }
}

void ResultStore::ReadCollectionFlags(int32_t id, bool& recursive, bool& filter) {
  recursive = false;
  filter = false;
  DataTable flags;
  if (!ExecuteQuery(kFlagsQuery + std::to_wstring(id), flags) || flags.RowCount() == 0) return;
  const DataRow& first = flags.Row(0);
  int32_t flagsId = 0;
  first.GetInt(L"ID", flagsId);
  if (flagsId != id) return;
  recursive = readFlag(first, L"isRecursive");
  filter = readFlag(first, L"merFilter");
}

void ResultStore::AddPatternRow(const std::wstring& source, bool recursive, bool filter) {
  // C:\a\b\*.txt: folder C:\a\b, pattern *.txt, root parent C:\a.
  size_t split = source.size();
  while (split > 0 && !isSeparator(source[split - 1])) --split;
  if (split == 0) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Collection source has no folder: %s",
                                   source.c_str());
    return;
  }
  const std::wstring folder = source.substr(0, split - 1);
  size_t parentEnd = folder.size();
  while (parentEnd > 0 && !isSeparator(folder[parentEnd - 1])) --parentEnd;
  // A folder without a parent (C: of C:\*.txt) is its own root parent: its
  // files go straight into the destination.
  collectionRootParent_ = parentEnd == 0 ? folder : folder.substr(0, parentEnd - 1);

  PackWalk walk;
  walk.pattern = source.substr(split);
  walk.recursive = recursive;
  walk.filter = filter;
  std::string hostFolder;
  // C: alone would be the drive's current directory; C:\ is meant.
  if (!HostPathOf(folder + L"\\", hostFolder)) return;
  try {
    CollectMatchingFiles(walk, folder, hostFolder);
  } catch (const std::exception&) {
    // The files found so far stay listed.
  }
}

void ResultStore::CollectMatchingFiles(PackWalk& walk, const std::wstring& folder,
                                       const std::string& hostFolder) {
  std::error_code ec;
  const fs::path host(hostFolder);
  const std::string canonical = fs::weakly_canonical(host, ec).string();
  if (ec || !walk.entered.insert(canonical).second) return;

  std::wstring destination = currentDestination_;
  if (walk.recursive) {
    // Keep the root folder's own name and the path below it.
    std::wstring below = folder.substr(collectionRootParent_.size());
    for (wchar_t& c : below) {
      if (c == L'/') c = L'\\';
    }
    if (destination.empty() && !below.empty() && below.front() == L'\\') below.erase(0, 1);
    destination += below;
  }

  std::vector<std::pair<std::wstring, fs::path>> subfolders;
  for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::directory_entry& entry = *it;
    const std::wstring name = wide(entry.path().filename());
    std::error_code typeError;
    if (entry.is_directory(typeError)) {
      if (walk.recursive && !name.empty() && name.front() != L'.' &&
          !(walk.filter && isFilteredFolder(name))) {
        subfolders.emplace_back(name, entry.path());
      }
    } else if (entry.is_regular_file(typeError) &&
               platform::matchesFilePattern(name, walk.pattern)) {
      // Only regular files: a pipe or a device would never end its read.
      cabinet_->AddFile(wide(entry.path()), destination);
    }
  }
  for (const auto& [name, path] : subfolders) {
    CollectMatchingFiles(walk, folder + L"\\" + name, path.string());
  }
}

}  // namespace zorel
