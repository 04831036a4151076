// removeFile and collectFileInfo: the pattern walk, deletion rules, the CSV
// lines and their version fields.

#include <gtest/gtest.h>

#include <sstream>

#include "../../platform/files/pe_builder.h"
#include "file_fixture.h"
#include "zorel/platform/fs/file_attributes.h"

namespace zorel::test {
namespace {

const std::wstring kLogs = L"C:\\ProgramData\\Vendor\\Logs";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class FileSearchTest : public FilePluginTest {
 protected:
  std::string Csv(const std::string& name = "Common.csv") {
    std::ifstream in(storeFolder_ + "/collection/FileVersion/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(FileSearchTest, RemoveFileWithNothingToDeleteAnswersZero) {
  Write(kLogs + L"\\a.txt", "a");
  Use(kLogs, L"*.log");
  Json::Value r = Call("removeFile", {L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(file_->matchFlag, 0);
  OperationRow row = LastRow();
  EXPECT_EQ(row.type, 1);
  EXPECT_EQ(row.input, L"{\"foldername\":\"C:\\ProgramData\\Vendor\\Logs\",\"filename\":\"*.log\","
                       L"\"isrecursive\":\"False\"}");
  EXPECT_TRUE(Exists(kLogs + L"\\a.txt"));
}

TEST_F(FileSearchTest, RemoveFileOnAFolderPath) {
  MakeFolder(kLogs + L"\\Old");
  Use(kLogs, L"Old");
  EXPECT_EQ(Call("removeFile", {L"true"})["errorcode"].asInt(), 20002);
  EXPECT_TRUE(Logged("File path [ C:\\ProgramData\\Vendor\\Logs//Old ] to remove file is a directory"));
  EXPECT_TRUE(Exists(kLogs + L"\\Old"));
  Use(L"", L"*.log");
  EXPECT_EQ(Call("removeFile", {L"true"})["errorcode"].asInt(), 87);
}

TEST_F(FileSearchTest, RemoveFileRecursiveKeepsTheRootAndNonEmptyFolders) {
  Write(kLogs + L"\\a.LOG", "a");
  Write(kLogs + L"\\keep.txt", "k");
  Write(kLogs + L"\\one\\b.log", "b");
  Write(kLogs + L"\\one\\two\\c.log", "c");
  Write(kLogs + L"\\other\\d.log", "d");
  Write(kLogs + L"\\other\\stay.txt", "s");
  Use(kLogs, L"*.log");
  Json::Value r = Call("removeFile", {L"true"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(file_->matchFlag, 1);
  EXPECT_FALSE(Exists(kLogs + L"\\a.LOG"));
  EXPECT_FALSE(Exists(kLogs + L"\\one"));   // left empty, removed
  EXPECT_TRUE(Exists(kLogs + L"\\other\\stay.txt"));
  EXPECT_FALSE(Exists(kLogs + L"\\other\\d.log"));
  EXPECT_TRUE(Exists(kLogs + L"\\keep.txt"));
  EXPECT_TRUE(Exists(kLogs));               // the root stays
}

TEST_F(FileSearchTest, RemoveFileNotRecursiveAndWildcards) {
  Write(kLogs + L"\\a1.log", "a");
  Write(kLogs + L"\\a22.log", "a");
  Write(kLogs + L"\\sub\\a3.log", "a");
  Use(kLogs, L"a?.log");
  EXPECT_EQ(Call("removeFile", {L"false"})["errorcode"].asInt(), 0);
  EXPECT_FALSE(Exists(kLogs + L"\\a1.log"));
  EXPECT_TRUE(Exists(kLogs + L"\\a22.log"));
  EXPECT_TRUE(Exists(kLogs + L"\\sub\\a3.log"));
  EXPECT_EQ(Call("removeFile")["errorcode"].asInt(), 87);
}

TEST_F(FileSearchTest, RemoveFileProtectedFilesCountAsDone) {
  Write(kLogs + L"\\ro.log", "r");
  platform::setFileAttributes(Host(kLogs + L"\\ro.log"), platform::FILE_ATTRIBUTE_READONLY);
  Use(kLogs, L"*.log");
  EXPECT_EQ(Call("removeFile", {L"false"})["errorcode"].asInt(), 0);
  EXPECT_TRUE(Exists(kLogs + L"\\ro.log"));
  platform::setFileAttributes(Host(kLogs + L"\\ro.log"), platform::FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileSearchTest, RemoveFileDoesNotFollowLinksOrEmptyADrive) {
  Write(L"C:\\Keep\\x.log", "p");
  MakeFolder(kLogs);
  std::filesystem::create_directory_symlink(Host(L"C:\\Keep"), Host(kLogs) + "/link");
  Use(kLogs, L"*.log");
  EXPECT_EQ(Call("removeFile", {L"true"})["errorcode"].asInt(), 0);
  EXPECT_TRUE(Exists(L"C:\\Keep\\x.log"));
  Use(L"Z:\\", L"*.zorel-never");
  EXPECT_EQ(Call("removeFile", {L"true"})["errorcode"].asInt(), 5);
}

TEST_F(FileSearchTest, CollectFileInfoLinesAndAppending) {
  Write(kLogs + L"\\plain.txt", "p");
  testing::Bytes image = testing::sampleVersionedImage();
  Write(kLogs + L"\\tool.exe", std::string(image.begin(), image.end()));
  platform::setFileAttributes(Host(kLogs + L"\\plain.txt"),
                              platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_ARCHIVE);
  Use(kLogs, L"*.*");
  Json::Value r = Call("collectFileInfo", {L"", L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  std::vector<std::string> lines = Lines(Csv());
  ASSERT_EQ(lines.size(), 2u);
  std::sort(lines.begin(), lines.end());
  // path, three times, attribute letters, then the version fields.
  EXPECT_EQ(lines[0].rfind("C:\\ProgramData\\Vendor\\Logs//plain.txt,", 0), 0u) << lines[0];
  EXPECT_TRUE(EndsWith(lines[0], ",HA,,,,,,,")) << lines[0];
  EXPECT_TRUE(EndsWith(lines[1], ",A,\"1.2.3.4\",\"5.6\",\"Sample tool\",\"Sample\",,,,")) << lines[1];
  // Each time: "MM/DD/YYYY  HH:MM".
  std::string times = lines[0].substr(lines[0].find(',') + 1, 3 * 18);
  EXPECT_EQ(times[2], '/');
  EXPECT_EQ(times.substr(10, 2), "  ");
  EXPECT_EQ(times[17], ',');
  OperationRow row = LastRow();
  EXPECT_EQ(row.type, 2);
  EXPECT_EQ(row.input, L"{\"foldername\":\"C:\\ProgramData\\Vendor\\Logs\",\"filename\":\"*.*\","
                       L"\"outputfilename\":\"\",\"isrecursive\":\"False\"}");
  // A second call appends.
  Use(kLogs, L"plain.txt");
  EXPECT_EQ(Call("collectFileInfo", {L"", L"false", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Lines(Csv()).size(), 3u);
  EXPECT_NE(LastRow().input.find(L"\"ismerfilter\":\"True\"}"), std::wstring::npos);
}

TEST_F(FileSearchTest, CollectFileInfoFirstTranslationWithFileVersionWins) {
  testing::Bytes version = testing::versionInfo(
      {{u"040704B0", {{u"ProductName", u"Nur Name"}}},
       {u"040904B0", {{u"FileVersion", u"9.9"}, {u"Comments", u"c"}, {u"SpecialBuild", u"s"}}}},
      {{0x0407, 0x04B0}, {0x0409, 0x04B0}});
  testing::Bytes image = testing::peImage(&version);
  Write(kLogs + L"\\two.dll", std::string(image.begin(), image.end()));
  Use(kLogs, L"two.dll");
  EXPECT_EQ(Call("collectFileInfo", {L"v.csv", L"false"})["errorcode"].asInt(), 0);
  std::string line = Lines(Csv("v.csv")).at(0);
  EXPECT_TRUE(EndsWith(line, ",\"9.9\",,,,\"c\",,\"s\",")) << line;
}

TEST_F(FileSearchTest, CollectFileInfoRecursionAndSystemFolders) {
  Write(L"C:\\Win\\a.txt", "a");
  Write(L"C:\\Win\\$NtUninstallKB1$\\b.txt", "b");
  Write(L"C:\\Win\\System32\\dllcache\\c.txt", "c");
  Write(L"C:\\Win\\System32\\d.txt", "d");
  Write(L"C:\\Win\\I386\\e.txt", "e");
  Use(L"C:\\Win", L"*.txt");
  EXPECT_EQ(Call("collectFileInfo", {L"f.csv", L"true", L"true"})["errorcode"].asInt(), 0);
  std::string csv = Csv("f.csv");
  EXPECT_EQ(Lines(csv).size(), 2u) << csv;
  EXPECT_NE(csv.find("C:\\Win\\System32//d.txt,"), std::string::npos);
  EXPECT_EQ(csv.find("b.txt"), std::string::npos);
  EXPECT_EQ(Call("collectFileInfo", {L"g.csv", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Lines(Csv("g.csv")).size(), 5u);
  EXPECT_EQ(Call("collectFileInfo", {L"h.csv", L"false"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Lines(Csv("h.csv")).size(), 1u);
}

TEST_F(FileSearchTest, CollectFileInfoFailures) {
  Use(kLogs, L"*.none");
  MakeFolder(kLogs);
  EXPECT_EQ(Call("collectFileInfo", {L"", L"false"})["errorcode"].asInt(), 20016);  // no match
  EXPECT_EQ(Call("collectFileInfo", {L""})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Invalid parameter passed to file collection"));
  Use(kLogs, L"");
  EXPECT_EQ(Call("collectFileInfo", {L"", L"false"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("File-Name and Folder-Name can't be empty"));
  // The CSV file stays in the collection folder.
  Write(kLogs + L"\\x.txt", "x");
  Use(kLogs, L"x.txt");
  EXPECT_EQ(Call("collectFileInfo", {L"..\\..\\..\\evil.csv", L"false"})["errorcode"].asInt(), 123);
  EXPECT_TRUE(Logged("Failed to open a .csv file"));
  EXPECT_FALSE(std::filesystem::exists(storeFolder_ + "/evil.csv"));
  // Folders are never described, whatever their attributes.
  MakeFolder(kLogs + L"\\x.dir");
  platform::setFileAttributes(Host(kLogs + L"\\x.dir"), platform::FILE_ATTRIBUTE_HIDDEN);
  Use(kLogs, L"x.*");
  EXPECT_EQ(Call("collectFileInfo", {L"d.csv", L"false"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Lines(Csv("d.csv")).size(), 1u);
}

}  // namespace
}  // namespace zorel::test
