// CabinetUtility's own rules: targets, the entry list, stored names,
// temporary files, spanning, and the refusals that must be clean failures.

#include "zorel/compress/cabinet_utility.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "cab_test_util.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel {
namespace {

using testing::ScratchDir;
using testing::readFile;
using testing::run;
using testing::tree;
using testing::writeFile;
namespace fs = std::filesystem;

std::wstring W(const fs::path& path) { return fromUtf8(path.string()); }

// What FrameWork.log gained while `action` ran.
template <typename F>
std::string logDuring(F&& action) {
  const std::string& path = FrameworkLog::Instance().path();
  size_t before = readFile(path).size();
  action();
  std::string all = readFile(path);
  return all.size() >= before ? all.substr(before) : all;
}

// Names stored in a cabinet, as cabextract lists them.
std::string listing(const fs::path& cab) {
  std::string out;
  run("cabextract -l " + cab.string(), &out);
  return out;
}

TEST(CabinetTarget, ExistingFolderGetsZorelCabInside) {
  ScratchDir dir;
  CabinetUtility cab;
  cab.SetTarget(W(dir.path()));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "zorel.cab"));
}

TEST(CabinetTarget, PathWithoutExtensionIsCreatedAsFolder) {
  ScratchDir dir;
  CabinetUtility cab;
  cab.SetTarget(W(dir / "newfolder"));
  EXPECT_TRUE(fs::is_directory(dir / "newfolder"));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "newfolder" / "zorel.cab"));
}

TEST(CabinetTarget, OtherExtensionBecomesCab) {
  ScratchDir dir;
  CabinetUtility cab;
  cab.SetTarget(W(dir / "a.zip"));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "a.cab"));
  // Windows compares names ignoring case: these are cabinet names already
  // and keep their spelling.
  cab.SetTarget(W(dir / "b.CAB"));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "b.CAB"));
  cab.SetTarget(W(dir / "c.Cab"));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "c.Cab"));
  cab.SetTarget(W(dir / "d.cabx"));
  EXPECT_EQ(cab.CabinetPath(), W(dir / "d.cab"));
}

TEST(CabinetTarget, EmptyPathIsZorelCabInCurrentFolder) {
  CabinetUtility cab;
  cab.SetTarget(L"");
  EXPECT_EQ(cab.CabinetPath(), L"zorel.cab");
}

TEST(CabinetTarget, MissingFolderKeepsPreviousTargetAndList) {
  ScratchDir dir;
  writeFile(dir / "x.txt", "x");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "good.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "x.txt"), L""));
  std::wstring missing = W(dir / "missing" / "a.cab");
  std::string logged = logDuring([&] { cab.SetTarget(missing); });
  EXPECT_NE(logged.find("Path not found : " + toUtf8(missing)), std::string::npos) << logged;
  EXPECT_EQ(cab.CabinetPath(), W(dir / "good.cab"));
  EXPECT_EQ(cab.Entries().size(), 1u);
}

TEST(CabinetTarget, ExistingCabinetIsDeletedAndListEmptied) {
  ScratchDir dir;
  writeFile(dir / "old.cab", "stale");
  writeFile(dir / "x.txt", "x");
  CabinetUtility cab;
  ASSERT_TRUE(cab.AddFile(W(dir / "x.txt"), L""));
  cab.SetTarget(W(dir / "old.cab"));
  EXPECT_FALSE(fs::exists(dir / "old.cab"));
  EXPECT_TRUE(cab.Entries().empty());
}

TEST(CabinetList, AddFileRefusesFolderMissingFileAndEmptyText) {
  ScratchDir dir;
  CabinetUtility cab;
  EXPECT_FALSE(cab.AddFile(W(dir.path()), L""));
  EXPECT_FALSE(cab.AddFile(W(dir / "missing.txt"), L""));
  EXPECT_FALSE(cab.AddFile(L"", L""));
  EXPECT_TRUE(cab.Entries().empty());
}

TEST(CabinetList, AddFolderRefusesEmptyFolderFileAndEmptyText) {
  ScratchDir dir;
  fs::create_directory(dir / "empty");
  writeFile(dir / "file.txt", "x");
  CabinetUtility cab;
  EXPECT_FALSE(cab.AddFolder(W(dir / "empty"), L""));
  EXPECT_FALSE(cab.AddFolder(W(dir / "file.txt"), L""));
  EXPECT_FALSE(cab.AddFolder(W(dir / "missing"), L""));
  EXPECT_FALSE(cab.AddFolder(L"", L""));
  EXPECT_TRUE(cab.Entries().empty());
}

TEST(CabinetList, SameSourceTwiceKeepsOneEntryWithSecondDestination) {
  ScratchDir dir;
  writeFile(dir / "a.txt", "a");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "a.txt"), L"first"));
  ASSERT_TRUE(cab.AddFile(W(dir / "a.txt"), L"second"));
  ASSERT_EQ(cab.Entries().size(), 1u);
  ASSERT_TRUE(cab.Compress());
  std::string names = listing(dir / "out.cab");
  EXPECT_NE(names.find("second/a.txt"), std::string::npos) << names;
  EXPECT_EQ(names.find("first"), std::string::npos) << names;
}

TEST(CabinetCompress, EmptyListFailsWithLogLine) {
  ScratchDir dir;
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  bool result = true;
  std::string logged = logDuring([&] { result = cab.Compress(); });
  EXPECT_FALSE(result);
  EXPECT_NE(logged.find("No Files/Folders present to be compressed"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out.cab"));
}

TEST(CabinetCompress, DestinationNamingFollowsTheLastElement) {
  ScratchDir dir;
  writeFile(dir / "src" / "a.txt", "A");
  writeFile(dir / "src" / "b.txt", "B");
  writeFile(dir / "src" / "c.txt", "C");
  writeFile(dir / "src" / "d.txt", "D");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  // A folder destination receives the file under its own name ...
  ASSERT_TRUE(cab.AddFile(W(dir / "src" / "a.txt"), L"collection\\file"));
  // ... one ending in the file's name (any case) stays as it is ...
  ASSERT_TRUE(cab.AddFile(W(dir / "src" / "b.txt"), L"collection\\file\\B.TXT"));
  // ... an empty one stores the file at the top level; '/' and a trailing
  // separator do not make odd names.
  ASSERT_TRUE(cab.AddFile(W(dir / "src" / "c.txt"), L""));
  ASSERT_TRUE(cab.AddFile(W(dir / "src" / "d.txt"), L"x/y\\"));
  ASSERT_TRUE(cab.Compress());
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "out.cab"), W(out.path())));
  auto files = tree(out.path());
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"collection/file/a.txt", "A"},
                                                      {"collection/file/B.TXT", "B"},
                                                      {"c.txt", "C"},
                                                      {"x/y/d.txt", "D"}}));
}

TEST(CabinetCompress, FolderEntryKeepsItsTreeBelowTheDestination) {
  ScratchDir dir;
  writeFile(dir / "src" / "top.txt", "top");
  writeFile(dir / "src" / "sub" / "b.txt", "b");
  writeFile(dir / "src" / "sub" / "deeper" / "c.txt", "c");
  for (const std::wstring& destination : {std::wstring(L"dest"), std::wstring()}) {
    SCOPED_TRACE(toUtf8(destination));
    CabinetUtility cab;
    cab.SetTarget(W(dir / "out.cab"));
    ASSERT_TRUE(cab.AddFolder(W(dir / "src"), destination));
    ASSERT_TRUE(cab.Compress());
    ScratchDir out;
    ASSERT_TRUE(cab.Decompress(W(dir / "out.cab"), W(out.path())));
    std::string p = destination.empty() ? "" : "dest/";
    EXPECT_EQ(tree(out.path()), (std::map<std::string, std::string>{
                                    {p + "top.txt", "top"},
                                    {p + "sub/b.txt", "b"},
                                    {p + "sub/deeper/c.txt", "c"}}));
  }
}

TEST(CabinetCompress, DeletesExactlyItsOwnTemporaryFiles) {
  ScratchDir dir;
  // A temporary folder of this test's own: other test processes make and
  // delete CAB files in the shared one while this test counts them.
  const fs::path temp = dir / "tmp";
  fs::create_directories(temp);
  struct RestoreTmp {
    const char* old = std::getenv("TMPDIR");
    std::string value = old ? old : "";
    ~RestoreTmp() { old ? ::setenv("TMPDIR", value.c_str(), 1) : ::unsetenv("TMPDIR"); }
  } restore;
  platform::setCurrentMachine(nullptr);
  ::setenv("TMPDIR", temp.c_str(), 1);
  ASSERT_EQ(fs::path(platform::hostTempFolder()), fs::path(temp.string() + "/"));
  // Another program's file of the same pattern must survive.
  fs::path foreign = temp / "CABFOREIGN1.tmp";
  writeFile(foreign, "someone else's");
  auto cabFiles = [&] {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(temp)) {
      std::string n = e.path().filename().string();
      if (n.rfind("CAB", 0) == 0) names.insert(n);
    }
    return names;
  };
  auto before = cabFiles();
  writeFile(dir / "big.bin", testing::randomBytes(300000, 3));
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  cab.SetMaxCabinetSize(100000);  // spanning needs the second temporary file
  cab.SetMemoryLimit(0);          // every block waits in a temporary file
  ASSERT_TRUE(cab.AddFile(W(dir / "big.bin"), L""));
  ASSERT_TRUE(cab.Compress());
  EXPECT_EQ(cabFiles(), before);
  EXPECT_EQ(readFile(foreign), "someone else's");
  fs::remove(foreign);
}

TEST(CabinetCompress, SpanningNamesContinuationCabinetsAndExtractsWhole) {
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 12; ++i) {
    expected["c/f" + std::to_string(i) + ".bin"] = testing::randomBytes(30000 + i * 1000, i);
  }
  expected["c/huge.bin"] = testing::randomBytes(250000, 99);  // crosses cabinets
  // The blocks wait in memory, in temporary files from the start, or move
  // to a file part-way.
  for (uint64_t memory : {uint64_t(64) << 20, uint64_t(0), uint64_t(30000)}) {
    SCOPED_TRACE(memory);
    ScratchDir dir;
    for (const auto& [name, bytes] : expected) writeFile(dir / "src" / name.substr(2), bytes);
    CabinetUtility cab;
    cab.SetTarget(W(dir / "collection.cab"));
    cab.SetMaxCabinetSize(60000);
    cab.SetMemoryLimit(memory);
    ASSERT_TRUE(cab.AddFolder(W(dir / "src"), L"c"));
    ASSERT_TRUE(cab.Compress());
    for (const char* name : {"collection.cab", "collection2.cab", "collection10.cab"}) {
      ASSERT_TRUE(fs::exists(dir / name)) << name;
    }
    for (const auto& e : fs::directory_iterator(dir.path())) {
      if (e.path().extension() == ".cab") {
        EXPECT_LE(fs::file_size(e.path()), 60000u);
      }
    }
    ScratchDir out;
    ASSERT_TRUE(cab.Decompress(W(dir / "collection.cab"), W(out.path())));
    EXPECT_EQ(tree(out.path()), expected);
    std::string report;
    EXPECT_EQ(run("cd " + dir.path().string() + " && cabextract -t collection.cab", &report), 0)
        << report;
  }
}

TEST(CabinetCompress, NameOver255BytesFailsCleanly) {
  ScratchDir dir;
  writeFile(dir / "a.txt", "a");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "a.txt"), std::wstring(300, L'd')));
  bool result = true;
  std::string logged = logDuring([&] { result = cab.Compress(); });
  EXPECT_FALSE(result);
  EXPECT_NE(logged.find("FCIAddFile failed to add a.txt File"), std::string::npos) << logged;
  EXPECT_NE(logged.find("longer than 255 bytes"), std::string::npos) << logged;
}

TEST(CabinetCompress, NonAsciiNameIsStoredAsUtf8AndMarked) {
  ScratchDir dir;
  writeFile(dir / "r\xC3\xA9sum\xC3\xA9.txt", "cv");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "r\xC3\xA9sum\xC3\xA9.txt"), L"\x65e5\x672c"));
  ASSERT_TRUE(cab.Compress());
  std::string bytes = readFile(dir / "out.cab");
  std::string stored = "\xE6\x97\xA5\xE6\x9C\xAC\\r\xC3\xA9sum\xC3\xA9.txt";
  size_t at = bytes.find(stored);
  ASSERT_NE(at, std::string::npos);
  // The attribute word sits just before the name.
  EXPECT_TRUE(uint8_t(bytes[at - 2]) & 0x80);
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "out.cab"), W(out.path())));
  EXPECT_EQ(readFile(out / stored.replace(stored.find('\\'), 1, "/")), "cv");
}

TEST(CabinetCompress, UnreadableSourceIsStoredFromAStagingCopyOrFailsCleanly) {
  ScratchDir dir;
  writeFile(dir / "locked.txt", "secret");
  fs::permissions(dir / "locked.txt", fs::perms::none);
  CabinetUtility cab;
  cab.SetTarget(W(dir / "out.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "locked.txt"), L""));
  bool readable = std::ifstream(dir / "locked.txt").good();  // root reads anyway
  bool result = cab.Compress();
  EXPECT_EQ(result, readable);
  EXPECT_FALSE(fs::exists(fs::path(platform::hostTempFolder()) / "UnCompressed" / "locked.txt"));
}

TEST(CabinetDecompress, ExtractionCreatesSubfoldersAndRefusesBadPaths) {
  ScratchDir dir;
  writeFile(dir / "sub" / "b.txt", "bee");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "in.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "sub" / "b.txt"), L"sub"));
  ASSERT_TRUE(cab.Compress());
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "in.cab"), W(out / "new" / "folder")));
  EXPECT_EQ(readFile(out / "new" / "folder" / "sub" / "b.txt"), "bee");

  for (const fs::path& bad : {dir / "missing.cab", dir / "sub" / "b.txt", fs::path()}) {
    std::string logged = logDuring([&] { EXPECT_FALSE(cab.Decompress(W(bad), W(out.path()))); });
    EXPECT_NE(logged.find("Please pass the proper and existing file name to decompress"),
              std::string::npos);
  }
}

TEST(CabinetDecompress, CorruptCabinetFailsWithoutCrashing) {
  ScratchDir dir;
  writeFile(dir / "a.txt", std::string(100000, 'q'));
  CabinetUtility cab;
  cab.SetTarget(W(dir / "in.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "a.txt"), L""));
  ASSERT_TRUE(cab.Compress());
  std::string bytes = readFile(dir / "in.cab");
  writeFile(dir / "truncated.cab", bytes.substr(0, bytes.size() / 2));
  std::string flipped = bytes;
  flipped[flipped.size() - 40] ^= 0x55;  // checksum mismatch in the data
  writeFile(dir / "flipped.cab", flipped);
  writeFile(dir / "garbage.cab", "MSCF not really a cabinet");
  for (const char* name : {"truncated.cab", "flipped.cab", "garbage.cab"}) {
    ScratchDir out;
    EXPECT_FALSE(cab.Decompress(W(dir / name), W(out.path()))) << name;
  }
}

}  // namespace
}  // namespace zorel
