// Folder searches by name pattern and read-only files at offsets, on a
// fresh machine: the entries and codes FindFirstFileW/FindNextFileW give,
// 64-bit sizes, and files that are not regular refused without waiting.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../machine/temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/find_files.h"
#include "zorel/platform/fs/read_only_file.h"
#include "zorel/platform/machine/paths.h"

namespace {

namespace fs = std::filesystem;
using namespace zorel::platform;

constexpr uint64_t kBig = (5ull << 30) + 7;  // a sparse file past 4 GiB

class FolderSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = machine_.root() + "/drive_c/ProgramData/FT";
    fs::create_directories(folder_ + "/ovehidinX.log");
    std::ofstream(folder_ + "/ovehidin1.log") << "12345";
    std::ofstream(folder_ + "/OVEHIDIN2.LOG") << "";
    std::ofstream(folder_ + "/other.txt") << "x";
    std::ofstream(folder_ + "/noext") << "y";
    {
      std::ofstream big(folder_ + "/ovehidin-big.log");
    }
    fs::resize_file(folder_ + "/ovehidin-big.log", kBig);
    ::mkfifo((folder_ + "/pipe.log").c_str(), 0644);
  }

  // Every entry a search gives, by name: attributes and size.
  std::map<std::wstring, std::pair<uint32_t, uint64_t>> Search(const std::wstring& pattern,
                                                               WinError* code) {
    std::map<std::wstring, std::pair<uint32_t, uint64_t>> found;
    std::unique_ptr<IFileFind> find;
    FindData data;
    data.name = L"untouched";
    *code = findFirstFile(machine_->paths(), pattern, &find, data);
    if (*code != ERROR_SUCCESS) {
      EXPECT_EQ(find, nullptr);
      EXPECT_EQ(data.name, L"untouched");
      return found;
    }
    do {
      EXPECT_TRUE(found.emplace(data.name, std::make_pair(data.attributes, data.size)).second);
    } while (find->next(data) == ERROR_SUCCESS);
    EXPECT_EQ(find->next(data), ERROR_NO_MORE_FILES);
    return found;
  }

  zorel::testing::TempMachine machine_;
  std::string folder_;
};

TEST_F(FolderSearch, EntriesAndCodesFollowWindows) {
  using Found = std::map<std::wstring, std::pair<uint32_t, uint64_t>>;
  const Found logs = {{L"ovehidin1.log", {0x20, 5}},
                      {L"OVEHIDIN2.LOG", {0x20, 0}},
                      {L"ovehidin-big.log", {0x20, kBig}},
                      {L"ovehidinX.log", {0x10, 0}}};
  struct Case {
    const char* what;
    std::wstring pattern;
    WinError code;
    size_t count;  // entries expected (when not checked one by one)
  };
  const Case cases[] = {
      {"prefix, any case", L"C:\\PROGRAMDATA\\ft\\ovehidin*.log", 0, 4},
      {"everything, no dot entries", L"C:\\ProgramData\\FT\\*", 0, 7},
      {"star-dot-star matches a name without a dot", L"C:/ProgramData/FT/*.*", 0, 7},
      {"one character", L"C:\\ProgramData\\FT\\ovehidin?.log", 0, 3},
      {"no match in an existing folder", L"C:\\ProgramData\\FT\\none*.log", ERROR_FILE_NOT_FOUND, 0},
      {"a name without wildcards", L"C:\\ProgramData\\FT\\other.txt", 0, 1},
      {"missing folder", L"C:\\ProgramData\\Missing\\*.log", ERROR_PATH_NOT_FOUND, 0},
      {"a file as folder", L"C:\\ProgramData\\FT\\other.txt\\*", ERROR_PATH_NOT_FOUND, 0},
      {"wildcard in the folder", L"C:\\ProgramData\\F?\\*.log", ERROR_INVALID_NAME, 0},
      {"ends in a separator", L"C:\\ProgramData\\FT\\", ERROR_FILE_NOT_FOUND, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WinError code = -1;
    const Found found = Search(c.pattern, &code);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(found.size(), c.count);
    EXPECT_EQ(found.count(L"."), 0u);
    EXPECT_EQ(found.count(L".."), 0u);
  }
  WinError code = -1;
  EXPECT_EQ(Search(L"C:\\ProgramData\\FT\\ovehidin*.log", &code), logs);
}

TEST_F(FolderSearch, EntriesComeInTheHostsOrder) {
  std::vector<std::wstring> host;
  for (const auto& entry : fs::directory_iterator(folder_))
    host.push_back(zorel::fromUtf8(entry.path().filename().string()));
  std::vector<std::wstring> listed;
  std::unique_ptr<IFileFind> find;
  FindData data;
  ASSERT_EQ(findFirstFile(machine_->paths(), L"C:\\ProgramData\\FT\\*", &find, data), 0);
  do listed.push_back(data.name);
  while (find->next(data) == ERROR_SUCCESS);
  EXPECT_EQ(listed, host);
}

TEST_F(FolderSearch, ReadOnlyFilesReadAtAnyOffset) {
  std::unique_ptr<IReadOnlyFile> file;
  ASSERT_EQ(openReadOnlyFile(machine_->paths(), L"C:\\ProgramData\\FT\\OVEHIDIN-BIG.LOG", &file), 0);
  EXPECT_EQ(file->size(), kBig);
  char bytes[16];
  uint32_t got = 99;
  ASSERT_EQ(file->readAt(kBig - 3, bytes, sizeof bytes, &got), 0);
  EXPECT_EQ(got, 3u);
  ASSERT_EQ(file->readAt(kBig + 100, bytes, sizeof bytes, &got), 0);
  EXPECT_EQ(got, 0u);
  ASSERT_EQ(openReadOnlyFile(machine_->paths(), L"C:\\ProgramData\\FT\\ovehidin1.log", &file), 0);
  ASSERT_EQ(file->readAt(1, bytes, 3, &got), 0);
  EXPECT_EQ(std::string(bytes, got), "234");

  const std::pair<const wchar_t*, WinError> refused[] = {
      {L"C:\\ProgramData\\FT\\ovehidinX.log", ERROR_ACCESS_DENIED},  // a folder
      {L"C:\\ProgramData\\FT\\pipe.log", ERROR_ACCESS_DENIED},       // no writer: must not wait
      {L"C:\\ProgramData\\FT\\none.log", ERROR_FILE_NOT_FOUND},
      {L"C:\\ProgramData\\Missing\\none.log", ERROR_PATH_NOT_FOUND},
      {L"Z:\\dev\\zero", ERROR_ACCESS_DENIED},
  };
  for (const auto& [path, code] : refused) {
    SCOPED_TRACE(zorel::toUtf8(path));
    std::unique_ptr<IReadOnlyFile> none;
    EXPECT_EQ(openReadOnlyFile(machine_->paths(), path, &none), code);
    EXPECT_EQ(none, nullptr);
  }
}

}  // namespace
