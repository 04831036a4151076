// `zorel machine` through the binary, on new machine folders.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status;
  std::string out;
};

CliRun zorel(const std::string& root, const std::string& args) {
  const std::string cmd = "ZOREL_MACHINE='" + root + "' " ZOREL_BINARY_DIR "/src/cli/zorel " + args + " 2>&1";
  CliRun r{-1, {}};
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing " + path + ">";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class MachineCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-cli-test-XXXXXX";
    base_ = ::mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(base_); }
  std::string base_;
};

TEST_F(MachineCli, InfoInitialisesANewFolderAsWindows10Pro) {
  const CliRun r = zorel(base_ + "/new", "machine info");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Windows 10 Pro"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("10.0.19045"), std::string::npos);
  EXPECT_NE(r.out.find("64-bit"), std::string::npos);
  EXPECT_NE(r.out.find("en-US"), std::string::npos);
  EXPECT_NE(r.out.find("C:\\Program Files (x86)"), std::string::npos);
  EXPECT_NE(r.out.find("Registry size:"), std::string::npos);
  EXPECT_TRUE(fs::exists(base_ + "/new/.zorel-machine"));
}

TEST_F(MachineCli, InfoWithWin7ImageAnswersWindows7HomePremiumSp1) {
  const CliRun r = zorel(base_ + "/w7", "machine info --image win7-sp1");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Windows 7 Home Premium"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("6.1.7601 Service Pack 1"), std::string::npos);
  EXPECT_NE(r.out.find("64-bit"), std::string::npos);
}

// What the installer leaves in %APPDATA%\prynesecurity\zorel\Resource\ and
// where the build puts each file beside the program.
struct ProgramFile {
  const char* installed;  // below Resource/
  const char* built;      // below the build folder
};
constexpr ProgramFile kProgramFiles[] = {
    {"Scripts/preinstall.enc", "src/cli/preinstall.enc"},  // the sealed sample
    {"UI/en-us/landing.html", "src/cli/ui/landing.html"},  // the window's page
    {"UI/en-us/landing.css", "src/cli/ui/landing.css"},
    {"UI/en-us/landing.js", "src/cli/ui/landing.js"},
    {"UI/en-us/zorel.svg", "src/cli/ui/zorel.svg"},
};

TEST_F(MachineCli, InitIsIdempotentAndResetSwitchesImage) {
  EXPECT_EQ(zorel(base_ + "/m", "machine init").status, 0);
  const std::string resource = base_ + "/m/drive_c/Users/User/AppData/Roaming/prynesecurity/zorel/Resource/";
  for (const ProgramFile& f : kProgramFiles) {
    SCOPED_TRACE(f.installed);
    const std::string built = fileText(ZOREL_BINARY_DIR "/" + std::string(f.built));
    EXPECT_FALSE(built.empty());
    EXPECT_TRUE(fileText(resource + f.installed) == built) << "differs from the build's copy";
  }
  EXPECT_TRUE(fileText(resource + "UI/en-us/landing.js") == fileText(ZOREL_SOURCE_DIR "/ui/landing.js"))
      << "the build's copy of ui/landing.js is out of date";

  // A machine keeps its own copies until it is made again.
  std::ofstream(resource + "UI/en-us/landing.html") << "edited";
  const CliRun again = zorel(base_ + "/m", "machine init --image win7-sp1");
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("nothing changed"), std::string::npos) << again.out;
  EXPECT_EQ(fileText(resource + "UI/en-us/landing.html"), "edited");
  EXPECT_EQ(zorel(base_ + "/m", "machine reset --image win7-sp1").status, 0);
  EXPECT_NE(zorel(base_ + "/m", "machine info").out.find("Windows 7"), std::string::npos);
  EXPECT_TRUE(fileText(resource + "UI/en-us/landing.html") == fileText(ZOREL_SOURCE_DIR "/ui/landing.html"))
      << "reset did not install the page again";
}

TEST_F(MachineCli, BadInputFailsWithAMessage) {
  CliRun r = zorel(base_ + "/m", "machine init --image nope");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("nope"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(base_ + "/m"));
  EXPECT_EQ(zorel(base_ + "/m", "machine frobnicate").status, 1);
  EXPECT_EQ(zorel(base_ + "/m", "machine init --image").status, 1);
  fs::create_directories(base_ + "/busy");
  std::FILE* f = std::fopen((base_ + "/busy/file").c_str(), "w");
  std::fclose(f);
  r = zorel(base_ + "/busy", "machine reset");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(fs::exists(base_ + "/busy/file"));
}

}  // namespace
