// File attributes and the Windows file operations on host files.

#include "zorel/platform/fs/file_attributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "zorel/platform/fs/file_ops.h"

namespace zorel::platform {
namespace {

class HostFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zorel_attr_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::permissions(dir_ / "f.txt", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(dir_);
  }
  std::string make(const std::string& name, const std::string& text = "x") {
    std::ofstream((dir_ / name).string()) << text;
    return (dir_ / name).string();
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::filesystem::path dir_;
};

TEST_F(HostFiles, NewFilesAreArchiveFoldersDirectory) {
  uint32_t a = 0xdeadbeef;
  ASSERT_EQ(getFileAttributes(make("f.txt"), a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_EQ(getFileAttributes(dir_.string(), a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(HostFiles, SetAndReadBack) {
  std::string f = make("f.txt");
  ASSERT_EQ(setFileAttributes(f, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), 0);
  uint32_t a = 0;
  ASSERT_EQ(getFileAttributes(f, a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  // Read-only is the owner's write permission.
  ASSERT_EQ(setFileAttributes(f, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), 0);
  struct stat st {};
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0222, 0u);
  ASSERT_EQ(getFileAttributes(f, a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_EQ(setFileAttributes(f, FILE_ATTRIBUTE_NORMAL), 0);
  ASSERT_EQ(getFileAttributes(f, a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_NORMAL);
  ::stat(f.c_str(), &st);
  EXPECT_NE(st.st_mode & S_IWUSR, 0u);
  // A folder keeps read-only as a record only; DIRECTORY cannot be set away.
  ASSERT_EQ(setFileAttributes(dir_.string(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), 0);
  ASSERT_EQ(getFileAttributes(dir_.string(), a), 0);
  EXPECT_EQ(a, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(make("g.txt"), (dir_ / "g.txt").string());  // still writable
}

TEST_F(HostFiles, MissingFileAndMissingFolder) {
  uint32_t a = 0x1234;
  EXPECT_EQ(getFileAttributes((dir_ / "none.txt").string(), a), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(getFileAttributes((dir_ / "no" / "none.txt").string(), a), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(getFileAttributes(make("f.txt") + "/x", a), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(a, 0x1234u);
  EXPECT_EQ(setFileAttributes((dir_ / "none.txt").string(), FILE_ATTRIBUTE_HIDDEN),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(pathFileExists((dir_ / "none.txt").string()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(pathFileExists((dir_ / "no" / "none.txt").string()), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(pathFileExists(dir_.string()), 0);
}

TEST_F(HostFiles, DeleteFileRefusesFoldersAndReadOnlyFiles) {
  std::string f = make("f.txt");
  ASSERT_EQ(setFileAttributes(f, FILE_ATTRIBUTE_READONLY), 0);
  EXPECT_EQ(deleteFile(f), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(std::filesystem::exists(f));
  EXPECT_EQ(deleteFile(dir_.string()), ERROR_ACCESS_DENIED);
  ASSERT_EQ(setFileAttributes(f, FILE_ATTRIBUTE_NORMAL), 0);
  EXPECT_EQ(deleteFile(f), 0);
  EXPECT_EQ(deleteFile(f), ERROR_FILE_NOT_FOUND);
}

TEST_F(HostFiles, RemoveDirectoryOnlyWhenEmpty) {
  std::filesystem::create_directories(dir_ / "sub");
  std::string inner = make("sub/x.txt");
  EXPECT_EQ(removeDirectory((dir_ / "sub").string()), ERROR_DIR_NOT_EMPTY);
  EXPECT_EQ(removeDirectory(inner), ERROR_DIRECTORY);
  std::filesystem::remove(inner);
  EXPECT_EQ(removeDirectory((dir_ / "sub").string()), 0);
}

TEST_F(HostFiles, CopyFileOntoItselfKeepsTheData) {
  std::string f = make("f.txt", "precious");
  EXPECT_EQ(copyFile(f, f, false), ERROR_SHARING_VIOLATION);
  std::filesystem::create_hard_link(f, dir_ / "link.txt");
  EXPECT_EQ(copyFile(f, (dir_ / "link.txt").string(), false), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(read(f), "precious");
  std::string g = make("g.txt", "old");
  EXPECT_EQ(copyFile(f, g, true), ERROR_FILE_EXISTS);
  EXPECT_EQ(copyFile(f, g, false), 0);
  EXPECT_EQ(read(g), "precious");
  EXPECT_EQ(copyFile(dir_.string(), g, false), ERROR_ACCESS_DENIED);
  EXPECT_EQ(copyFile((dir_ / "none").string(), g, false), ERROR_FILE_NOT_FOUND);
}

TEST_F(HostFiles, FileTimes) {
  std::string f = make("f.txt");
  std::filesystem::last_write_time(f, std::filesystem::file_time_type::clock::now() -
                                          std::chrono::hours(48));
  FileTimes t;
  ASSERT_EQ(getFileTimes(f, t), 0);
  EXPECT_LT(t.lastWrite, ::time(nullptr) - 47 * 3600);
  EXPECT_GT(t.creation, 0);
  EXPECT_EQ(getFileTimes((dir_ / "none").string(), t), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace zorel::platform
