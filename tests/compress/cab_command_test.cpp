// `zorel cab list` and `zorel cab extract` through the binary: the listing
// of a cabinet our writer made, extraction and its refusals, and how each
// failure is told.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cab_test_util.h"
#include "cab_writer.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"

namespace zorel {
namespace {

using testing::ScratchDir;
using testing::readFile;
using testing::writeFile;
namespace fs = std::filesystem;

const std::string kZorel = ZOREL_BINARY_DIR "/src/cli/zorel";

struct Outcome {
  int status;
  std::string output;  // standard output and error
};

Outcome cab(const std::string& arguments) {
  Outcome outcome;
  const int raw = testing::run(kZorel + " cab " + arguments, &outcome.output);
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return outcome;
}

TEST(CabCommand, ListsAndExtractsWhatOurWriterMade) {
  ScratchDir dir;
  writeFile(dir / "set" / "a.txt", "hello");
  writeFile(dir / "set" / "sub" / "b.bin", testing::randomBytes(70000, 3));
  const std::string hidden = "34";  // hidden and archive, as the machine keeps them
  ::setxattr((dir / "set" / "a.txt").c_str(), "user.zorel.attributes", hidden.data(),
             hidden.size(), 0);
  CabinetUtility utility;
  utility.SetTarget(fromUtf8((dir / "set.cab").string()));
  ASSERT_TRUE(utility.AddFolder(fromUtf8((dir / "set").string()), L"set"));
  ASSERT_TRUE(utility.Compress());

  const Outcome list = cab("list '" + (dir / "set.cab").string() + "'");
  EXPECT_EQ(list.status, 0) << list.output;
  // "%10u  YYYY-MM-DD hh:mm:ss  RHSA  name"
  std::vector<std::string> seen;
  std::istringstream lines(list.output);
  for (std::string text; std::getline(lines, text);) {
    unsigned size = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, end = 0;
    char letters[5] = {0};
    ASSERT_EQ(std::sscanf(text.c_str(), "%10u  %4d-%2d-%2d %2d:%2d:%2d  %4c  %n", &size, &year,
                          &month, &day, &hour, &minute, &second, letters, &end),
              8)
        << text;
    EXPECT_EQ(text.size() > 10 ? text.substr(10, 2) : "", "  ") << text;
    EXPECT_GE(year, 1980) << text;
    seen.push_back(text.substr(static_cast<size_t>(end)) + " " + std::to_string(size) + " " +
                   letters);
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"set\\a.txt 5 -H-A", "set\\sub\\b.bin 70000 ---A"}));

  const Outcome extract = cab("extract '" + (dir / "set.cab").string() + "' '" +
                              (dir / "out").string() + "'");
  EXPECT_EQ(extract.status, 0) << extract.output;
  EXPECT_EQ(extract.output, "");
  EXPECT_EQ(readFile(dir / "out" / "set" / "a.txt"), "hello");
  EXPECT_EQ(readFile(dir / "out" / "set" / "sub" / "b.bin"), readFile(dir / "set" / "sub" / "b.bin"));
}

// A cabinet whose second name climbs out of the output folder.
fs::path climbingCabinet(const fs::path& folder) {
  cab::WriterOptions options;
  options.folder = folder;
  options.firstName = "climb.cab";
  options.tempFile = [&folder] {
    writeFile(folder / "data.tmp", "");
    return folder / "data.tmp";
  };
  cab::Writer writer(options);
  EXPECT_TRUE(writer.addBytes("fine", {"fine.txt"}));
  EXPECT_TRUE(writer.addBytes("escaped", {"..\\x"}));
  EXPECT_TRUE(writer.finish());
  return folder / "climb.cab";
}

TEST(CabCommand, FailuresExitOneWithTheReason) {
  ScratchDir dir;
  writeFile(dir / "text.cab", "not a cabinet");
  writeFile(dir / "plain.txt", "x");
  const std::string cabinet = (dir / "text.cab").string();
  const std::string climbing = climbingCabinet(dir.path()).string();
  const struct {
    std::string arguments;
    int status;
    std::string said;
  } cases[] = {
      {"list '" + (dir / "none.cab").string() + "'", 1, "zorel cab list: no such cabinet file: "},
      {"list '" + cabinet + "'", 1, "zorel cab list: " + cabinet + " is not a cabinet that can be read"},
      {"extract '" + cabinet + "' '" + (dir / "o").string() + "'", 1,
       "zorel cab extract: Failed to decompress the text.cab file"},
      {"extract '" + (dir / "plain.txt").string() + "' '" + (dir / "o").string() + "'", 1,
       "zorel cab extract: Please pass the proper and existing file name to decompress"},
      {"extract '" + climbing + "' '" + (dir / "o").string() + "'", 1,
       "zorel cab extract: Refused to extract ..\\x: the name leaves the output folder"},
      {"", 1, "usage: zorel cab list CAB | zorel cab extract CAB DIR"},
      {"extract x.cab", 1, "usage: zorel cab"},
      {"--help", 0, "usage: zorel cab list CAB | zorel cab extract CAB DIR"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = cab(c.arguments);
    EXPECT_EQ(outcome.status, c.status) << c.arguments << ": " << outcome.output;
    EXPECT_EQ(outcome.output.rfind(c.said, 0), 0u) << c.arguments << ": " << outcome.output;
  }
  EXPECT_FALSE(fs::exists(dir / "x"));
  EXPECT_EQ(readFile(dir / "o" / "fine.txt"), "fine");
}

}  // namespace
}  // namespace zorel
