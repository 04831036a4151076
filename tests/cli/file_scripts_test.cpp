// The File object's edge cases through `zorel check --script` with the
// file_*.js scripts of tests/data/checks: the answers the scripts saw
// (kept as problem rows), the operation rows, the files on the machine
// afterwards and the cabinets packaging made, read with cabextract.

#include <gtest/gtest.h>
#include <json/json.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../platform/files/pe_builder.h"
#include "check_cli_support.h"
#include "script_answers.h"

namespace {

namespace fs = std::filesystem;
using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Column;
using zorel::testing::Rows;
using Strings = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A literal with NUL bytes in it, whole.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
    ::pclose(p);
  }
  return out;
}

class FileScripts : public CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    // A first run makes the machine; the fixtures go into it afterwards.
    ASSERT_EQ(Check("--script '" + DataScript("no_header.js") + "' --store '" + base_ +
                    "/prep' --stages 101")
                  .status,
              0);
    ft_ = root_ + "/drive_c/ProgramData/FT";
    fs::create_directories(ft_);
  }

  void Put(const std::string& relative, const std::string& bytes) {
    fs::path path = fs::path(ft_) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  void Dir(const std::string& relative) { fs::create_directories(fs::path(ft_) / relative); }
  std::string Get(const std::string& relative) const {
    std::ifstream in(fs::path(ft_) / relative, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  bool Has(const std::string& relative) const {
    std::error_code ec;
    return fs::exists(fs::symlink_status(fs::path(ft_) / relative, ec));
  }
  void ReadOnly(const std::string& relative) {
    ::chmod((fs::path(ft_) / relative).c_str(), 0444);
  }
  // Windows attributes the machine keeps beside the host's permissions.
  void Attributes(const std::string& relative, int value) {
    const std::string text = std::to_string(value);
    ::setxattr((fs::path(ft_) / relative).c_str(), "user.zorel.attributes", text.data(),
               text.size(), 0);
  }

  // The answer the script noted under `label`.
  Json::Value Answer(const std::string& label) const {
    return zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery(label)), label, "(empty)");
  }
  int Code(const std::string& label) const { return Answer(label)["errorcode"].asInt(); }

  // Runs a case script with file_cases_prelude.js in front of it.
  CheckRun Run(const std::string& script, const std::string& stages = "101") {
    CheckRun run = Check(CaseArguments(script, stages));
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return run;
  }

  // The `zorel check` arguments that run a case script with
  // file_cases_prelude.js in front of it.
  std::string CaseArguments(const std::string& script, const std::string& stages) {
    const std::string whole = base_ + "/" + script;
    std::ofstream out(whole, std::ios::binary);
    for (const std::string& part : {DataScript("file_cases_prelude.js"), DataScript(script)}) {
      std::ifstream in(part, std::ios::binary);
      EXPECT_TRUE(in) << part;
      out << in.rdbuf();
    }
    return "--script '" + whole + "' --store '" + store_ + "' --stages " + stages;
  }

  std::string ft_;  // C:\ProgramData\FT on the host
};

// ------------------------------------------------------------ presence

class FilePresenceScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    Put("five.txt", std::string(5000, 'x'));
    Put("zero", "");
    Put("cluster.bin", std::string(8192, 'c'));
    Put("flags.txt", "f");
    ReadOnly("flags.txt");
    Attributes("flags.txt", 0x22);  // hidden, archive
    Put("old.txt", "o");
    Put("sub/a.txt", "a");
    Dir("sub/inner");
    Put("full/deep/f.txt", "f");
    Dir("hollow");
  }
};

TEST_F(FilePresenceScript, PresenceAndFolderTests) {
  Run("file_presence.js");
  // 300 characters: 111 without looking at the disk.
  EXPECT_EQ(Code("present.long"), 111);
  EXPECT_FALSE(Answer("present.long")["status"].asBool());
  for (const char* found : {"present.file", "present.case", "present.vars", "present.assigned"}) {
    EXPECT_EQ(Code(found), 0) << found;
    EXPECT_TRUE(Answer(found)["return"].asBool()) << found;
  }
  EXPECT_EQ(Code("present.missing"), 2);
  EXPECT_FALSE(Answer("present.missing")["status"].asBool());
  EXPECT_EQ(Code("present.nofolder"), 3);
  EXPECT_EQ(Code("present.empty"), 87);
  EXPECT_EQ(Code("present.nothing"), 87);
  EXPECT_TRUE(Contains(Log(), "File : C:\\ProgramData\\FT\\none.txt Error : The system cannot "
                              "find the file specified."));

  EXPECT_TRUE(Answer("folder.dir")["return"].asBool());
  // A file is no folder: "return" false, errorcode 2, "status" true.
  EXPECT_EQ(Code("folder.file"), 2);
  EXPECT_FALSE(Answer("folder.file")["return"].asBool());
  EXPECT_TRUE(Answer("folder.file")["status"].asBool());
  EXPECT_EQ(Code("folder.missing"), 2);
  EXPECT_FALSE(Answer("folder.missing")["status"].asBool());
  EXPECT_NE(Code("folder.empty"), 0);
}

TEST_F(FilePresenceScript, FileAndDiskInformation) {
  const CheckRun run = Run("file_presence.js");
  Json::Value five = Answer("info.five");
  EXPECT_EQ(five["errorcode"].asInt(), 0);
  EXPECT_DOUBLE_EQ(five["size"].asDouble(), 4.8828125);
  EXPECT_DOUBLE_EQ(five["disksize"].asDouble(), 8.0);
  EXPECT_EQ(five["filetype"].asString(), ".txt");
  EXPECT_EQ(five["createdtime"], five["modifiedtime"]);
  EXPECT_NEAR(five["modifiedtime"].asDouble(), static_cast<double>(std::time(nullptr)), 120);
  EXPECT_DOUBLE_EQ(Answer("info.zero")["disksize"].asDouble(), 0.0);
  EXPECT_EQ(Answer("info.zero")["filetype"].asString(), "");
  EXPECT_DOUBLE_EQ(Answer("info.cluster")["disksize"].asDouble(), 8.0);  // a whole cluster stays
  EXPECT_TRUE(Answer("info.flags")["isreadonly"].asBool());
  EXPECT_TRUE(Answer("info.flags")["ishidden"].asBool());
  EXPECT_FALSE(Answer("info.five")["ishidden"].asBool());
  EXPECT_EQ(Code("info.missing"), 2);
  EXPECT_FALSE(Answer("info.missing")["status"].asBool());
  // A folder has no size: refused as Windows refuses to open it for that.
  EXPECT_EQ(Code("info.folder"), 5);
  EXPECT_EQ(Code("info.empty"), 87);

  Json::Value disk = Answer("disk.c");
  EXPECT_TRUE(disk["status"].asBool());
  EXPECT_GT(disk["totalspace"].asDouble(), 0.0);
  EXPECT_NEAR(disk["usedspace"].asDouble(),
              disk["totalspace"].asDouble() - disk["freespace"].asDouble(), 1e-3);
  EXPECT_EQ(Code("disk.none"), 20023);
  EXPECT_EQ(Code("disk.two"), 20023);
  EXPECT_EQ(Code("disk.missing"), 3);

  // getFolderContents prints the entries (the run's worker prints to the
  // terminal's error stream), answers nothing, records nothing.
  const std::string printed = run.out + run.err;
  EXPECT_TRUE(Contains(printed, "C:\\ProgramData\\FT\\sub\\a.txt\n")) << printed;
  EXPECT_TRUE(Contains(printed, "C:\\ProgramData\\FT\\sub\\inner\n"));
  EXPECT_FALSE(Contains(printed, "five.txt\n"));
  EXPECT_TRUE(Answer("contents").isNull());
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where API_NAME like '%Contents'")[0][0],
            "0");
}

TEST_F(FilePresenceScript, RenameAndDeleteFolder) {
  Run("file_presence.js");
  EXPECT_EQ(Code("rename.none"), 20023);
  EXPECT_EQ(Code("rename.two"), 20023);
  EXPECT_EQ(Code("rename.empty"), 87);
  EXPECT_EQ(Code("rename.missing"), 2);
  EXPECT_EQ(Code("rename.ok"), 0);
  EXPECT_FALSE(Has("old.txt"));
  EXPECT_EQ(Get("new.txt"), "o");
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = 'File::renameFile' "
                  "and ERROR_CODE = 0"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT","filename":"old.txt","neeFileName":"new.txt"})"}}));

  EXPECT_EQ(Code("delete.none"), 20023);
  // Nothing to delete: errorcode 0 with "status" false.
  EXPECT_EQ(Code("delete.missing"), 0);
  EXPECT_FALSE(Answer("delete.missing")["status"].asBool());
  EXPECT_EQ(Code("delete.file"), 0);
  EXPECT_FALSE(Answer("delete.file")["status"].asBool());
  EXPECT_TRUE(Has("five.txt"));
  // Not recursive: a folder with contents stays (ERROR_DIR_NOT_EMPTY).
  EXPECT_EQ(Code("delete.notempty"), 145);
  EXPECT_TRUE(Answer("delete.empty")["status"].asBool());
  EXPECT_FALSE(Has("hollow"));
  EXPECT_TRUE(Answer("delete.all")["status"].asBool());
  EXPECT_FALSE(Has("full"));
  EXPECT_EQ(Code("delete.drive"), 5);
  EXPECT_TRUE(fs::exists(root_ + "/drive_c/Windows"));
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'File::deleteFolder' and ERROR_CODE = 145"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT\full","isRecursive":"false"})"}}));
}

// --------------------------------------------------------------- edits

class FileEditScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    Put("hosts.txt", "host host");
    Put("lines.txt", "1.2.3.4 example\n5.6.7.8 other\n");
    long_ = std::string(4000, 'a') + "example" + std::string(1000, 'b') + "\nnext line\ntail example";
    Put("long.txt", long_);
    Put("bytes.txt", Bytes("caf\xe9 HOST\r\nna\xefve\0 host\r\nGr\xc3\xbc\xc3\x9f" "e host"));
    Put("utf8.txt", "a line\nGr\xc3\xbc\xc3\x9f" "e here\n");
    Put("grow.txt", "host, host");
    Put("keep.txt", "keep me\n");
    Put("ro.txt", "host");
    ReadOnly("ro.txt");
    Put("jsbool.txt", "one one");
    Put("existing.txt", "original");
    Put("replaced.txt", "old");
    Put("replaced2.txt", "old");
    Put("regex.txt", "version=12.5\nname=Zo\xc3\xab\n");
    Dir("sub");
  }
  std::string long_;
};

TEST_F(FileEditScript, FindAndReplaceKeepsEveryOtherByte) {
  Run("file_edit.js");
  EXPECT_EQ(Code("replace.host"), 0);
  EXPECT_EQ(Get("hosts.txt"), "#host #host");
  EXPECT_EQ(Get("lines.txt"), "#1.2.3.4 example\n5.6.7.8 other\n");
  // A line far beyond 120 characters and a last line without a line end.
  EXPECT_EQ(Code("line.long"), 0);
  EXPECT_EQ(Get("long.txt"), "# " + long_.substr(0, long_.find("\ntail")) + "\n# tail example");
  // Bytes that are no UTF-8, a NUL and CR LF stay; the new text is UTF-8.
  EXPECT_EQ(Get("bytes.txt"),
            Bytes("caf\xe9 h\xc3\xb6st\r\nna\xefve\0 h\xc3\xb6st\r\nGr\xc3\xbc\xc3\x9f" "e h\xc3\xb6st"));
  EXPECT_EQ(Get("utf8.txt"), "a line\n# Gr\xc3\xbc\xc3\x9f" "e here\n");
  // A replacement that holds the find text is not searched again.
  EXPECT_EQ(Get("grow.txt"), "hosthost, hosthost");
  EXPECT_EQ(Code("replace.nomatch"), 0);
  EXPECT_EQ(Code("line.nomatch"), 0);
  EXPECT_EQ(Get("keep.txt"), "keep me\n");
  EXPECT_EQ(Get("jsbool.txt"), "two two");  // false as a script boolean: replace mode
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'File::findAndReplaceContent' and INPUT_DETAILS like '%jsbool%'"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT","filename":"jsbool.txt","findstring":"one",)"
                   R"("prependorreplacestring":"two","replaceentiresting":"False"})"}}));
}

TEST_F(FileEditScript, FindAndReplaceFailures) {
  Run("file_edit.js");
  // A read-only file is refused and left whole.
  EXPECT_EQ(Code("replace.readonly"), 5);
  EXPECT_EQ(Get("ro.txt"), "host");
  EXPECT_TRUE(Contains(Log(), "Error occured while replacing content in file"));
  EXPECT_EQ(Code("replace.missing"), 2);
  EXPECT_TRUE(Contains(Log(), "File C:\\ProgramData\\FT//none.txt not found"));
  EXPECT_EQ(Code("replace.two"), 87);
  EXPECT_EQ(Code("replace.emptyfind"), 87);
  EXPECT_EQ(Code("replace.nofile"), 87);
  EXPECT_TRUE(Contains(Log(), "Invalid parameter passed - Replace File Content API"));
  EXPECT_EQ(Get("hosts.txt"), "#host #host");
  // No temporary file of an edit stays behind.
  for (const auto& entry : fs::directory_iterator(ft_))
    EXPECT_FALSE(Contains(entry.path().filename().string(), "zorel-edit")) << entry.path();
}

TEST_F(FileEditScript, CreateAndCopy) {
  Run("file_edit.js");
  EXPECT_EQ(Code("create.new"), 0);
  EXPECT_EQ(Get("made.txt"), "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac\n");
  EXPECT_EQ(Code("create.exists"), 30057);
  EXPECT_EQ(Get("existing.txt"), "original");
  EXPECT_EQ(Get("replaced.txt"), "new text");
  EXPECT_EQ(Code("create.readonly"), 5);
  EXPECT_EQ(Get("ro.txt"), "host");
  EXPECT_EQ(Code("create.one"), 87);
  EXPECT_EQ(Code("create.nofolder"), 3);
  EXPECT_EQ(Code("create.noname"), 87);
  EXPECT_EQ(Code("create.empty"), 0);
  EXPECT_TRUE(Has("empty.txt"));
  EXPECT_EQ(Get("empty.txt"), "");
  EXPECT_TRUE(Contains(Log(), "File C:\\ProgramData\\FT\\existing.txt already exists"));
  EXPECT_TRUE(Contains(Log(), "Folder C:\\ProgramData\\FT\\nowhere does not exist"));

  EXPECT_EQ(Code("copy.ok"), 0);
  EXPECT_EQ(Get("copy.txt"), "original");
  EXPECT_EQ(Get("replaced2.txt"), "original");
  EXPECT_EQ(Code("copy.missing"), 3);
  EXPECT_EQ(Code("copy.one"), 87);
  EXPECT_EQ(Code("copy.empty"), 87);
  EXPECT_EQ(Code("copy.nodest"), 3);
  // Onto itself (names ignore case): refused, the file keeps its bytes.
  EXPECT_EQ(Code("copy.self"), 32);
  EXPECT_EQ(Get("existing.txt"), "original");
  EXPECT_EQ(Code("copy.folder"), 5);
  EXPECT_FALSE(Has("sub-copy"));
}

TEST_F(FileEditScript, RegularExpressions) {
  Run("file_edit.js");
  EXPECT_EQ(Code("regex.found"), 0);
  EXPECT_EQ(Code("regex.notfound"), 20020);
  EXPECT_EQ(Code("regex.lookahead"), 0);
  EXPECT_EQ(Code("regex.utf8"), 0);
  EXPECT_EQ(Code("regex.bad"), 20016);
  EXPECT_TRUE(Contains(Log(), "Exception occured while finding regul expression in file "
                              "C:\\ProgramData\\FT//regex.txt."));
  EXPECT_EQ(Code("regex.folder"), 30056);
  EXPECT_TRUE(Contains(Log(), "File Path: C:\\ProgramData\\FT//sub, is a folder not a file."));
  EXPECT_EQ(Code("regex.missing"), 2);
  EXPECT_TRUE(Contains(Log(), "File Path: C:\\ProgramData\\FT//none.txt, does not exist."));
  EXPECT_EQ(Code("regex.noargs"), 20023);
  EXPECT_EQ(Code("regex.nofolder"), 20023);
  // The missing file's presence test is a call of its own, recorded first.
  EXPECT_EQ(Query("select API_NAME, ERROR_CODE from OPERATION_TABLE where INPUT_DETAILS like "
                  "'%none.txt%' and API_NAME in ('File::isFilePresent', 'File::isRegExExistInFile') "
                  "order by ID"),
            (Rows{{"File::isFilePresent", "2"}, {"File::isRegExExistInFile", "2"}}));
}

// ------------------------------------------------------- search walks

class FileSearchScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    Put("nolog/x.txt", "x");
    Put("rm/a.tmp", "a");
    Put("rm/b.TMP", "b");
    Put("rm/keep.txt", "k");
    Put("rm/ro.tmp", "r");
    ReadOnly("rm/ro.tmp");
    Put("rm/only/c.tmp", "c");
    Put("rm/mixed/d.tmp", "d");
    Put("rm/mixed/e.txt", "e");
    Put("rm/deep/er/f.tmp", "f");
    Put("rmflat/x.tmp", "x");
    Put("rmflat/s/y.tmp", "y");
    Put("rmq/a1.log", "1");
    Put("rmq/a22.log", "2");
    Put("rmq/b1.log", "3");
    Put("rmext/noext", "n");
    Put("rmext/with.ext", "w");
    testing_image_ = zorel::testing::sampleVersionedImage();
    Put("info/app.exe", std::string(testing_image_.begin(), testing_image_.end()));
    Put("info/plain.txt", "p");
    Put("info/flags.txt", "f");
    ReadOnly("info/flags.txt");
    Attributes("info/flags.txt", 0x26);  // hidden, system, archive
    Put("info/sys/top.txt", "t");
    Put("info/sys/normal/n.txt", "n");
    Put("info/sys/$NtUninstallKB1$/u.txt", "u");
    Put("info/sys/dllcache/d.txt", "d");
    Put("info/sys/DllCache2/keep.txt", "k");
    Put("info/sys/DLLCACHE/e.txt", "e");
    Put("info/sys/I386/i.txt", "i");
    Put("info/sys/~ettemp/t.txt", "t");
    Put("info/sys/ServicePackFiles/s.txt", "s");
  }
  std::string Csv(const std::string& name) const {
    std::ifstream in(store_ + "/collection/FileVersion/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  static Strings Paths(const std::string& csv) {
    Strings paths;
    for (const std::string& line : Lines(csv)) paths.push_back(line.substr(0, line.find(',')));
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  zorel::testing::Bytes testing_image_;
};

TEST_F(FileSearchScript, RemoveFileWalks) {
  Run("file_search.js");
  EXPECT_EQ(Code("remove.nolog"), 0);
  EXPECT_TRUE(Has("nolog/x.txt"));
  EXPECT_EQ(Code("remove.folder"), 20002);
  EXPECT_TRUE(Contains(Log(), "File path [ C:\\ProgramData\\FT//rm ] to remove file is a directory"));
  EXPECT_EQ(Code("remove.noargs"), 87);
  EXPECT_EQ(Code("remove.noname"), 87);
  // Not recursive: the subfolder's match stays.
  EXPECT_EQ(Code("remove.flat"), 0);
  EXPECT_FALSE(Has("rmflat/x.tmp"));
  EXPECT_TRUE(Has("rmflat/s/y.tmp"));
  // ? is one character.
  EXPECT_FALSE(Has("rmq/a1.log"));
  EXPECT_TRUE(Has("rmq/a22.log"));
  EXPECT_TRUE(Has("rmq/b1.log"));
  // *.* also matches a name without an extension.
  EXPECT_FALSE(Has("rmext/noext"));
  EXPECT_FALSE(Has("rmext/with.ext"));
  EXPECT_TRUE(Has("rmext"));
  // Recursive, ignoring case: folders left empty go, the start folder and
  // folders with other files stay; the read-only file counts as done but
  // stays.
  EXPECT_EQ(Code("remove.tree"), 0);
  EXPECT_FALSE(Has("rm/a.tmp"));
  EXPECT_FALSE(Has("rm/b.TMP"));
  EXPECT_TRUE(Has("rm/ro.tmp"));
  EXPECT_TRUE(Has("rm/keep.txt"));
  EXPECT_FALSE(Has("rm/only"));
  EXPECT_FALSE(Has("rm/deep"));
  EXPECT_TRUE(Has("rm/mixed/e.txt"));
  EXPECT_FALSE(Has("rm/mixed/d.tmp"));
  EXPECT_EQ(Code("remove.missingfolder"), 0);
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = 'File::removeFile' "
                  "and INPUT_DETAILS like '%rmflat%'"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT\rmflat","filename":"*.tmp","isrecursive":"False"})"}}));
}

TEST_F(FileSearchScript, CollectFileInfoLines) {
  Run("file_search.js");
  EXPECT_EQ(Code("info.version"), 0);
  EXPECT_EQ(Code("info.plain"), 0);
  // Two calls into the same file append.
  Strings lines = Lines(Csv("versions.csv"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("C:\\ProgramData\\FT\\info//app.exe,", 0), 0u) << lines[0];
  EXPECT_TRUE(EndsWith(lines[0], ",A,\"1.2.3.4\",\"5.6\",\"Sample tool\",\"Sample\",,,,"))
      << lines[0];
  // Without a version resource: six commas.
  EXPECT_TRUE(EndsWith(lines[1], ",A,,,,,,,")) << lines[1];
  // Times are "MM/DD/YYYY  HH:MM", three of them.
  const std::string times = lines[1].substr(lines[1].find(',') + 1, 3 * 18);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(times[i * 18 + 2], '/') << times;
    EXPECT_EQ(times.substr(i * 18 + 10, 2), "  ") << times;
    EXPECT_EQ(times[i * 18 + 17], ',') << times;
  }
  EXPECT_TRUE(Contains(Csv("flags.csv"), ",RHSA,,,,,,,\n")) << Csv("flags.csv");
  EXPECT_EQ(Lines(Csv("Common.csv")).size(), 1u);
}

TEST_F(FileSearchScript, CollectFileInfoRecursionAndSystemFolders) {
  Run("file_search.js");
  const std::string sys = "C:\\ProgramData\\FT\\info\\sys";
  // System folders are skipped whatever their case; a name that only
  // starts like one is entered.
  Strings kept = {sys + "\\DllCache2//keep.txt", sys + "\\normal//n.txt", sys + "//top.txt"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Paths(Csv("skip.csv")), kept);
  EXPECT_EQ(Paths(Csv("all.csv")).size(), 9u);
  EXPECT_EQ(Paths(Csv("flat.csv")), (Strings{sys + "//top.txt"}));
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'File::collectFileInfo' and INPUT_DETAILS like '%skip.csv%'"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT\info\sys","filename":"*.txt",)"
                   R"("outputfilename":"skip.csv","isrecursive":"True","ismerfilter":"True"})"}}));
  // No match leaves 20016; a missing folder is no match.
  EXPECT_EQ(Code("info.nomatch"), 20016);
  EXPECT_EQ(Code("info.nofolder"), 20016);
  EXPECT_EQ(Code("info.one"), 87);
  EXPECT_TRUE(Contains(Log(), "Invalid parameter passed to file collection"));
  EXPECT_EQ(Code("info.noname"), 87);
  EXPECT_TRUE(Contains(Log(), "File-Name and Folder-Name can't be empty"));
  // The CSV file stays inside the collection folder.
  EXPECT_EQ(Code("info.escape"), 123);
  EXPECT_FALSE(fs::exists(base_ + "/evil.csv"));
  EXPECT_FALSE(fs::exists(store_ + "/evil.csv"));
}

// ---------------------------------------------- collection and packaging

class FileCollectScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    Put("col/logs/a.log", "a");
    Put("col/logs/b.log", "b");
    Put("col/logs/sub/c.log", "c");
    Put("col/tree/b/x.txt", "x");
    Put("col/tree/b/c/y.txt", "y");
    Put("col/win/w.txt", "w");
    Put("col/win/$NtUninstallKB123$/u.txt", "u");
    Put("col/win/System32/k.txt", "k");
    Put("col/win/System32/dllcache/d.txt", "d");
    Put("col/win/System32/DLLCACHE/e.txt", "e");
    Put("col/Vendor/v.txt", "v");
    Put("col/single.txt", "s");
    Dir("col/emptydir");
  }
  // The names in a cabinet, as cabextract lists them.
  static Strings CabinetNames(const std::string& cabinet) {
    Strings names;
    std::istringstream in(Shell("cabextract -q -l '" + cabinet + "' 2>&1"));
    for (std::string line; std::getline(in, line);) {
      size_t bar = line.rfind(" | ");
      if (bar != std::string::npos && line.find("Name") == std::string::npos)
        names.push_back(line.substr(bar + 3));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(FileCollectScript, RequestsAndTheirRows) {
  Run("file_collect.js", "101,102");
  for (const char* ok : {"collect.pattern", "collect.recursive", "collect.filtered",
                         "collect.folder", "collect.file", "collect.nopath", "collect.fourargs"})
    EXPECT_EQ(Code(ok), 0) << ok;
  EXPECT_EQ(Code("collect.missing"), 3);
  EXPECT_TRUE(Contains(Log(), "Path not exist for file collection: C:\\ProgramData\\FT\\col\\none.txt"));
  EXPECT_EQ(Code("collect.emptyfolder"), 20003);
  EXPECT_EQ(Code("collect.onearg"), 87);
  EXPECT_EQ(Code("collect.nothing"), 87);
  EXPECT_EQ(Code("collect.climb"), 87);

  const std::string col = "C:\\ProgramData\\FT\\col";
  EXPECT_EQ(Query("select c.COLLECTION_TYPE, c.SOURCE, c.DESTINATION, c.SIZE, c.ISDB, "
                  "c.ISIMPORTANT, ifnull(f.isRecursive, '-'), ifnull(f.merFilter, '-') "
                  "from COLLECTION_TABLE c left join FILE_COLLECTION_TABLE f on f.ID = c.ID "
                  "order by c.ID"),
            (Rows{{"1", col + "\\logs\\*.log", "collection\\file\\logs", "0", "0", "1", "0", "0"},
                  {"1", col + "\\tree\\b\\*.txt", "collection\\file\\tree", "0", "0", "1", "1", "0"},
                  {"1", col + "\\win\\*.txt", "collection\\file\\win", "0", "0", "1", "1", "1"},
                  {"2", col + "\\Vendor", "collection\\folder\\logs\\Vendor", "0", "0", "1", "-", "-"},
                  {"1", col + "\\single.txt", "collection\\file\\one", "0", "0", "1", "-", "-"},
                  {"1", col + "\\missing\\*.txt", "collection\\file\\gone", "0", "0", "1", "0", "0"},
                  {"1", col + "\\logs\\a.log", "collection\\file\\four", "0", "0", "1", "1", "0"}}));
  // Each row points at its own operation record.
  EXPECT_EQ(Query("select count(*) from COLLECTION_TABLE c join OPERATION_TABLE o on "
                  "o.ID = c.OPERATION_ID where o.API_NAME = 'File::collect' and o.ERROR_CODE = 0 "
                  "and o.OPERATION_TYPE = 2")[0][0],
            "7");
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE o join COLLECTION_TABLE c on "
                  "o.ID = c.OPERATION_ID where c.COLLECTION_TYPE = 2"),
            (Rows{{R"({"foldername":"C:\ProgramData\FT\col\Vendor","RelativePath":)"
                   R"("collection\folder\logs\Vendor","isRecursive":"false","merFilter":"false"})"}}));
}

TEST_F(FileCollectScript, PackagingPacksWhatWasAskedFor) {
  Run("file_collect.js", "101,102");
  // logs\a.log was asked for twice: the later request's destination wins.
  ASSERT_TRUE(fs::exists(store_ + "/collection.cab"));
  EXPECT_EQ(CabinetNames(store_ + "/collection.cab"),
            (Strings{"collection/FileVersion/col.csv",
                     "collection/file/four/logs/a.log",
                     "collection/file/logs/b.log",
                     "collection/file/one/single.txt", "collection/file/tree/b/c/y.txt",
                     "collection/file/tree/b/x.txt",
                     // Packaging's filter is case-sensitive: DLLCACHE is entered.
                     "collection/file/win/win/System32/DLLCACHE/e.txt",
                     "collection/file/win/win/System32/k.txt", "collection/file/win/win/w.txt",
                     "collection/folder/logs/Vendor/v.txt"}));
  // The collection folder is gone once packed; db.cab holds the database.
  EXPECT_FALSE(fs::exists(store_ + "/collection"));
  EXPECT_EQ(CabinetNames(store_ + "/db.cab"), (Strings{"ResultStore.db"}));
  const std::string out = base_ + "/db-out";
  Shell("cabextract -q -d '" + out + "' '" + store_ + "/db.cab'");
  EXPECT_EQ(Shell("sqlite3 '" + out + "/ResultStore.db' 'select count(*) from COLLECTION_TABLE'"),
            "7\n");
}

TEST_F(FileCollectScript, FoldersThatClimbAreCollectedAsTheFolderTheyName) {
  Run("file_collect_up.js", "101,102");
  for (const char* ok : {"up.folder", "up.pattern", "up.file", "up.dots"})
    EXPECT_EQ(Code(ok), 0) << ok;
  // C:\ProgramData\.. is the drive itself: no name to store it under.
  EXPECT_EQ(Code("up.drive"), 87);
  const std::string col = "C:\\ProgramData\\FT\\col";
  EXPECT_EQ(Query("select SOURCE, DESTINATION from COLLECTION_TABLE order by ID"),
            (Rows{{col + "\\tree", "collection\\folder\\up\\tree"},
                  {col + "\\tree\\*.txt", "collection\\file\\pat"},
                  {col + "\\single.txt", "collection\\file\\one"},
                  {col + "\\Vendor", "collection\\folder\\Vendor"}}));
  // No stored name climbs.
  EXPECT_EQ(CabinetNames(store_ + "/collection.cab"),
            (Strings{"collection/file/one/single.txt", "collection/file/pat/tree/b/c/y.txt",
                     "collection/file/pat/tree/b/x.txt", "collection/folder/Vendor/v.txt",
                     "collection/folder/up/tree/b/c/y.txt", "collection/folder/up/tree/b/x.txt"}));
}

TEST_F(FileCollectScript, ARunThatCollectsNothingMakesOnlyDbCab) {
  // Remediation alone runs no problem (exit 1), but the run is still packaged.
  Check(CaseArguments("file_nothing_collected.js", "102"));
  EXPECT_TRUE(fs::exists(store_ + "/db.cab"));
  EXPECT_FALSE(fs::exists(store_ + "/collection.cab"));
  EXPECT_TRUE(Contains(Log(), "No compressed file created for collection"));
  EXPECT_EQ(Query("select count(*) from COLLECTION_TABLE")[0][0], "0");
}

// ------------------------------------------------ pipes and devices

class FileSpecialScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    Put("special/plain.txt", "plain");
    Put("special/sub/b.txt", "b");
    Put("special/rm/a.txt", "a");
    for (const char* pipe : {"special/pipe", "special/rm/pipe"})
      ASSERT_EQ(::mkfifo((fs::path(ft_) / pipe).c_str(), 0600), 0) << pipe;
  }
  void TearDown() override {
    // Should a call still wait on a pipe, opening its other end lets it go.
    for (const char* pipe : {"special/pipe", "special/rm/pipe"}) {
      int fd = ::open((fs::path(ft_) / pipe).c_str(), O_RDWR | O_NONBLOCK);
      if (fd >= 0) ::close(fd);
    }
    FileScripts::TearDown();
  }
  // The run under a time limit and a file size limit: a call that waits on
  // a pipe or copies /dev/zero fails the test instead of hanging it or
  // filling the disk.
  CheckRun RunLimited(const std::string& script) {
    const std::string errFile = base_ + "/limited-stderr.txt";
    const std::string cmd = "ulimit -f 65536; ZOREL_MACHINE='" + root_ + "' timeout -s KILL 60 " +
                            ZOREL_BINARY_DIR "/src/cli/zorel check " + CaseArguments(script, "101") +
                            " 2>'" + errFile + "'";
    CheckRun run;
    run.out = Shell(cmd + "; echo \"exit $?\"");
    const size_t at = run.out.rfind("exit ");
    if (at != std::string::npos) run.status = std::atoi(run.out.c_str() + at + 5);
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return run;
  }
};

TEST_F(FileSpecialScript, PipesAndDevicesAnswerAtOnceWithAccessDenied) {
  const CheckRun run = RunLimited("file_nonregular.js");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  for (const char* refused : {"info.pipe", "info.zero", "copy.frompipe", "copy.fromzero",
                              "copy.topipe", "create.pipe", "create.zero", "regex.pipe",
                              "replace.pipe", "csv.pipe", "csv.zero"}) {
    EXPECT_EQ(Code(refused), 5) << refused;
    EXPECT_LT(Answer(std::string(refused) + ".ms").asInt(), 1000) << refused;
  }
  EXPECT_TRUE(Contains(Log(), "File : C:\\ProgramData\\FT\\special//pipe Error : Access is denied."));
  EXPECT_TRUE(Contains(Log(), "File : Z:\\dev//zero Error : Access is denied."));
  EXPECT_FALSE(Has("special/copy1"));
  EXPECT_FALSE(Has("special/copy2"));
  EXPECT_EQ(Get("special/plain.txt"), "plain");

  // Folder walks pass over the pipes: the regular files are described or
  // deleted, the pipes stay untouched.
  EXPECT_EQ(Code("csv.walk"), 0);
  std::ifstream csv(store_ + "/collection/FileVersion/walk.csv");
  Strings described;
  for (std::string line; std::getline(csv, line);) described.push_back(line.substr(0, line.find(',')));
  std::sort(described.begin(), described.end());
  EXPECT_EQ(described, (Strings{"C:\\ProgramData\\FT\\special//plain.txt",
                                "C:\\ProgramData\\FT\\special\\rm//a.txt",
                                "C:\\ProgramData\\FT\\special\\sub//b.txt"}));
  EXPECT_EQ(Code("remove.walk"), 0);
  EXPECT_FALSE(Has("special/rm/a.txt"));
  EXPECT_TRUE(Has("special/rm/pipe"));
  for (const char* walked : {"csv.walk", "remove.walk"})
    EXPECT_LT(Answer(std::string(walked) + ".ms").asInt(), 1000) << walked;
}

// ------------------------------------------------- downloads and cabinets

class FileDownloadScript : public FileScripts {
 protected:
  void SetUp() override {
    FileScripts::SetUp();
    source_.resize(3 << 20);
    for (size_t i = 0; i < source_.size(); ++i) source_[i] = static_cast<char>((i * 7919) >> 3);
    Put("src.bin", source_);
    Put("new/old.txt", "fresh");
    Put("dl/old.txt", "stale");
    Put("a.ZIP", "PK\x03\x04 not really");
    Put("broken.cab", "MSCF but nothing else");
    Put("gcab/sub/b.txt", "inside the cabinet");
    Put("gcab/top.txt", "top");
    Shell("cd '" + ft_ + "/gcab' && gcab -c -z '" + ft_ + "/GCAB.CAB' sub/b.txt top.txt 2>&1");
  }
  std::string source_;
};

TEST_F(FileDownloadScript, DownloadsWithFileUrls) {
  Run("file_download.js");
  EXPECT_EQ(Code("dl.file"), 0);
  EXPECT_TRUE(Answer("dl.file")["status"].asBool());
  EXPECT_EQ(Get("dl/src.bin"), source_);
  EXPECT_EQ(Get("dl/old.txt"), "fresh");
  // A URL ending in a slash names no file.
  EXPECT_EQ(Code("dl.slash"), 20001);
  EXPECT_FALSE(Answer("dl.slash")["status"].asBool());
  // A failed download leaves nothing behind.
  EXPECT_EQ(Code("dl.missing"), 20001);
  EXPECT_FALSE(Has("dl/none.bin"));
  EXPECT_EQ(Code("dl.refused"), 20001);
  EXPECT_FALSE(Has("dl/refused.bin"));
  EXPECT_EQ(Code("dl.nofolder"), 20004);
  EXPECT_TRUE(Contains(Log(), "Downloadlocation : C:\\ProgramData\\FT\\nowhere Error : "));
  EXPECT_EQ(Code("dl.folderisfile"), 20004);
  EXPECT_EQ(Code("dl.one"), 20023);
  EXPECT_EQ(Code("dl.three"), 20023);
  EXPECT_EQ(Code("dl.emptyurl"), 87);
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'File::downloadFile' and INPUT_DETAILS like '%src.bin%' and ERROR_CODE = 0"),
            (Rows{{R"({"URL":"file:///C:/ProgramData/FT/src.bin","DownloadLocation":)"
                   R"("C:\ProgramData\FT\dl\src.bin"})"}}));
}

TEST_F(FileDownloadScript, ExtractsCabinetsOnly) {
  Run("file_download.js");
  ASSERT_EQ(Code("dl.cab"), 0);
  // A cabinet of gcab's, named in capitals, downloaded and extracted.
  EXPECT_EQ(Code("x.cab"), 0);
  EXPECT_EQ(Get("out/sub/b.txt"), "inside the cabinet");
  EXPECT_EQ(Get("out/top.txt"), "top");
  // Anything else is left alone.
  EXPECT_EQ(Code("x.zip"), 0);
  EXPECT_FALSE(Has("out-zip"));
  EXPECT_EQ(Code("x.broken"), 20016);
  EXPECT_TRUE(Contains(Log(), "Failed in decompression of downloaded file"));
  EXPECT_EQ(Code("x.missing"), 3);
  EXPECT_TRUE(Contains(Log(), "Source file not found. Path : C:\\ProgramData\\FT\\none.cab"));
  EXPECT_EQ(Code("x.one"), 87);
  EXPECT_EQ(Code("x.empty"), 87);
  EXPECT_TRUE(Contains(Log(), "Sourec file name and destination file name can't be empty"));
}

}  // namespace
