// Our cabinets against tools no one here wrote: cabextract and gcab must
// accept every cabinet we write, and we must read what gcab writes, with
// names, bytes, folder structure and dates intact.

#include <gtest/gtest.h>

#include <chrono>

#include "cab_test_util.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/fs/file_ops.h"

namespace zorel {
namespace {

using testing::ScratchDir;
using testing::run;
using testing::tree;
using testing::writeFile;
namespace fs = std::filesystem;

std::wstring W(const fs::path& path) { return fromUtf8(path.string()); }

// A fixed, even-second time: DOS times count in two-second steps.
fs::file_time_type fixedTime() {
  return fs::file_time_type::clock::now() - std::chrono::hours(24 * 400) -
         std::chrono::duration_cast<fs::file_time_type::duration>(
             fs::file_time_type::clock::now().time_since_epoch() % std::chrono::seconds(2));
}

// Both peers test every cabinet of `cabs`; cabextract then extracts the
// first (following the set) into `out`.
void expectPeersAccept(const fs::path& folder, const std::vector<std::string>& cabs,
                       const fs::path& out, bool gcabReadsAll = true) {
  std::string report;
  EXPECT_EQ(run("cd " + folder.string() + " && cabextract -t " + cabs[0], &report), 0) << report;
  EXPECT_NE(report.find("All done, no errors."), std::string::npos) << report;
  if (gcabReadsAll) {
    for (const auto& cab : cabs) {
      EXPECT_EQ(run("gcab -t " + (folder / cab).string(), &report), 0) << cab << ": " << report;
    }
  }
  EXPECT_EQ(run("cd " + folder.string() + " && cabextract -q -d " + out.string() + " " + cabs[0],
                &report),
            0)
      << report;
}

// A file is stored with its creation time where the host keeps one, else
// its modification time; extraction gives that time to the copy.
fs::file_time_type storedTimeOf(const fs::directory_entry& entry) {
  int64_t created = 0;
  if (platform::creationTime(entry.path().string(), created) == 0)
    return fs::file_time_type::clock::from_sys(
        std::chrono::system_clock::from_time_t(static_cast<std::time_t>(created)));
  return entry.last_write_time();
}

// gcab stores the modification time: `ours` false compares with that.
void expectSameTimes(const fs::path& sourceRoot, const fs::path& outRoot, bool ours = true) {
  for (const auto& entry : fs::recursive_directory_iterator(sourceRoot)) {
    if (!entry.is_regular_file()) continue;
    fs::path copy = outRoot / fs::relative(entry.path(), sourceRoot);
    auto delta = fs::last_write_time(copy) - (ours ? storedTimeOf(entry) : entry.last_write_time());
    EXPECT_LE(std::chrono::abs(delta), std::chrono::seconds(2)) << copy;
  }
}

class CabinetInterop : public ::testing::Test {
 protected:
  // Writes `files` below src/, stamps them with one time, packs src/ as
  // "data" and checks both peers and our own extraction.
  void roundTrip(const std::map<std::string, std::string>& files, uint64_t maxCabinet = 0,
                 bool gcabReadsAll = true) {
    for (const auto& [name, bytes] : files) {
      writeFile(dir_ / "src" / name, bytes);
      fs::last_write_time(dir_ / "src" / name, fixedTime());
    }
    CabinetUtility cab;
    if (maxCabinet) cab.SetMaxCabinetSize(maxCabinet);
    cab.SetTarget(W(dir_ / "set.cab"));
    ASSERT_TRUE(cab.AddFolder(W(dir_ / "src"), L"data"));
    ASSERT_TRUE(cab.Compress());
    std::vector<std::string> cabs{"set.cab"};
    for (int n = 2; fs::exists(dir_ / ("set" + std::to_string(n) + ".cab")); ++n) {
      cabs.push_back("set" + std::to_string(n) + ".cab");
    }
    if (maxCabinet) {
      EXPECT_GT(cabs.size(), 1u);
    }
    ScratchDir peerOut, ourOut;
    expectPeersAccept(dir_.path(), cabs, peerOut.path(), gcabReadsAll);
    ASSERT_TRUE(cab.Decompress(W(dir_ / "set.cab"), W(ourOut.path())));
    std::map<std::string, std::string> expected;
    for (const auto& [name, bytes] : files) expected["data/" + name] = bytes;
    EXPECT_EQ(tree(peerOut.path()), expected);
    EXPECT_EQ(tree(ourOut.path()), expected);
    expectSameTimes(dir_ / "src", peerOut / "data");
    expectSameTimes(dir_ / "src", ourOut / "data");
  }

  ScratchDir dir_;
};

TEST_F(CabinetInterop, EmptyFile) { roundTrip({{"empty.txt", ""}}); }

TEST_F(CabinetInterop, OneByteFile) { roundTrip({{"one.txt", "x"}}); }

TEST_F(CabinetInterop, FileOfSixtyFourKibPlusOne) {
  // Two full blocks and a one-byte block; compressible and not.
  roundTrip({{"text.txt", std::string(65537, 'z')},
             {"random.bin", testing::randomBytes(65537, 7)}});
}

TEST_F(CabinetInterop, HundredFilesInNestedFolders) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < 100; ++i) {
    std::string folder = "l" + std::to_string(i % 4) + "/m" + std::to_string(i % 7) + "/";
    files[folder + "file" + std::to_string(i) + ".txt"] =
        i % 2 ? testing::randomBytes(i * 97, i) : std::string(i * 500, char('a' + i % 26));
  }
  roundTrip(files);
}

TEST_F(CabinetInterop, SpanningSetOfFilesSmallerThanACabinet) {
  std::map<std::string, std::string> files;
  for (int i = 0; i < 20; ++i) {
    files["part" + std::to_string(i) + ".bin"] = testing::randomBytes(9000 + 300 * i, 100 + i);
  }
  roundTrip(files, 40000);
}

TEST_F(CabinetInterop, SpanningSetWithFilesLargerThanACabinet) {
  // gcab does not read continued folders at all, so only cabextract and we
  // can check a set in which a file crosses cabinets.
  std::map<std::string, std::string> files{
      {"big.bin", testing::randomBytes(200000, 1)},
      {"small.txt", "small"},
      {"text.txt", std::string(300000, 't')},
      {"huge.bin", testing::randomBytes(130000, 2)}};
  roundTrip(files, 30000, /*gcabReadsAll=*/false);
}

TEST(CabinetFromGcab, WeExtractWhatGcabWrote) {
  ScratchDir dir;
  std::map<std::string, std::string> files{
      {"top.txt", "top level"},
      {"sub/a.txt", std::string(100000, 'a')},
      {"sub/deeper/b.bin", testing::randomBytes(70000, 5)},
      {"sub/empty.txt", ""}};
  std::string names;
  for (const auto& [name, bytes] : files) {
    writeFile(dir / "src" / name, bytes);
    fs::last_write_time(dir / "src" / name, fixedTime());
    names += " " + name;
  }
  std::string report;
  ASSERT_EQ(run("cd " + (dir / "src").string() + " && gcab -c -z ../gcab.cab" + names, &report), 0)
      << report;
  ScratchDir out;
  CabinetUtility cab;
  ASSERT_TRUE(cab.Decompress(W(dir / "gcab.cab"), W(out.path())));
  EXPECT_EQ(tree(out.path()), files);
  expectSameTimes(dir / "src", out.path(), false);
}

}  // namespace
}  // namespace zorel
