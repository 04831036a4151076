// create, createCopy, findAndReplaceContent and extractCompressedFile.

#include <gtest/gtest.h>

#include "file_fixture.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/fs/file_attributes.h"

namespace zorel::test {
namespace {

const std::wstring kDocs = L"C:\\Users\\User\\Documents";

TEST_F(FilePluginTest, CreateWritesAndRefusesToOverwrite) {
  Use(kDocs, L"new.txt");
  Json::Value r = Call("create", {L"caf\u00e9 \u4e2d\u6587", L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDocs + L"\\new.txt"), "caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87");
  EXPECT_EQ(LastRow().input, L"{\"filename\":\"new.txt\",\"foldername\":\"C:\\Users\\User\\Documents\","
                             L"\"filecontent\":\"caf\u00e9 \u4e2d\u6587\",\"overwriteexistingfile\":\"False\"}");
  r = Call("create", {L"other", L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 30057);
  EXPECT_EQ(Read(kDocs + L"\\new.txt"), "caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87");
  EXPECT_TRUE(Logged("File C:\\Users\\User\\Documents\\new.txt already exists"));
  EXPECT_EQ(Call("create", {L"other", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDocs + L"\\new.txt"), "other");
  // Middle arguments are ignored; the last one is the overwrite flag.
  EXPECT_EQ(Call("create", {L"third", L"ignored", L"TRUE"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDocs + L"\\new.txt"), "third");
}

TEST_F(FilePluginTest, CreateArgumentAndFolderErrors) {
  Use(kDocs, L"x.txt");
  EXPECT_EQ(Call("create", {L"only content"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Invalid parameter passed to file create"));
  Use(L"", L"x.txt");
  EXPECT_EQ(Call("create", {L"c", L"true"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("File-Name, Folder-Name can't be empty"));
  Use(L"C:\\No\\Such", L"x.txt");
  EXPECT_EQ(Call("create", {L"c", L"true"})["errorcode"].asInt(), 3);
  EXPECT_TRUE(Logged("Folder C:\\No\\Such does not exist"));
  // A read-only file is not overwritten, even for a root process.
  Write(kDocs + L"\\ro.txt", "keep");
  platform::setFileAttributes(Host(kDocs + L"\\ro.txt"), platform::FILE_ATTRIBUTE_READONLY);
  Use(kDocs, L"ro.txt");
  EXPECT_EQ(Call("create", {L"c", L"true"})["errorcode"].asInt(), 5);
  EXPECT_EQ(Read(kDocs + L"\\ro.txt"), "keep");
  platform::setFileAttributes(Host(kDocs + L"\\ro.txt"), platform::FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilePluginTest, CreateCopy) {
  Write(kDocs + L"\\src.bin", std::string("\0\1\2binary", 9));
  Json::Value r = Call("createCopy", {kDocs + L"\\src.bin", L"C:\\ProgramData\\copy.bin"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(L"C:\\ProgramData\\copy.bin"), std::string("\0\1\2binary", 9));
  EXPECT_EQ(LastRow().input, L"{\"SourcePath\":\"C:\\Users\\User\\Documents\\src.bin\","
                             L"\"DestinationePath\":\"C:\\ProgramData\\copy.bin\"}");
  EXPECT_EQ(Call("createCopy", {kDocs + L"\\none", L"C:\\x"})["errorcode"].asInt(), 3);
  EXPECT_TRUE(Logged("Source file not found. Path : C:\\Users\\User\\Documents\\none"));
  EXPECT_EQ(Call("createCopy", {kDocs + L"\\src.bin"})["errorcode"].asInt(), 87);
  EXPECT_EQ(Call("createCopy", {L"", L"C:\\x"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Sourec file name and destination file name can't be empty"));
  // Onto itself: refused, and the file keeps its bytes.
  EXPECT_EQ(Call("createCopy", {kDocs + L"\\src.bin", kDocs + L"\\SRC.bin"})["errorcode"].asInt(), 32);
  EXPECT_EQ(Read(kDocs + L"\\src.bin").size(), 9u);
  EXPECT_EQ(Call("createCopy", {kDocs + L"\\src.bin", L"C:\\No\\Folder\\x"})["errorcode"].asInt(), 3);
}

TEST_F(FilePluginTest, ReplaceModeReplacesEveryOccurrenceIgnoringCase) {
  Write(kDocs + L"\\h.txt", "host host");
  Use(kDocs, L"h.txt");
  Json::Value r = Call("findAndReplaceContent", {L"Host", L"#host", L"false"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDocs + L"\\h.txt"), "#host #host");
  EXPECT_EQ(LastRow().input, L"{\"foldername\":\"C:\\Users\\User\\Documents\",\"filename\":\"h.txt\","
                             L"\"findstring\":\"Host\",\"prependorreplacestring\":\"#host\","
                             L"\"replaceentiresting\":\"False\"}");
  // No overlap: "aaaa" with "aa" is two matches.
  Write(kDocs + L"\\o.txt", "aaaa");
  Use(kDocs, L"o.txt");
  Call("findAndReplaceContent", {L"AA", L"b", L"false"});
  EXPECT_EQ(Read(kDocs + L"\\o.txt"), "bb");
  // No match: answered 0, the file is not rewritten.
  auto before = std::filesystem::last_write_time(Host(kDocs + L"\\o.txt"));
  EXPECT_EQ(Call("findAndReplaceContent", {L"zzz", L"y", L"false"})["errorcode"].asInt(), 0);
  EXPECT_EQ(std::filesystem::last_write_time(Host(kDocs + L"\\o.txt")), before);
}

TEST_F(FilePluginTest, ReplaceModeKeepsOtherBytes) {
  std::string original =
      std::string("\xff\xfe" "caf\xc3\xa9\r\n") + std::string(1, '\0') + "NUL\x80 Host\r\nend";
  Write(kDocs + L"\\m.txt", original);
  Use(kDocs, L"m.txt");
  EXPECT_EQ(Call("findAndReplaceContent", {L"host", L"\u00e9t\u00e9", L"false"})["errorcode"].asInt(), 0);
  std::string expected = original;
  expected.replace(expected.find("Host"), 4, "\xc3\xa9t\xc3\xa9");
  EXPECT_EQ(Read(kDocs + L"\\m.txt"), expected);
}

TEST_F(FilePluginTest, WholeLineModePrefixesMatchingLines) {
  Write(kDocs + L"\\hosts", "1.2.3.4 example\n5.6.7.8 other\n");
  Use(kDocs, L"hosts");
  Json::Value r = Call("findAndReplaceContent", {L"example", L"#", L"true"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  // Every other byte, the last line end included, stays as it was.
  EXPECT_EQ(Read(kDocs + L"\\hosts"), "#1.2.3.4 example\n5.6.7.8 other\n");
  EXPECT_NE(LastRow().input.find(L",\"replaceentiresting\":\"True\"}"), std::wstring::npos);
}

TEST_F(FilePluginTest, WholeLineModeHandlesLongLinesCrLfAndNoFinalLineEnd) {
  const std::string longLine(100000, 'x');
  std::string text = longLine + " EXAMPLE\r\nshort\r\n" + longLine + "\nlast example";
  Write(kDocs + L"\\long.txt", text);
  Use(kDocs, L"long.txt");
  EXPECT_EQ(Call("findAndReplaceContent", {L"example", L"# ", L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(kDocs + L"\\long.txt"),
            "# " + longLine + " EXAMPLE\r\nshort\r\n" + longLine + "\n# last example");
}

TEST_F(FilePluginTest, FindAndReplaceArgumentErrors) {
  Write(kDocs + L"\\f.txt", "abc");
  Use(kDocs, L"f.txt");
  EXPECT_EQ(Call("findAndReplaceContent", {L"a", L"b"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Invalid parameter passed - Replace File Content API"));
  EXPECT_EQ(Call("findAndReplaceContent", {L"", L"b", L"false"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("File-Name, Folder-Name, String to find and String to replace, can't be empty"));
  Use(kDocs, L"none.txt");
  EXPECT_EQ(Call("findAndReplaceContent", {L"a", L"b", L"false"})["errorcode"].asInt(), 2);
  EXPECT_TRUE(Logged("File C:\\Users\\User\\Documents//none.txt not found"));
  // A read-only file cannot be rewritten: the real code, never success.
  platform::setFileAttributes(Host(kDocs + L"\\f.txt"), platform::FILE_ATTRIBUTE_READONLY);
  Use(kDocs, L"f.txt");
  EXPECT_EQ(Call("findAndReplaceContent", {L"a", L"b", L"false"})["errorcode"].asInt(), 5);
  EXPECT_TRUE(Logged("Error occured while replacing content in file"));
  EXPECT_EQ(Read(kDocs + L"\\f.txt"), "abc");
  platform::setFileAttributes(Host(kDocs + L"\\f.txt"), platform::FILE_ATTRIBUTE_NORMAL);
  // Attributes survive a rewrite.
  platform::setFileAttributes(Host(kDocs + L"\\f.txt"), platform::FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(Call("findAndReplaceContent", {L"a", L"b", L"false"})["errorcode"].asInt(), 0);
  uint32_t attributes = 0;
  platform::getFileAttributes(Host(kDocs + L"\\f.txt"), attributes);
  EXPECT_EQ(attributes, platform::FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(FilePluginTest, ExtractCompressedFile) {
  Write(L"C:\\Pack\\a.txt", "alpha");
  Write(L"C:\\Pack\\sub\\b.txt", "beta");
  CabinetUtility cab;
  MakeFolder(L"C:\\Temp");
  cab.SetTarget(fromUtf8(Host(L"C:\\Temp") + "/DATA.cab"));
  ASSERT_TRUE(cab.AddFolder(fromUtf8(Host(L"C:\\Pack")), L"Pack"));
  ASSERT_TRUE(cab.Compress());
  Json::Value r = Call("extractCompressedFile", {L"C:\\Temp\\DATA.CAB", L"C:\\Out"});
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(L"C:\\Out\\Pack\\sub\\b.txt"), "beta");
  EXPECT_EQ(LastRow().input, L"{\"SourcePath\":\"C:\\Temp\\DATA.CAB\",\"DestinationePath\":\"C:\\Out\"}");
  // Not a cabinet by name: answered 0, nothing extracted.
  Write(L"C:\\Temp\\data.ZIP", "PK\3\4");
  EXPECT_EQ(Call("extractCompressedFile", {L"C:\\Temp\\data.ZIP", L"C:\\Out2"})["errorcode"].asInt(), 0);
  EXPECT_FALSE(Exists(L"C:\\Out2"));
  // A damaged cabinet fails with 20016.
  Write(L"C:\\Temp\\bad.cab", "MSCF garbage");
  EXPECT_EQ(Call("extractCompressedFile", {L"C:\\Temp\\bad.cab", L"C:\\Out3"})["errorcode"].asInt(), 20016);
  EXPECT_TRUE(Logged("Failed in decompression of downloaded file"));
  EXPECT_EQ(Call("extractCompressedFile", {L"C:\\Temp\\none.cab", L"C:\\Out"})["errorcode"].asInt(), 3);
  EXPECT_EQ(Call("extractCompressedFile", {L"C:\\Temp\\none.cab"})["errorcode"].asInt(), 87);
  EXPECT_TRUE(Logged("Invalid parameter passed to extract file"));
}

}  // namespace
}  // namespace zorel::test
