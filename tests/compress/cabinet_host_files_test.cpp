// What the host's files give a cabinet and get back from one: the stored
// date (creation time where the host keeps one), the Windows attributes,
// and the files a folder walk must not open (named pipes, linked folders).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <future>

#include "cab_test_util.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/file_ops.h"

namespace zorel {
namespace {

using testing::ScratchDir;
using testing::readFile;
using testing::run;
using testing::tree;
using testing::writeFile;
namespace fs = std::filesystem;
using std::chrono::seconds;

std::wstring W(const fs::path& path) { return fromUtf8(path.string()); }

std::chrono::system_clock::time_point sysTime(fs::file_time_type t) {
  return std::chrono::file_clock::to_sys(t);
}

TEST(CabinetDates, CreationTimeWhereTheHostKeepsOneElseModificationTime) {
  ScratchDir dir;
  writeFile(dir / "a.txt", "dated");
  // Modified long ago, created now: the two are far apart.
  const auto old = fs::last_write_time(dir / "a.txt") - std::chrono::hours(24 * 900);
  fs::last_write_time(dir / "a.txt", old);
  int64_t created = 0;
  const bool hasBirth = platform::creationTime((dir / "a.txt").string(), created) == 0;

  CabinetUtility cab;
  cab.SetTarget(W(dir / "d.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "a.txt"), L""));
  ASSERT_TRUE(cab.Compress());
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "d.cab"), W(out.path())));
  const auto extracted = sysTime(fs::last_write_time(out / "a.txt"));
  const auto expected = hasBirth ? std::chrono::system_clock::from_time_t(created) : sysTime(old);
  EXPECT_LE(std::chrono::abs(extracted - expected), seconds(2))
      << (hasBirth ? "birth time" : "modification time");
  // cabextract reads the same date from the cabinet.
  ScratchDir peer;
  ASSERT_EQ(run("cabextract -q -d " + peer.path().string() + " " + (dir / "d.cab").string()), 0);
  EXPECT_LE(std::chrono::abs(sysTime(fs::last_write_time(peer / "a.txt")) - expected), seconds(2));
}

TEST(CabinetDates, MissingBirthTimeIsReportedNotInvented) {
  ScratchDir dir;
  int64_t created = 0;
  EXPECT_EQ(platform::creationTime((dir / "none").string(), created), 2);
  EXPECT_EQ(platform::creationTime((dir / "no" / "none").string(), created), 3);
}

TEST(CabinetAttributes, ReadOnlyHiddenSystemAndArchiveSurviveARoundTrip) {
  ScratchDir dir;
  writeFile(dir / "flags.txt", "f");
  writeFile(dir / "plain.txt", "p");
  const std::string flags = (dir / "flags.txt").string();
  const uint32_t wanted = platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_SYSTEM |
                          platform::FILE_ATTRIBUTE_ARCHIVE | platform::FILE_ATTRIBUTE_READONLY;
  if (platform::setFileAttributes(flags, wanted | platform::FILE_ATTRIBUTE_TEMPORARY) != 0)
    GTEST_SKIP() << "no extended attributes on this file system";
  CabinetUtility cab;
  cab.SetTarget(W(dir / "a.cab"));
  ASSERT_TRUE(cab.AddFile(W(dir / "flags.txt"), L""));
  ASSERT_TRUE(cab.AddFile(W(dir / "plain.txt"), L""));
  ASSERT_TRUE(cab.Compress());
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "a.cab"), W(out.path())));
  uint32_t attributes = 0;
  ASSERT_EQ(platform::getFileAttributes((out / "flags.txt").string(), attributes), 0);
  // Only the four bits a cabinet keeps: TEMPORARY is dropped.
  EXPECT_EQ(attributes, wanted);
  ASSERT_EQ(platform::getFileAttributes((out / "plain.txt").string(), attributes), 0);
  EXPECT_EQ(attributes, platform::FILE_ATTRIBUTE_ARCHIVE);
}

TEST(CabinetTarget, CabExtensionIgnoresCaseForReadingToo) {
  ScratchDir dir;
  writeFile(dir / "src" / "sub" / "b.txt", "bee");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "SETUP.CAB"));
  ASSERT_TRUE(cab.AddFolder(W(dir / "src"), L""));
  ASSERT_TRUE(cab.Compress());
  EXPECT_TRUE(fs::exists(dir / "SETUP.CAB"));
  EXPECT_FALSE(fs::exists(dir / "SETUP.cab"));
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "SETUP.CAB"), W(out.path())));
  EXPECT_EQ(readFile(out / "sub" / "b.txt"), "bee");
  // A name that only contains the letters is still no cabinet.
  writeFile(dir / "x.cabinet", "");
  EXPECT_FALSE(cab.Decompress(W(dir / "x.cabinet"), W(out.path())));
}

// Compress on another thread, so a walk that blocks fails the test instead
// of hanging it.
bool compressWithin(CabinetUtility& cab, seconds limit, bool& result) {
  auto done = std::async(std::launch::async, [&cab] { return cab.Compress(); });
  if (done.wait_for(limit) != std::future_status::ready) {
    ADD_FAILURE() << "Compress blocked";
    std::_Exit(1);  // the blocked thread cannot be joined
  }
  result = done.get();
  return true;
}

TEST(CabinetSpecialFiles, FolderWalkSkipsNamedPipesAndLinkedFolders) {
  ScratchDir dir;
  writeFile(dir / "src" / "a.txt", "a");
  writeFile(dir / "src" / "sub" / "b.txt", "b");
  ASSERT_EQ(::mkfifo((dir / "src" / "pipe").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((dir / "src" / "sub" / "pipe2").c_str(), 0600), 0);
  // A link back to the folder itself: following it would never end.
  fs::create_directory_symlink(dir / "src", dir / "src" / "sub" / "loop");
  CabinetUtility cab;
  cab.SetTarget(W(dir / "s.cab"));
  ASSERT_TRUE(cab.AddFolder(W(dir / "src"), L"data"));
  bool result = false;
  compressWithin(cab, seconds(20), result);
  EXPECT_TRUE(result);
  ScratchDir out;
  ASSERT_TRUE(cab.Decompress(W(dir / "s.cab"), W(out.path())));
  EXPECT_EQ(tree(out.path()),
            (std::map<std::string, std::string>{{"data/a.txt", "a"}, {"data/sub/b.txt", "b"}}));
  std::string report;
  EXPECT_EQ(run("cabextract -t " + (dir / "s.cab").string(), &report), 0) << report;
}

TEST(CabinetSpecialFiles, AddFileRefusesAPipeAndAPipeInPlaceOfAListedFile) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  CabinetUtility cab;
  cab.SetTarget(W(dir / "p.cab"));
  EXPECT_FALSE(cab.AddFile(W(dir / "pipe"), L""));
  EXPECT_FALSE(cab.AddFile(L"/dev/null", L""));
  // Listed as a file, then replaced by a pipe before Compress.
  writeFile(dir / "later", "x");
  ASSERT_TRUE(cab.AddFile(W(dir / "later"), L""));
  fs::remove(dir / "later");
  ASSERT_EQ(::mkfifo((dir / "later").c_str(), 0600), 0);
  bool result = true;
  compressWithin(cab, seconds(20), result);
  EXPECT_FALSE(result);
}

}  // namespace
}  // namespace zorel
