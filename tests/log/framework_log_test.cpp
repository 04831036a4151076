#include "zorel/log/framework_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "log_format.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;

class FrameworkLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zorel_log_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "FrameWork.log").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> lines() const {
    std::ifstream in(path_, std::ios::binary);
    std::vector<std::string> out;
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
  }

  fs::path dir_;
  std::string path_;
};

// "Www Mmm dd hh:mm:ss yyyy : " then the level text and a tab.
const std::regex kLinePrefix(R"(^(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4} : )");

TEST_F(FrameworkLogTest, LinesCarryTimestampLevelTextTabAndMessage) {
  {
    FrameworkLog log(path_);
    log.Write(1, L"Initializing the scan operations");
    log.Write(2, L"Failed to generate session id");
    log.Write(3, L"Script execution is in running state");
    log.Write(0, L"zero");
    log.Write(4, L"four");
    log.Write(-7, L"negative");
    log.Write(LogLevel::Error, L"enum %d", 5);
  }
  const auto got = lines();
  ASSERT_EQ(got.size(), 7u);
  const char* expected[] = {"Info\tInitializing the scan operations", "Error \tFailed to generate session id",
                            "Warn \tScript execution is in running state", "Info\tzero", "Info\tfour",
                            "Info\tnegative", "Error \tenum 5"};
  for (size_t i = 0; i < got.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(got[i], m, kLinePrefix)) << got[i];
    EXPECT_EQ(m.length(0), 27);  // 24-character timestamp and " : "
    EXPECT_EQ(got[i].substr(27), expected[i]);
  }
}

TEST_F(FrameworkLogTest, FormatsWideStringsIntegersAndHexAsTheWindowsLibraryDoes) {
  {
    FrameworkLog log(path_);
    log.Write(1, L"path %s code %d long %ld hex %08.8x", L"C:\\Windows\\x", 5, 123456789L, 0xbeefu);
    log.Write(1, L"non-ASCII %s", L"Z\u00f6rel \u65e5");
    log.Write(1, nullptr);
    log.Write(1, L"100%% sure");
  }
  const auto got = lines();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].substr(27), "Info\tpath C:\\Windows\\x code 5 long 123456789 hex 0000beef");
  EXPECT_EQ(got[1].substr(27), "Info\tnon-ASCII Z\xc3\xb6rel \xe6\x97\xa5");
  EXPECT_EQ(got[2].substr(27), "Info\t");
  EXPECT_EQ(got[3].substr(27), "Info\t100% sure");
}

TEST_F(FrameworkLogTest, MessagesOf1023CharactersAreWholeAndLongerOnesAreCut) {
  const std::wstring exact(1023, L'a');
  const std::wstring longer(100000, L'b');
  {
    FrameworkLog log(path_);
    log.Write(1, L"%s", exact.c_str());
    log.Write(1, L"%s", longer.c_str());
  }
  const auto got = lines();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].substr(27), "Info\t" + std::string(1023, 'a'));
  EXPECT_EQ(got[1].substr(27), "Info\t" + std::string(1023, 'b'));
}

TEST_F(FrameworkLogTest, SecondRunAppends) {
  { FrameworkLog(path_).Write(1, L"first run"); }
  { FrameworkLog(path_).Write(1, L"second run"); }
  const auto got = lines();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].substr(27), "Info\tfirst run");
  EXPECT_EQ(got[1].substr(27), "Info\tsecond run");
}

TEST_F(FrameworkLogTest, RotatesOnlyWhenStrictlyLargerThanThreshold) {
  // A file of exactly the threshold is kept and the line is appended.
  {
    std::ofstream(path_, std::ios::binary) << std::string(FrameworkLog::kRotationThreshold, 'x');
  }
  {
    FrameworkLog log(path_);
    log.Write(1, L"at threshold");
    EXPECT_GT(fs::file_size(path_), static_cast<uintmax_t>(FrameworkLog::kRotationThreshold));
    // Now past the threshold: the next line starts a fresh file.
    log.Write(2, L"after rotation");
  }
  const auto got = lines();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].substr(27), "Error \tafter rotation");
}

TEST_F(FrameworkLogTest, ConcurrentWritersNeverInterleaveLines) {
  constexpr int kThreads = 4;
  constexpr int kLines = 500;
  {
    FrameworkLog log(path_);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i) log.Write(1, L"thread %d line %d %s", t, i, L"payload");
      });
    }
    for (auto& th : threads) th.join();
  }
  const auto got = lines();
  ASSERT_EQ(got.size(), static_cast<size_t>(kThreads * kLines));
  const std::regex body(R"(^Info\tthread [0-3] line [0-9]+ payload$)");
  for (const auto& line : got) EXPECT_TRUE(std::regex_match(line.substr(27), body)) << line;
}

TEST_F(FrameworkLogTest, UnopenableFileIsSilent) {
  FrameworkLog log((dir_ / "missing" / "FrameWork.log").string());
  log.Write(2, L"goes nowhere");  // must neither throw nor create anything
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST(FrameworkLogInstance, FirstUseFromTwoThreadsGivesOneWriterInTheTemporaryFolder) {
  FrameworkLog* seen[2] = {nullptr, nullptr};
  std::thread a([&] { seen[0] = &FrameworkLog::Instance(); });
  std::thread b([&] { seen[1] = &FrameworkLog::Instance(); });
  a.join();
  b.join();
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(fs::path(seen[0]->path()).filename(), "FrameWork.log");
}

TEST(LogFormat, TimestampUsesAsctimeLayoutWithBlankPaddedDay) {
  std::tm t{};
  t.tm_year = 118;
  t.tm_mon = 1;
  t.tm_mday = 6;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 9;
  t.tm_wday = 2;
  EXPECT_EQ(logfmt::timestamp(t), "Tue Feb  6 14:03:09 2018");
  t.tm_mday = 16;
  EXPECT_EQ(logfmt::timestamp(t), "Tue Feb 16 14:03:09 2018");
}

TEST(LogFormat, WindowsStringDirectivesBecomeWideForGlibc) {
  EXPECT_EQ(logfmt::windowsFormatToGlibc(L"%s %-10s %ls %d %08.8x %%s %c"),
            L"%ls %-10ls %ls %d %08.8x %%s %lc");
}

}  // namespace
}  // namespace zorel
