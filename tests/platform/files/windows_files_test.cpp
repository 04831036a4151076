// File calls on Windows paths of a machine (files.h): pipes, devices and
// folders are refused at once, full path names are resolved as text, and
// removal never follows a link, removes a device or empties a drive.

#include "zorel/platform/fs/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "../machine/temp_machine.h"
#include "zorel/platform/machine/machine.h"

namespace zorel::platform {
namespace {

namespace fs = std::filesystem;

class WindowsFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new testing::TempMachine();
    setCurrentMachine(machine_->release());
  }
  static void TearDownTestSuite() {
    setCurrentMachine(nullptr);
    delete machine_;
  }
  void SetUp() override {
    dir_ = machine_->root() + "/drive_c/T";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    put("plain.txt", "plain");
    ASSERT_EQ(::mkfifo((dir_ + "/pipe").c_str(), 0600), 0);
  }
  void TearDown() override {
    // A call that waits on the pipe would be let go by its other end.
    int fd = ::open((dir_ + "/pipe").c_str(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }
  void put(const std::string& relative, const std::string& bytes) {
    fs::create_directories(fs::path(dir_ + "/" + relative).parent_path());
    std::ofstream(dir_ + "/" + relative, std::ios::binary) << bytes;
  }
  std::string get(const std::string& relative) {
    std::ifstream in(dir_ + "/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static testing::TempMachine* machine_;
  std::string dir_;  // C:\T
};

testing::TempMachine* WindowsFiles::machine_ = nullptr;

TEST_F(WindowsFiles, PipesDevicesAndFoldersAreRefusedAtOnce) {
  using Call = std::function<WinError(const std::wstring&)>;
  std::string bytes;
  uint64_t size = 0;
  const struct {
    const char* name;
    Call call;
  } calls[] = {
      {"readFile", [&](const std::wstring& p) { return files::readFile(p, bytes, 1 << 20); }},
      {"writeFile", [](const std::wstring& p) { return files::writeFile(p, "x"); }},
      {"appendToFile", [](const std::wstring& p) { return files::appendToFile(p, "x"); }},
      {"replaceFileContents", [](const std::wstring& p) { return files::replaceFileContents(p, "x"); }},
      {"fileSize", [&](const std::wstring& p) { return files::fileSize(p, size); }},
      {"copyFrom", [](const std::wstring& p) { return files::copyFile(p, L"C:\\T\\copy", false); }},
      {"copyOnto", [](const std::wstring& p) { return files::copyFile(L"C:\\T\\plain.txt", p, false); }},
  };
  for (const wchar_t* path : {L"C:\\T\\pipe", L"Z:\\dev\\zero", L"C:\\T"}) {
    for (const auto& c : calls) {
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(c.call(path), ERROR_ACCESS_DENIED) << c.name << " " << fs::path(path).string();
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
    }
  }
  EXPECT_FALSE(fs::exists(dir_ + "/copy"));
  EXPECT_EQ(get("plain.txt"), "plain");
  // Deletion refuses a pipe as it refuses a device; it stays.
  EXPECT_EQ(files::deleteFile(L"C:\\T\\pipe"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_fifo(dir_ + "/pipe"));
  FileType type = FileType::kMissing;
  EXPECT_EQ(files::fileType(L"Z:\\dev\\zero", type), 0);
  EXPECT_EQ(type, FileType::kSpecial);
}

TEST_F(WindowsFiles, RegularFilesReadWriteAppendAndReplace) {
  std::string bytes;
  EXPECT_EQ(files::writeFile(L"C:\\t\\NEW.txt", "one"), 0);  // a new file keeps the name given
  EXPECT_EQ(files::appendToFile(L"C:\\T\\new.txt", " two"), 0);
  EXPECT_EQ(files::readFile(L"C:\\T\\new.txt", bytes, 100), 0);
  EXPECT_EQ(bytes, "one two");
  EXPECT_EQ(files::readFile(L"C:\\T\\new.txt", bytes, 3), ERROR_OUTOFMEMORY);
  EXPECT_EQ(files::replaceFileContents(L"C:\\T\\new.txt", "three"), 0);
  EXPECT_EQ(get("NEW.txt"), "three");
  EXPECT_EQ(files::readFile(L"C:\\T\\none.txt", bytes, 100), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(files::writeFile(L"C:\\T\\none\\x.txt", "x"), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(files::moveFile(L"C:\\T\\new.txt", L"C:\\T\\plain.txt"), 0);  // replaces
  EXPECT_EQ(get("plain.txt"), "three");
  EXPECT_EQ(files::moveFile(L"C:\\T\\new.txt", L"C:\\T\\x.txt"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(files::moveFile(L"C:\\T\\no\\new.txt", L"C:\\T\\x.txt"), ERROR_PATH_NOT_FOUND);
}

TEST_F(WindowsFiles, FullPathNamesAreResolvedAsText) {
  const struct {
    const wchar_t* path;
    WinError code;
    const wchar_t* full;
  } cases[] = {
      {L"C:\\a\\b\\..", 0, L"C:\\a"},
      {L"c:/a/./b/", 0, L"c:\\a\\b\\"},
      {L"C:\\..\\..", 0, L"C:\\"},
      {L"C:\\a\\..\\..\\x\\*.TXT", 0, L"C:\\x\\*.TXT"},
      {L"\\\\?\\C:\\a\\..\\b", 0, L"C:\\b"},
      {L"Z:\\dev\\\\zero", 0, L"Z:\\dev\\zero"},
      {L"\\\\server\\share", 53, L""},
      {L"", ERROR_PATH_NOT_FOUND, L""},
  };
  for (const auto& c : cases) {
    std::wstring full;
    EXPECT_EQ(files::fullPathName(c.path, full), c.code) << fs::path(c.path).string();
    if (c.code == 0) {
      EXPECT_EQ(full, c.full) << fs::path(c.path).string();
    }
  }
  for (const wchar_t* root : {L"C:\\", L"c:", L"Z:/", L"C:\\Windows\\.."})
    EXPECT_TRUE(files::isDriveRoot(root)) << fs::path(root).string();
  EXPECT_FALSE(files::isDriveRoot(L"C:\\Windows"));
}

TEST_F(WindowsFiles, RemoveTreeFollowsNoLinkAndLeavesPipes) {
  put("tree/a/b/f.txt", "f");
  put("tree/ro.txt", "r");
  ::chmod((dir_ + "/tree/ro.txt").c_str(), 0444);
  put("outside/keep.txt", "keep");
  fs::create_directory_symlink(dir_ + "/outside", dir_ + "/tree/a/link");
  ASSERT_EQ(::mkfifo((dir_ + "/tree/a/pipe").c_str(), 0600), 0);

  std::vector<files::FolderEntry> entries;
  ASSERT_EQ(files::listFolder(L"C:\\T\\tree\\a", entries), 0);
  std::map<std::wstring, std::pair<FileType, bool>> seen;
  for (const auto& e : entries) seen[e.name] = {e.type, e.link};
  EXPECT_EQ(seen, (std::map<std::wstring, std::pair<FileType, bool>>{
                      {L"b", {FileType::kFolder, false}},
                      {L"link", {FileType::kFolder, true}},
                      {L"pipe", {FileType::kSpecial, false}}}));

  EXPECT_EQ(files::removeTree(L"C:\\T\\tree"), ERROR_ACCESS_DENIED);  // the pipe stays
  EXPECT_TRUE(fs::is_fifo(dir_ + "/tree/a/pipe"));
  EXPECT_FALSE(fs::exists(dir_ + "/tree/a/b"));
  EXPECT_FALSE(fs::exists(dir_ + "/tree/ro.txt"));
  EXPECT_EQ(get("outside/keep.txt"), "keep");
  fs::remove(dir_ + "/tree/a/pipe");
  EXPECT_EQ(files::removeTree(L"C:\\T\\tree"), 0);
  EXPECT_FALSE(fs::exists(dir_ + "/tree"));

  for (const wchar_t* root : {L"C:\\", L"Z:\\", L"C:\\T\\.."}) {
    EXPECT_EQ(files::removeTree(root), ERROR_ACCESS_DENIED) << fs::path(root).string();
    EXPECT_EQ(files::removeDirectory(root), ERROR_ACCESS_DENIED) << fs::path(root).string();
  }
  EXPECT_TRUE(fs::exists(machine_->root() + "/drive_c/Windows"));
}

}  // namespace
}  // namespace zorel::platform
