// Hostile cabinets: stored names that climb out of the output folder, are
// absolute or carry a drive letter, and symbolic links planted in the output
// folder. Nothing may be written outside the output folder; the rest of the
// cabinet still extracts and the result says something was refused.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "cab_test_util.h"
#include "cab_writer.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"

namespace zorel {
namespace {

using testing::ScratchDir;
using testing::readFile;
using testing::tree;
using testing::writeFile;
namespace fs = std::filesystem;

std::wstring W(const fs::path& path) { return fromUtf8(path.string()); }

// Writes a cabinet of (stored name, bytes) straight through the writer,
// which stores any name it is given, one folder per file.
fs::path cabinetOf(const fs::path& folder,
                   const std::vector<std::pair<std::string, std::string>>& files) {
  cab::WriterOptions options;
  options.folder = folder;
  options.firstName = "hostile.cab";
  int n = 0;
  options.tempFile = [&folder, &n] {
    fs::path p = folder / ("data" + std::to_string(n++) + ".tmp");
    writeFile(p, "");
    return p;
  };
  cab::Writer writer(options);
  for (const auto& [name, bytes] : files) {
    EXPECT_TRUE(writer.addBytes(bytes, {name})) << writer.error().message;
  }
  EXPECT_TRUE(writer.finish()) << writer.error().message;
  return folder / "hostile.cab";
}

// One small file per stored name: "payload of <name>".
fs::path hostileCabinet(const fs::path& folder, const std::vector<std::string>& names) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& name : names) files.emplace_back(name, "payload of " + name);
  return cabinetOf(folder, files);
}

TEST(CabinetExtractSafety, ClimbingAbsoluteAndDriveNamesExtractNothingOutside) {
  ScratchDir dir;
  fs::path outside = dir / "outside";
  fs::create_directories(outside);
  std::string absolute = (outside / "abs.txt").string();  // stands in for /etc/x
  fs::path cab = hostileCabinet(
      dir.path(), {"ok.txt", "..\\..\\x", "..\\x", "sub\\..\\..\\x", "../x", absolute,
                   "/etc/zorel_hostile_test", "\\root.txt", "C:\\x", "c:x", "dir\\C:\\y",
                   "sub\\fine.txt"});
  fs::path out = dir / "a" / "b" / "out";
  CabinetUtility utility;
  EXPECT_FALSE(utility.Decompress(W(cab), W(out)));
  EXPECT_EQ(tree(out), (std::map<std::string, std::string>{
                           {"ok.txt", "payload of ok.txt"},
                           {"sub/fine.txt", "payload of sub\\fine.txt"}}));
  EXPECT_FALSE(fs::exists(dir / "a" / "b" / "x"));
  EXPECT_FALSE(fs::exists(dir / "a" / "x"));
  EXPECT_FALSE(fs::exists(dir / "x"));
  EXPECT_FALSE(fs::exists(absolute));
  EXPECT_FALSE(fs::exists("/etc/zorel_hostile_test"));
  EXPECT_FALSE(fs::exists("/root.txt"));
  EXPECT_TRUE(fs::is_empty(outside));
}

TEST(CabinetExtractSafety, SymbolicLinksPlantedInTheOutputFolderAreNotFollowed) {
  ScratchDir dir;
  fs::path outside = dir / "outside";
  writeFile(outside / "victim.txt", "original");
  fs::path out = dir / "out";
  fs::create_directories(out);
  fs::create_directory_symlink(outside, out / "link");
  fs::create_symlink(outside / "victim.txt", out / "victim.txt");
  fs::path cab = hostileCabinet(dir.path(), {"link\\planted.txt", "victim.txt", "fine.txt"});
  CabinetUtility utility;
  EXPECT_FALSE(utility.Decompress(W(cab), W(out)));
  EXPECT_FALSE(fs::exists(outside / "planted.txt"));
  EXPECT_EQ(readFile(outside / "victim.txt"), "original");
  EXPECT_EQ(readFile(out / "fine.txt"), "payload of fine.txt");
}

TEST(CabinetExtractSafety, APipeOrFolderInTheOutputFolderIsRefusedWithoutWaiting) {
  ScratchDir dir;
  fs::path out = dir / "out";
  fs::create_directories(out / "folder.txt");
  ASSERT_EQ(::mkfifo((out / "pipe.txt").c_str(), 0600), 0);
  fs::path cab = hostileCabinet(dir.path(), {"pipe.txt", "folder.txt", "fine.txt"});
  CabinetUtility utility;
  std::wstring reason;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(utility.Decompress(W(cab), W(out), &reason));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  int fd = ::open((out / "pipe.txt").c_str(), O_RDWR | O_NONBLOCK);  // lets a waiting open go
  if (fd >= 0) ::close(fd);
  EXPECT_EQ(toUtf8(reason), "Refused to extract pipe.txt: not a regular file: " + (out / "pipe.txt").string());
  EXPECT_TRUE(fs::is_fifo(out / "pipe.txt"));
  EXPECT_TRUE(fs::is_directory(out / "folder.txt"));
  EXPECT_EQ(readFile(out / "fine.txt"), "payload of fine.txt");
}

TEST(CabinetExtractSafety, ManyFoldersOnSeveralThreadsAndTheLastOfTwinNamesWins) {
  ScratchDir dir;
  std::vector<std::pair<std::string, std::string>> files;
  std::map<std::string, std::string> expected;
  for (int i = 0; i < 60; ++i) {
    const std::string folder = "f" + std::to_string(i % 20);
    const std::string bytes = testing::randomBytes(1000 + 97 * i, i);
    files.emplace_back(folder + "\\n" + std::to_string(i) + ".txt", bytes);
    expected[folder + "/n" + std::to_string(i) + ".txt"] = bytes;
    if (i % 20 == 0) {
      // Met three times: the cabinet's last one is what stays.
      files.emplace_back("twin.txt", "twin " + std::to_string(i));
      expected["twin.txt"] = "twin " + std::to_string(i);
    }
  }
  fs::path cab = cabinetOf(dir.path(), files);
  fs::path out = dir / "out";
  CabinetUtility utility;
  EXPECT_TRUE(utility.Decompress(W(cab), W(out)));
  EXPECT_EQ(tree(out), expected);
}

TEST(CabinetExtractSafety, SetWhoseNextCabinetLoopsBackEnds) {
  ScratchDir dir;
  cab::WriterOptions options;
  options.folder = dir.path();
  options.firstName = "loop1.cab";
  options.maxCabinetSize = 2000;
  options.nextName = [](const std::string&, int n) {
    return "loop" + std::to_string(n) + ".cab";
  };
  int n = 0;
  options.tempFile = [&dir, &n] {
    fs::path p = dir / ("t" + std::to_string(n++) + ".tmp");
    writeFile(p, "");
    return p;
  };
  {
    cab::Writer writer(options);
    ASSERT_TRUE(writer.addBytes(testing::randomBytes(5000, 4), {"a.bin"}));
    ASSERT_TRUE(writer.finish());
  }
  ASSERT_TRUE(fs::exists(dir / "loop3.cab"));
  // Make the second cabinet name the first as its successor.
  std::string second = readFile(dir / "loop2.cab");
  size_t at = second.find("loop3.cab");
  ASSERT_NE(at, std::string::npos);
  second.replace(at, 9, "loop1.cab");
  writeFile(dir / "loop2.cab", second);
  ScratchDir out;
  CabinetUtility utility;
  EXPECT_FALSE(utility.Decompress(W(dir / "loop1.cab"), W(out.path())));
}

}  // namespace
}  // namespace zorel
