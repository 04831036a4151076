// ResultStore::Package on a fresh machine: collection requests written as the
// File plug-in writes them, cabinets read back with the real cabextract.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "../platform/machine/temp_machine.h"
#include "store_test_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/data_column.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;
using testing::LogWatch;
using testing::runCommand;
using testing::sqliteCli;
using testing::TempMachine;

constexpr const wchar_t* kStoreFolder = L"C:\\Users\\User\\AppData\\Roaming\\prynesecurity\\zorel";

// What cabextract reports for one cabinet.
struct Listing {
  std::set<std::string> names;  // stored names with "/" between elements
  bool testedOk = false;
};

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Listing listCabinet(const fs::path& cabinet) {
  Listing listing;
  // cabextract -l: a header, a dashed line, then "size | date time | name".
  std::istringstream lines(runCommand("cabextract -l " + shellQuote(cabinet.string()) + " 2>&1"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t bar = line.rfind(" | ");
    if (bar == std::string::npos || line.find("Date") != std::string::npos) continue;
    listing.names.insert(line.substr(bar + 3));
  }
  const std::string tested = runCommand("cabextract -t " + shellQuote(cabinet.string()) +
                                        " >/dev/null 2>&1; echo $?");
  listing.testedOk = tested == "0\n";
  return listing;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A store on a fresh machine, opened in the machine's data folder as the
// framework opens it, with helpers that write collection requests.
class Package : public ::testing::Test {
 protected:
  void SetUp() override {
    store.SetPathMapper(&machine->paths());
    fs::create_directories(host(kStoreFolder));
    ASSERT_TRUE(store.Open(kStoreFolder));
  }
  void TearDown() override { store.Close(false); }

  std::string host(const std::wstring& windowsPath) {
    std::string path;
    EXPECT_EQ(machine->paths().toHostPath(windowsPath, path), 0);
    return path;
  }
  fs::path storeHost(const std::string& name) { return fs::path(host(kStoreFolder)) / name; }

  // A file on the machine holding its own Windows path as content.
  void makeFile(const std::wstring& windowsPath) {
    const fs::path path = host(windowsPath);
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << toUtf8(windowsPath);
  }

  // COLLECTION_TABLE row as File::collect writes it; with flags also the
  // FILE_COLLECTION_TABLE row. Returns the row's ID.
  int32_t addRequest(int32_t type, const std::wstring& source, const std::wstring& destination,
                     bool withFlags = false, bool recursive = false, bool filter = false) {
    DataTable collection;
    CreateCollectionTable(collection);
    AddCollectionRow(collection, 1, type, source, destination, 0, false, true);
    EXPECT_TRUE(store.Insert(collection));
    int32_t id = 0;
    collection.Row(0).GetInt(L"ID", id);
    if (withFlags) {
      DataTable flags;
      flags.SetName(L"FILE_COLLECTION_TABLE");
      flags.AddColumn(L"ID", ColumnType::kInteger, kUniqueGroup);
      flags.AddColumn(L"isRecursive", ColumnType::kBoolean);
      flags.AddColumn(L"merFilter", ColumnType::kBoolean);
      auto row = flags.NewRow();
      row->Set(L"ID", id);
      row->Set(L"isRecursive", recursive);
      row->Set(L"merFilter", filter);
      flags.AddRow(std::move(row));
      store.RegisterStore(flags);
      EXPECT_TRUE(store.Insert(flags));
    }
    return id;
  }

  // Extracts a cabinet with cabextract into a new folder below the store.
  fs::path extract(const fs::path& cabinet) {
    const fs::path out = fs::path(machine.base()) / ("out-" + cabinet.stem().string());
    fs::create_directories(out);
    runCommand("cabextract -q -d " + shellQuote(out.string()) + " " +
               shellQuote(cabinet.string()) + " 2>&1");
    return out;
  }

  TempMachine machine;
  ResultStore store;
};

TEST_F(Package, PatternRowPacksTopLevelMatchesOnlyWhateverThePreviousRowWas) {
  makeFile(L"C:\\logs\\a.log");
  makeFile(L"C:\\logs\\B.LOG");  // FindFirstFileW ignores case
  makeFile(L"C:\\logs\\c.txt");
  makeFile(L"C:\\logs\\sub\\d.log");
  makeFile(L"C:\\other\\deep\\e.log");
  // A recursive, filtered request first: its flags must not carry over.
  addRequest(CollectionType::kFile, L"C:\\other\\*.log", L"collection\\file\\other", true, true,
             true);
  addRequest(CollectionType::kFile, L"C:\\logs\\*.log", L"collection\\file");

  ASSERT_TRUE(store.Package());
  Listing cab = listCabinet(storeHost("collection.cab"));
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names, (std::set<std::string>{"collection/file/a.log", "collection/file/B.LOG",
                                               "collection/file/other/other/deep/e.log"}));
}

TEST_F(Package, RecursiveRowKeepsTheRootFolderNameAndTheSubPath) {
  makeFile(L"C:\\a\\b\\top.txt");
  makeFile(L"C:\\a\\b\\c\\x.txt");
  makeFile(L"C:\\a\\b\\c\\y.log");
  makeFile(L"C:\\a\\b\\c\\d\\z.txt");
  makeFile(L"C:\\a\\beside.txt");
  addRequest(CollectionType::kFile, L"C:\\a\\b\\*.txt", L"collection\\file\\dest", true, true);

  ASSERT_TRUE(store.Package());
  const fs::path cabinet = storeHost("collection.cab");
  Listing cab = listCabinet(cabinet);
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names, (std::set<std::string>{"collection/file/dest/b/top.txt",
                                               "collection/file/dest/b/c/x.txt",
                                               "collection/file/dest/b/c/d/z.txt"}));
  const fs::path out = extract(cabinet);
  EXPECT_EQ(readFile(out / "collection/file/dest/b/c/x.txt"), "C:\\a\\b\\c\\x.txt");
  EXPECT_EQ(readFile(out / "collection/file/dest/b/c/d/z.txt"), "C:\\a\\b\\c\\d\\z.txt");
}

TEST_F(Package, RecursiveRowWithoutWildcardUsesTheFileNameAsPattern) {
  makeFile(L"C:\\data\\keep.ini");
  makeFile(L"C:\\data\\x\\keep.ini");
  makeFile(L"C:\\data\\x\\other.ini");
  addRequest(CollectionType::kFile, L"C:\\data\\keep.ini", L"collection\\file", true, true);
  ASSERT_TRUE(store.Package());
  EXPECT_EQ(listCabinet(storeHost("collection.cab")).names,
            (std::set<std::string>{"collection/file/data/keep.ini",
                                   "collection/file/data/x/keep.ini"}));
}

TEST_F(Package, FilterSkipsSystemFoldersByExactNameOnly) {
  for (const wchar_t* file :
       {L"C:\\Windows\\win.ini", L"C:\\Windows\\$NtUninstallKB123$\\old.ini",
        L"C:\\Windows\\System32\\dllcache\\cached.ini",
        L"C:\\Windows\\i386\\setup.ini", L"C:\\Windows\\ServicePackFiles\\sp.ini",
        L"C:\\Windows\\~ETTEMP\\t.ini", L"C:\\Windows\\.hidden\\h.ini",
        L"C:\\Windows\\$partial\\p.ini"}) {
    makeFile(file);
  }
  // Beside dllcache, spelt in capitals (a lookup by Windows path would find
  // dllcache itself).
  const fs::path upper = fs::path(host(L"C:\\Windows\\System32")) / "DLLCACHE";
  fs::create_directories(upper);
  std::ofstream(upper / "kept.ini") << "kept";
  const std::string kept = "collection/file/filtered/Windows/";
  addRequest(CollectionType::kFile, L"C:\\Windows\\*.ini", L"collection\\file\\filtered", true,
             true, true);
  ASSERT_TRUE(store.Package());
  EXPECT_EQ(listCabinet(storeHost("collection.cab")).names,
            (std::set<std::string>{kept + "win.ini", kept + "System32/DLLCACHE/kept.ini",
                                   kept + "$partial/p.ini"}));
}

TEST_F(Package, WithoutTheFilterOnlyDotFoldersAreSkipped) {
  makeFile(L"C:\\Windows\\$NtUninstallKB123$\\old.ini");
  makeFile(L"C:\\Windows\\System32\\dllcache\\cached.ini");
  makeFile(L"C:\\Windows\\.hidden\\h.ini");
  addRequest(CollectionType::kFile, L"C:\\Windows\\*.ini", L"collection\\file", true, true, false);
  ASSERT_TRUE(store.Package());
  EXPECT_EQ(listCabinet(storeHost("collection.cab")).names,
            (std::set<std::string>{"collection/file/Windows/$NtUninstallKB123$/old.ini",
                                   "collection/file/Windows/System32/dllcache/cached.ini"}));
}

TEST_F(Package, NothingCollectedGivesDbCabOnlyWithEveryCommittedRow) {
  // A stale cabinet of an earlier run must not survive as this run's.
  std::ofstream(storeHost("collection.cab")) << "stale";
  for (int i = 0; i < 200; ++i) {
    OperationStore operation;
    operation.Begin(0, L"plugins\\win\\File", L"File::isFilePresent");
    operation.Finish(L"row " + std::to_wstring(i), 1, 0);
    ASSERT_TRUE(store.Insert(operation.Table()));
  }
  LogWatch log;
  ASSERT_TRUE(store.Package());
  EXPECT_NE(log.Text().find("No compressed file created for collection"), std::string::npos);
  EXPECT_FALSE(fs::exists(storeHost("collection.cab")));

  const fs::path cabinet = storeHost("db.cab");
  Listing cab = listCabinet(cabinet);
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names, std::set<std::string>{"ResultStore.db"});
  // The copy in the cabinet alone (no log file beside it) holds every row.
  const std::string copy = (extract(cabinet) / "ResultStore.db").string();
  EXPECT_EQ(sqliteCli(copy, "select count(*) from OPERATION_TABLE"), "200\n");
  EXPECT_EQ(sqliteCli(copy, "select INPUT_DETAILS from OPERATION_TABLE order by ID desc limit 1"),
            "row 199\n");
  EXPECT_EQ(sqliteCli(copy, "pragma integrity_check"), "ok\n");
}

TEST_F(Package, ADatabaseThatCannotBeMadeWholeFailsAndLeavesNoDbCab) {
  std::ofstream(storeHost("db.cab")) << "stale";
  OperationStore operation;
  operation.Begin(0, L"plugins\\win\\File", L"File::isFilePresent");
  operation.Finish(L"x", 1, 0);
  ASSERT_TRUE(store.Insert(operation.Table()));
  // Another reader in the middle of a transaction keeps the log in use:
  // it can be neither emptied nor left.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(storeHost("ResultStore.db").c_str(), &reader), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "begin; select count(*) from OPERATION_TABLE;", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  LogWatch log;
  EXPECT_FALSE(store.Package());
  const std::string text = log.Text();
  EXPECT_NE(text.find("Creation of compression folder for db file failed"), std::string::npos)
      << text;
  EXPECT_FALSE(fs::exists(storeHost("db.cab")));
  sqlite3_exec(reader, "rollback", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  // Once the reader is gone the same store packs.
  ASSERT_TRUE(store.Package());
  const std::string copy = (extract(storeHost("db.cab")) / "ResultStore.db").string();
  EXPECT_EQ(sqliteCli(copy, "pragma journal_mode"), "delete\n");
  EXPECT_EQ(sqliteCli(copy, "select INPUT_DETAILS from OPERATION_TABLE"), "x\n");
}

TEST_F(Package, FolderRowsAndTheCollectionFolderAreCabinedAndTheFolderCleaned) {
  makeFile(L"C:\\ProgramData\\Vendor\\settings.xml");
  makeFile(L"C:\\ProgramData\\Vendor\\logs\\today.log");
  addRequest(CollectionType::kFolder, L"C:\\ProgramData\\Vendor",
             L"collection\\folder\\logs\\Vendor");
  // What other collectors leave in the store's collection folder.
  makeFile(std::wstring(kStoreFolder) + L"\\collection\\FileVersion\\Common.csv");
  makeFile(std::wstring(kStoreFolder) + L"\\collection\\EventLogs\\System.csv");

  ASSERT_TRUE(store.Package());
  const fs::path cabinet = storeHost("collection.cab");
  Listing cab = listCabinet(cabinet);
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names, (std::set<std::string>{"collection/folder/logs/Vendor/settings.xml",
                                               "collection/folder/logs/Vendor/logs/today.log",
                                               "collection/FileVersion/Common.csv",
                                               "collection/EventLogs/System.csv"}));
  EXPECT_EQ(readFile(extract(cabinet) / "collection/folder/logs/Vendor/logs/today.log"),
            "C:\\ProgramData\\Vendor\\logs\\today.log");
  EXPECT_FALSE(fs::exists(storeHost("collection")));
  EXPECT_TRUE(fs::exists(storeHost("db.cab")));
  // The collected originals are never touched.
  EXPECT_TRUE(fs::exists(host(L"C:\\ProgramData\\Vendor\\settings.xml")));
}

TEST_F(Package, OnlyFileAndFolderRowsThatAreNotInTheDatabaseArePacked) {
  makeFile(L"C:\\x\\plain.txt");
  makeFile(L"C:\\x\\registry.reg");
  makeFile(L"C:\\x\\events.csv");
  addRequest(CollectionType::kFile, L"C:\\x\\plain.txt", L"collection\\file");
  addRequest(CollectionType::kRegistry, L"C:\\x\\registry.reg", L"collection\\registry");
  addRequest(CollectionType::kEventLog, L"C:\\x\\events.csv", L"collection\\events");
  DataTable inDatabase;
  CreateCollectionTable(inDatabase);
  AddCollectionRow(inDatabase, 1, CollectionType::kFile, L"C:\\x\\events.csv", L"db", 0, true,
                   true);
  ASSERT_TRUE(store.Insert(inDatabase));

  ASSERT_TRUE(store.Package());
  EXPECT_EQ(listCabinet(storeHost("collection.cab")).names,
            std::set<std::string>{"collection/file/plain.txt"});
}

TEST_F(Package, BadRequestsAreSkippedAndTheRestIsPacked) {
  makeFile(L"C:\\ok\\good.txt");
  addRequest(CollectionType::kFile, L"C:\\missing\\gone.txt", L"collection\\file");
  addRequest(CollectionType::kFile, L"C:\\missing\\*.txt", L"collection\\file");
  addRequest(CollectionType::kFile, L"*.txt", L"collection\\file");  // no folder at all
  addRequest(CollectionType::kFile, L"C:\\bad|name\\*.txt", L"collection\\file");
  addRequest(CollectionType::kFolder, L"C:\\missing", L"collection\\folder\\missing");
  addRequest(CollectionType::kFile, L"C:\\ok\\good.txt", L"collection\\file");

  ASSERT_TRUE(store.Package());
  Listing cab = listCabinet(storeHost("collection.cab"));
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names, std::set<std::string>{"collection/file/good.txt"});
}

TEST_F(Package, SymbolicLinkLoopEndsTheWalkAndPipesAreNotRead) {
  makeFile(L"C:\\loop\\a.txt");
  fs::create_directory_symlink(host(L"C:\\loop"), fs::path(host(L"C:\\loop")) / "again");
  const std::string pipe = (fs::path(host(L"C:\\loop")) / "pipe.txt").string();
  ASSERT_EQ(runCommand("mkfifo " + shellQuote(pipe) + "; echo $?"), "0\n");
  addRequest(CollectionType::kFile, L"C:\\loop\\*.txt", L"collection\\file", true, true);

  ASSERT_TRUE(store.Package());
  Listing cab = listCabinet(storeHost("collection.cab"));
  EXPECT_TRUE(cab.testedOk);
  // The link leads to a folder entered already; the pipe is no file.
  EXPECT_EQ(cab.names, std::set<std::string>{"collection/file/loop/a.txt"});
}

TEST_F(Package, CollectingTheStoreFolderItselfEnds) {
  makeFile(std::wstring(kStoreFolder) + L"\\notes.txt");
  addRequest(CollectionType::kFolder, kStoreFolder, L"collection\\folder\\zorel");
  ASSERT_TRUE(store.Package());
  Listing cab = listCabinet(storeHost("collection.cab"));
  EXPECT_TRUE(cab.testedOk);
  EXPECT_EQ(cab.names.count("collection/folder/zorel/notes.txt"), 1u);
  // The cabinet being written is not part of itself.
  EXPECT_EQ(cab.names.count("collection/folder/zorel/collection.cab"), 0u);
}

TEST(PackageStoreFolder, AHostStoreFolderPacksLikeAWindowsOne) {
  TempMachine machine;
  testing::TempFolder folder;
  ResultStore store;
  store.SetPathMapper(&machine->paths());
  ASSERT_TRUE(store.Open(folder.wide()));
  const fs::path collected = fs::path(machine.root()) / "drive_c" / "f.txt";
  std::ofstream(collected) << "f";
  DataTable collection;
  CreateCollectionTable(collection);
  AddCollectionRow(collection, 1, CollectionType::kFile, L"C:\\F.TXT", L"collection\\file", 0,
                   false, true);
  ASSERT_TRUE(store.Insert(collection));
  ASSERT_TRUE(store.Package());
  EXPECT_EQ(listCabinet(folder.path() / "collection.cab").names,
            std::set<std::string>{"collection/file/f.txt"});
  EXPECT_EQ(listCabinet(folder.path() / "db.cab").names, std::set<std::string>{"ResultStore.db"});
  store.Close(false);
}

TEST(PackageStoreFolder, AStoreNeverOpenedPacksNothing) {
  testing::TempFolder folder;
  const fs::path previous = fs::current_path();
  fs::current_path(folder.path());
  std::ofstream("ResultStore.db") << "not ours";
  ResultStore store;
  LogWatch log;
  EXPECT_FALSE(store.Package());
  EXPECT_FALSE(fs::exists(folder.path() / "db.cab"));
  EXPECT_NE(log.Text().find("Failed to package the result store at: "), std::string::npos);
  fs::current_path(previous);
}

TEST(PackageStoreFolder, AMissingDatabaseFailsTheDbCabinet) {
  TempMachine machine;
  testing::TempFolder folder;
  ResultStore store;
  store.SetPathMapper(&machine->paths());
  ASSERT_TRUE(store.Open(folder.wide()));
  ASSERT_TRUE(store.Close(true));  // the file is gone, the folder is kept
  LogWatch log;
  EXPECT_FALSE(store.Package());
  EXPECT_NE(log.Text().find("Creation of compression folder for db file failed"),
            std::string::npos);
}

}  // namespace
}  // namespace zorel
