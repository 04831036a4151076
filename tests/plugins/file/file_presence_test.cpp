// Presence tests, file and disk information, the regular-expression search,
// folder removal and renaming, through the plug-in with a real store.

#include <gtest/gtest.h>

#include "file_fixture.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/plugins/common/error_messages.h"

namespace zorel::test {
namespace {

const std::wstring kDocs = L"C:\\Users\\User\\Documents";

TEST_F(FilePluginTest, MethodTableAndPropertiesFromConstruction) {
  std::set<std::string> expected = {
      "isFilePresent", "isFolderPresent", "removeFile", "deleteFolder", "renameFile",
      "isRegExExistInFile", "collect", "downloadFile", "getFileInfo", "getDiskInfo",
      "getFolderContents", "collectFileInfo", "findAndReplaceContent", "create", "createCopy",
      "extractCompressedFile"};
  EXPECT_EQ(file_->GetMethodNames(), expected);
  StackFrame args;
  args.AddNamedArguments(R"({"filename":"a.txt","foldername":"%WINDIR%","driveletter":"C"})");
  File made(args);
  EXPECT_EQ(made.filename, L"a.txt");
  EXPECT_EQ(made.foldername, L"C:\\Windows");
  EXPECT_EQ(made.driveletter, L"C");
  made.AssignProperty("errorcode", L"12");
  EXPECT_EQ(made.errorcode, 12);
}

TEST_F(FilePluginTest, IsFilePresentAnswersAndRecords) {
  Use(L"C:\\Windows\\System32\\drivers\\etc", L"HOSTS");  // names ignore case
  Json::Value r = Call("isFilePresent");
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_TRUE(r["return"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  OperationRow row = LastRow();
  EXPECT_EQ(row.api, L"File::isFilePresent");
  EXPECT_EQ(row.component, L"File");
  EXPECT_EQ(row.type, 0);
  EXPECT_EQ(row.problem, 4);
  EXPECT_EQ(row.stage, 101);
  EXPECT_EQ(row.status, 1);
  EXPECT_EQ(row.input,
            L"{\"foldername\":\"C:\\Windows\\System32\\drivers\\etc\",\"filename\":\"HOSTS\"}");

  Use(kDocs, L"none.txt");
  r = Call("isFilePresent");
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_FALSE(r["return"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 2);
  EXPECT_EQ(LastRow().errorString, GetErrorMessage(2));
  EXPECT_TRUE(Logged("File : C:\\Users\\User\\Documents\\none.txt Error : The system cannot find the file specified."));
  Use(kDocs + L"\\nowhere", L"none.txt");
  EXPECT_EQ(Call("isFilePresent")["errorcode"].asInt(), 3);
}

TEST_F(FilePluginTest, IsFilePresentRefusesLongPathsAndEmptyInput) {
  Use(L"C:\\" + std::wstring(300, L'a'), L"x");
  Json::Value r = Call("isFilePresent");
  EXPECT_EQ(r["errorcode"].asInt(), 111);
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(LastRow().status, 0);
  Use(L"", L"x");
  r = Call("isFilePresent");
  EXPECT_EQ(r["errorcode"].asInt(), 87);
  EXPECT_EQ(LastRow().errorString, GetErrorMessage(87));
}

TEST_F(FilePluginTest, IsFolderPresent) {
  Use(L"c:\\program files");
  Json::Value r = Call("isFolderPresent");
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_TRUE(r["return"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(LastRow().input, L"{\"foldername\":\"c:\\program files\"}");
  // A file is not a folder: "return" false, error 2.
  Use(L"C:\\Windows\\System32\\drivers\\etc\\hosts");
  r = Call("isFolderPresent");
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_FALSE(r["return"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 2);
  EXPECT_TRUE(Logged("Folder: C:\\Windows\\System32\\drivers\\etc\\hosts Error : "));
  Use(L"C:\\NoSuchFolder");
  r = Call("isFolderPresent");
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 2);
}

TEST_F(FilePluginTest, GetFileInfoSizesInKilobytes) {
  Write(kDocs + L"\\report.DLL", std::string(5000, 'x'));
  Use(kDocs, L"report.DLL");
  Json::Value r = Call("getFileInfo");
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_FLOAT_EQ(r["size"].asFloat(), 4.8828125f);
  EXPECT_FLOAT_EQ(r["disksize"].asFloat(), 8.0f);
  EXPECT_EQ(r["filetype"].asString(), ".DLL");
  EXPECT_FALSE(r["isreadonly"].asBool());
  EXPECT_GT(r["modifiedtime"].asInt(), 1600000000);
  EXPECT_EQ(r["createdtime"].asInt(), r["modifiedtime"].asInt());

  // Exactly one cluster stays one cluster; an empty file takes none.
  Write(kDocs + L"\\c.bin", std::string(4096, 'x'));
  Use(kDocs, L"c.bin");
  EXPECT_FLOAT_EQ(Call("getFileInfo")["disksize"].asFloat(), 4.0f);
  Write(kDocs + L"\\e", "");
  Use(kDocs, L"e");
  r = Call("getFileInfo");
  EXPECT_FLOAT_EQ(r["disksize"].asFloat(), 0.0f);
  EXPECT_EQ(r["filetype"].asString(), "");
}

TEST_F(FilePluginTest, GetFileInfoOfHugeSparseFileUses64Bits) {
  std::string host = Host(kDocs + L"\\big.img");
  { std::ofstream(host).put('x'); }
  std::filesystem::resize_file(host, (uint64_t{5} << 30) + 1);  // 5 GiB + 1, sparse
  Use(kDocs, L"big.img");
  Json::Value r = Call("getFileInfo");
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_FLOAT_EQ(r["disksize"].asFloat(), 5.0f * 1024 * 1024 + 4);
}

TEST_F(FilePluginTest, GetFileInfoAttributesAndFailures) {
  Write(kDocs + L"\\h.txt", "x");
  ASSERT_EQ(platform::setFileAttributes(Host(kDocs + L"\\h.txt"),
                                        platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_READONLY),
            0);
  Use(kDocs, L"h.txt");
  Json::Value r = Call("getFileInfo");
  EXPECT_TRUE(r["ishidden"].asBool());
  EXPECT_TRUE(r["isreadonly"].asBool());
  Use(kDocs, L"missing.txt");
  r = Call("getFileInfo");
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 2);
  EXPECT_TRUE(Logged("Filename: C:\\Users\\User\\Documents//missing.txt Error : "));
  Use(L"C:\\Users", L"User");  // a folder has no file size
  EXPECT_NE(Call("getFileInfo")["errorcode"].asInt(), 0);
  Use(L"", L"");
  EXPECT_EQ(Call("getFileInfo")["errorcode"].asInt(), 87);
  platform::setFileAttributes(Host(kDocs + L"\\h.txt"), platform::FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilePluginTest, GetDiskInfo) {
  Json::Value r = Call("getDiskInfo", {L"C:"});
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_GT(r["totalspace"].asFloat(), 0.0f);
  EXPECT_NEAR(r["usedspace"].asFloat(), r["totalspace"].asFloat() - r["freespace"].asFloat(), 0.01);
  EXPECT_EQ(LastRow().input, L"{\"DiskName\":\"C:\"}");
  EXPECT_EQ(Call("getDiskInfo")["errorcode"].asInt(), 20023);
  EXPECT_EQ(Call("getDiskInfo", {L"C:\\", L"D:\\"})["errorcode"].asInt(), 20023);
  r = Call("getDiskInfo", {L"Q:\\"});  // a drive the machine does not have
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 3);
  EXPECT_TRUE(Logged("Error : The system cannot find the path specified."));
}

TEST_F(FilePluginTest, GetFolderContentsPrintsAndRecordsNothing) {
  Write(kDocs + L"\\one.txt", "1");
  ::testing::internal::CaptureStdout();
  StackFrame args;
  args.Push(kDocs);
  EXPECT_EQ(file_->Call("getFolderContents", args), nullptr);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "C:\\Users\\User\\Documents\\one.txt\n");
  StackFrame none;
  EXPECT_EQ(file_->Call("getFolderContents", none), nullptr);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(FilePluginTest, RegularExpressionSearch) {
  Write(kDocs + L"\\hosts.txt", "127.0.0.1 localhost\n10.0.0.5   update.example.com\n");
  Use(kDocs, L"hosts.txt");
  EXPECT_EQ(Call("isRegExExistInFile", {L"update\\.example\\.(com|net)"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Call("isRegExExistInFile", {L"^10\\.0\\.0\\.\\d+\\s+update"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Call("isRegExExistInFile", {L"evil\\.example"})["errorcode"].asInt(), 20020);
  OperationRow row = LastRow();
  EXPECT_EQ(row.api, L"File::isRegExExistInFile");
  EXPECT_EQ(row.input, L"{\"foldername\":\"C:\\Users\\User\\Documents\",\"filename\":\"hosts.txt\","
                       L"\"RegEx\":\"evil\\.example\"}");
  // An invalid expression is an exception: 20016.
  EXPECT_EQ(Call("isRegExExistInFile", {L"([unclosed"})["errorcode"].asInt(), 20016);
  EXPECT_TRUE(Logged("Exception occured while finding regul expression in file C:\\Users\\User\\Documents//hosts.txt."));
  EXPECT_EQ(Call("isRegExExistInFile")["errorcode"].asInt(), 20023);
  EXPECT_EQ(Call("isRegExExistInFile", {L"a", L"b"})["errorcode"].asInt(), 20023);
}

TEST_F(FilePluginTest, RegularExpressionOnBinaryMissingAndFolder) {
  std::string binary("MZ\0\0\x90\xff", 6);
  binary += "needle";
  binary += std::string("\0\x01", 2);
  Write(kDocs + L"\\tool.exe", binary);
  Use(kDocs, L"tool.exe");
  EXPECT_EQ(Call("isRegExExistInFile", {L"ne+dle"})["errorcode"].asInt(), 0);
  Use(kDocs, L"none.txt");
  size_t before = Rows().size();
  EXPECT_EQ(Call("isRegExExistInFile", {L"x"})["errorcode"].asInt(), 2);
  // The presence test made a record of its own.
  auto rows = Rows();
  ASSERT_EQ(rows.size(), before + 2);
  EXPECT_EQ(rows[before].api, L"File::isFilePresent");
  EXPECT_TRUE(Logged("File Path: C:\\Users\\User\\Documents//none.txt, does not exist."));
  Use(L"C:\\Users", L"User");
  EXPECT_EQ(Call("isRegExExistInFile", {L"x"})["errorcode"].asInt(), 30056);
  EXPECT_TRUE(Logged("is a folder not a file."));
}

TEST_F(FilePluginTest, DeleteFolder) {
  Write(kDocs + L"\\Old\\sub\\a.txt", "a");
  Use(kDocs + L"\\Old");
  Json::Value r = Call("deleteFolder", {L"false"});  // not empty
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 145);
  EXPECT_TRUE(Exists(kDocs + L"\\Old\\sub\\a.txt"));
  r = Call("deleteFolder", {L"true"});
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_FALSE(Exists(kDocs + L"\\Old"));
  EXPECT_EQ(LastRow().input, L"{\"foldername\":\"C:\\Users\\User\\Documents\\Old\",\"isRecursive\":\"true\"}");
  EXPECT_EQ(LastRow().type, 1);
  // Gone already: 0 and "status" false.
  r = Call("deleteFolder", {L"true"});
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 0);
  EXPECT_EQ(Call("deleteFolder")["errorcode"].asInt(), 20023);
  EXPECT_EQ(Call("deleteFolder", {L"1", L"2"})["errorcode"].asInt(), 20023);
}

TEST_F(FilePluginTest, DeleteFolderNeverRemovesADriveOrLeavesIt) {
  Use(L"Z:\\");
  EXPECT_EQ(Call("deleteFolder", {L"true"})["errorcode"].asInt(), 5);
  EXPECT_TRUE(std::filesystem::exists("/etc"));
  Use(L"C:\\..\\..");
  EXPECT_EQ(Call("deleteFolder", {L"true"})["errorcode"].asInt(), 5);
  EXPECT_TRUE(Exists(L"C:\\Windows"));
  // ".." stops at the drive root, so this names C:\Users, not a host folder.
  MakeFolder(L"C:\\Users\\Empty");
  Use(L"C:\\Users\\User\\..\\..\\..\\Users\\Empty");
  EXPECT_EQ(Call("deleteFolder", {L"false"})["errorcode"].asInt(), 0);
  EXPECT_FALSE(Exists(L"C:\\Users\\Empty"));
}

TEST_F(FilePluginTest, DeleteFolderLeavesLinkedFoldersAlone) {
  Write(L"C:\\Keep\\precious.txt", "p");
  MakeFolder(kDocs + L"\\Tree");
  std::filesystem::create_directory_symlink(Host(L"C:\\Keep"), Host(kDocs + L"\\Tree") + "/link");
  Use(kDocs + L"\\Tree");
  EXPECT_EQ(Call("deleteFolder", {L"true"})["errorcode"].asInt(), 0);
  EXPECT_EQ(Read(L"C:\\Keep\\precious.txt"), "p");
}

TEST_F(FilePluginTest, RenameFile) {
  Write(kDocs + L"\\a.txt", "A");
  Use(kDocs, L"a.txt");
  Json::Value r = Call("renameFile", {L"b.txt"});
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(Read(kDocs + L"\\b.txt"), "A");
  EXPECT_FALSE(Exists(kDocs + L"\\a.txt"));
  EXPECT_EQ(LastRow().input, L"{\"foldername\":\"C:\\Users\\User\\Documents\",\"filename\":\"a.txt\","
                             L"\"neeFileName\":\"b.txt\"}");
  r = Call("renameFile", {L"c.txt"});  // a.txt is gone
  EXPECT_FALSE(r["status"].asBool());
  EXPECT_EQ(r["errorcode"].asInt(), 2);
  EXPECT_TRUE(Logged("old name: C:\\Users\\User\\Documents//a.txt new name : C:\\Users\\User\\Documents//c.txt Error : "));
  Use(kDocs, L"b.txt");
  EXPECT_EQ(Call("renameFile", {L"bad|name"})["errorcode"].asInt(), 123);
  EXPECT_EQ(Call("renameFile", {L""})["errorcode"].asInt(), 87);
  EXPECT_EQ(Call("renameFile")["errorcode"].asInt(), 20023);
  EXPECT_TRUE(Exists(kDocs + L"\\b.txt"));
}

TEST_F(FilePluginTest, WithoutAStoreMethodsRunAndRecordNothing) {
  file_->SetResultStore(nullptr);
  Use(L"C:\\Windows");
  EXPECT_TRUE(Call("isFolderPresent")["return"].asBool());
  EXPECT_TRUE(Rows().empty());
}

}  // namespace
}  // namespace zorel::test
