// Event logs through the binaries: records in with `zorel machine eventlog
// import` and System32\eventcreate.exe, then the EventLogger object through
// `zorel check --script` with tests/data/checks/eventlog_*.js: answers,
// operation rows, the collection files byte for byte, and damaged stores.

#include <gtest/gtest.h>
#include <json/json.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "check_cli_support.h"
#include "script_answers.h"

namespace {

namespace fs = std::filesystem;
using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Rows;

struct Ran {
  int status;
  std::string out;
};

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class EventLogScripts : public CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    ::setenv("TZ", "UTC", 1);  // the CSV shows local times
    ASSERT_EQ(Zorel("machine info").status, 0);  // made and started: System32 has its tools
    system32_ = root_ + "/drive_c/Windows/System32";
  }

  // Runs a command line with the machine root set; output and error together.
  Ran Shell(const std::string& command) {
    Ran ran{-1, {}};
    const std::string line = "ZOREL_MACHINE='" + root_ + "' " + command + " 2>&1";
    if (FILE* p = ::popen(line.c_str(), "r")) {
      std::array<char, 4096> buffer;
      size_t n;
      while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) ran.out.append(buffer.data(), n);
      const int status = ::pclose(p);
      ran.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return ran;
  }
  Ran Zorel(const std::string& args) { return Shell(ZOREL_BINARY_DIR "/src/cli/zorel " + args); }
  Ran EventCreate(const std::string& args) { return Shell("'" + system32_ + "/eventcreate.exe' " + args); }
  Ran Import(const std::string& lines) {
    const std::string file = base_ + "/records.jsonl";
    std::ofstream(file, std::ios::binary) << lines;
    return Zorel("machine eventlog import '" + file + "'");
  }
  Ran Reg(const std::string& args) { return Shell("'" + system32_ + "/reg.exe' " + args); }

  CheckRun Run(const std::string& script) {
    const std::string whole = base_ + "/" + script;
    {
      std::ofstream out(whole, std::ios::binary);
      for (const std::string& part : {DataScript("file_cases_prelude.js"), DataScript(script)}) {
        std::ifstream in(part, std::ios::binary);
        out << in.rdbuf();
      }
    }
    CheckRun run = Check("--script '" + whole + "' --store '" + store_ + "' --stages 101");
    EXPECT_NE(run.status, 2) << run.out << run.err;
    return run;
  }
  // "errorcode return" of an answer; "empty" for the empty text.
  std::string Outcome(const std::string& label) const {
    const Rows rows = Query(zorel::testing::NotedAnswerQuery(label));
    if (rows.size() == 1 && rows[0][0] == "(empty)") return "empty";
    const Json::Value a = zorel::testing::NotedAnswer(rows, label);
    return std::to_string(a["errorcode"].asInt()) + " " + (a["return"].asBool() ? "1" : "0");
  }

  std::string system32_;
};

TEST_F(EventLogScripts, EventCreateWritesRegistersAndRefusesBadOptions) {
  struct Case {
    const char* args;
    int status;
    const char* output;  // the start of what it prints
  };
  const Case cases[] = {
      {"/T ERROR /ID 1001 /D x", 1, "ERROR: Invalid ID"},
      {"/T ERROR /ID 0 /D x", 1, "ERROR: Invalid ID"},
      {"/T ERROR /ID 12x /D x", 1, "ERROR: Invalid ID"},
      {"/T FATAL /ID 1 /D x", 1, "ERROR: Invalid value 'FATAL'"},
      {"/T ERROR /ID 1", 1, "ERROR: Invalid syntax. Mandatory option '/D'"},
      {"/T ERROR /ID 1 /D x /L Security", 1, "ERROR: Invalid value 'Security'"},
      {"/T ERROR /ID 1 /D x /Q", 1, "ERROR: Invalid argument/option - '/Q'"},
      {"/T ERROR /T ERROR /ID 1 /D x", 1, "ERROR: Invalid syntax."},
      {"/t warning /id 20 /d 'Disk, \"quoted\" & more' /so MyApp", 0,
       "SUCCESS: An event of type 'WARNING' was created in the 'Application' log with 'MyApp' as "
       "the source."},
      {"/ID 7 /D again /SO myapp /T Success", 0, "SUCCESS: An event of type 'SUCCESS'"},
      {"/T ERROR /ID 1 /D x /L SYSTEM /SO MyApp", 1, "ERROR: Source already exists in 'Application'"},
  };
  for (const Case& c : cases) {
    const Ran ran = EventCreate(c.args);
    EXPECT_EQ(ran.status, c.status) << c.args << ": " << ran.out;
    EXPECT_EQ(ran.out.rfind(c.output, 0), 0u) << c.args << ": " << ran.out;
  }
  const Ran key = Reg("query 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\MyApp'");
  EXPECT_NE(key.out.find("%SystemRoot%\\System32\\eventcreate_msg.dll"), std::string::npos) << key.out;
  EXPECT_NE(key.out.find("REG_EXPAND_SZ"), std::string::npos) << key.out;
  EXPECT_TRUE(fs::is_regular_file(system32_ + "/eventcreate_msg.dll"));
  // Only the two good calls wrote, into Application, numbered 1 and 2.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((root_ + "/eventlog.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT group_concat(log || number, ' ') FROM records", -1, &st,
                               nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "Application1 Application2");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(EventLogScripts, ImportRefusesABadLineWithItsPlace) {
  const Ran bad = Import(R"({"log":"System","source":"S","id":1})"
                         "\n"
                         R"({"log":"System","source":"S","id":99999999999})"
                         "\n");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("records.jsonl:2: \"id\" must be a number from 0 to 4294967295"),
            std::string::npos) << bad.out;
  const Ran good = Import(R"({"log":"System","source":"S","id":1})" "\n");
  EXPECT_EQ(good.status, 0) << good.out;
  EXPECT_NE(good.out.find("Imported 1 record from"), std::string::npos) << good.out;
}

class EventLogCases : public EventLogScripts {
 protected:
  void SetUp() override {
    EventLogScripts::SetUp();
    ASSERT_EQ(EventCreate("/T WARNING /ID 20 /D 'Disk, \"quoted\" & more' /SO MyApp").status, 0);
    // ZTest's message files: every broken kind first, the good one last.
    const std::string good = Read(system32_ + "/eventcreate_msg.dll");
    const std::string zt = root_ + "/drive_c/ZT";
    fs::create_directories(zt + "/folder.dll");
    ASSERT_EQ(::mkfifo((zt + "/pipe.dll").c_str(), 0600), 0);
    auto put = [&](const std::string& name, std::string bytes) {
      std::ofstream(zt + "/" + name, std::ios::binary) << bytes;
    };
    auto patched = [&](size_t at, uint32_t v) {
      std::string b = good;
      for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
      return b;
    };
    const size_t rsrc = 0x200, table = rsrc + 88;
    put("text.dll", "not a PE file");
    put("cuttree.dll", good.substr(0, rsrc + 30));
    put("cutentry.dll", good.substr(0, table + 16 + 12 * 500 + 6));
    put("blocks.dll", patched(table, 0x80000000u));
    put("wild.dll", patched(table + 12, 0x7FFFFFF0u));
    put("len0.dll", patched(table + 16, 0));
    put("lenpast.dll", patched(table + 16 + 12 * 998, 0xFFFF));
    put("self.dll", patched(rsrc + 20, 0x80000000u));  // the root points back at itself
    std::string list;
    for (const char* name : {"missing", "folder", "pipe", "text", "cuttree", "cutentry", "blocks",
                             "wild", "len0", "lenpast", "self"})
      list += std::string("C:\\ZT\\") + name + ".dll;";
    list += "%SystemRoot%\\System32\\eventcreate_msg.dll";
    ASSERT_EQ(Reg("add 'HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\System\\ZTest' /v "
                  "EventMessageFile /t REG_EXPAND_SZ /d '" + list + "' /f").status, 0);
    const Ran imported = Import(
        R"({"log":"System","source":"Service Control Manager","id":1073748860,"ago":172800,"strings":["Old"]})" "\n"
        R"({"log":"System","source":"Disk","id":11,"type":1,"ago":2592000,"strings":["\\Device\\Harddisk1"]})" "\n"
        R"({"log":"System","source":"ZTest","id":999,"time":"2016-12-05T14:03:07Z","strings":["Hello, \"World\" & more\r\nline2"]})" "\n"
        R"({"log":"System","source":"ZTest","id":777,"time":"2017-01-02T03:04:05Z"})" "\n"
        R"({"log":"System","source":"Service Control Manager","id":1073748860,"ago":3600,"strings":["Spooler","running"]})" "\n");
    ASSERT_EQ(imported.status, 0) << imported.out;
    Run("eventlog_cases.js");
  }
};

TEST_F(EventLogCases, AnswersOfEachFilter) {
  struct Case {
    const char* label;
    const char* outcome;  // errorcode return
  } cases[] = {
      {"none.five", "87 0"},          {"none.zero", "87 0"},
      {"none.days0", "87 0"},         {"scm.day", "0 1"},
      {"scm.type", "0 1"},            {"scm.wrongtype", "0 0"},
      {"disk.day", "0 0"},            {"disk.days24856", "0 1"},
      {"two.args", "0 1"},            {"source.case", "0 1"},
      {"message.case", "0 1"},        {"message.othercase", "0 0"},
      {"nomessagefile", "0 0"},       {"bigfilter", "0 0"},
      {"type.abc", "empty"},          {"type.70000", "empty"},
      {"unregistered", "0 1"},        {"unregistered.message", "0 0"},
      {"eventcreate.message", "0 1"}, {"collect.one", "0 0"},
      {"collect.two", "0 0"},         {"collect.nomatch", "0 0"},
      {"collect.none", "87 0"},       {"collect.dotdot", "0 0"},
      {"collect.drive", "0 0"},       {"collect.odd", "0 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.label), c.outcome) << c.label;
  // Bad types leave no operation row: the other 24 calls have one each.
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where COMPONENT_NAME = 'EventLogger'"),
            (Rows{{"24"}}));
  EXPECT_EQ(Query("select INPUT_DETAILS, ERROR_CODE, OPERATION_TYPE from OPERATION_TABLE where "
                  "API_NAME = 'EventLogger::IsEventPresent' and INPUT_DETAILS like '%7036%' limit 1"),
            (Rows{{R"({"numberOfDays":"1","eventId":"7036"})", "0", "0"}}));
  EXPECT_EQ(Query("select INPUT_DETAILS, ERROR_CODE from OPERATION_TABLE where API_NAME = "
                  "'EventLogger::IsEventPresent' and ERROR_CODE = 87 order by ID limit 2"),
            (Rows{{"{}", "87"}, {"{}", "87"}}));
  EXPECT_NE(Log().find("ReadEventLog failed."), std::string::npos);
}

TEST_F(EventLogCases, CollectionFilesAndRows) {
  const fs::path folder = fs::path(store_) / "collection" / "eventLog";
  const std::string header = "\"Id , Source, Time, Message\"\n\n";
  const std::string rows =
      // 777: an id the system table lacks, so the broken files before the good
      // one give no system text either (FROM_SYSTEM would answer 5).
      "\"777, ZTest, 1\\2\\2017 3:4:5, %1\"\n"
      "\"999, ZTest, 12\\5\\2016 14:3:7, Hello  &\"World&\" && more  line2\"\n";
  EXPECT_EQ(Read(folder / "System.csv"), header + rows + header + rows + header);
  // Group names never leave the folder.
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(store_))
    if (entry.path().extension() == ".csv") files.insert(entry.path().lexically_relative(store_).string());
  EXPECT_EQ(files, (std::set<std::string>{"collection/eventLog/System.csv",
                                          "collection/eventLog/.._.._x.csv",
                                          "collection/eventLog/C__x.csv",
                                          "collection/eventLog/a_______b.csv"}));
  EXPECT_FALSE(fs::exists(fs::path(store_).parent_path() / "x.csv"));
  const std::string myapp = Read(folder / "C__x.csv");
  EXPECT_NE(myapp.find("\"20, MyApp, "), std::string::npos) << myapp;
  EXPECT_EQ(myapp.find("quoted"), std::string::npos) << myapp;  // messages under "C:\x": none
  // One collection row per successful collection, SOURCE as given.
  EXPECT_EQ(Query("select SOURCE, COLLECTION_TYPE, ISDB, ISIMPORTANT, SIZE from COLLECTION_TABLE "
                  "order by ID"),
            (Rows{{"System", "7", "0", "1", "0"}, {"System", "7", "0", "1", "0"},
                  {"System", "7", "0", "1", "0"}, {"..\\..\\x", "7", "0", "1", "0"},
                  {"C:\\x", "7", "0", "1", "0"}, {"a*?\"<>|\x01" "b", "7", "0", "1", "0"}}));
  const Rows destination = Query("select DESTINATION from COLLECTION_TABLE limit 1");
  ASSERT_EQ(destination.size(), 1u);
  EXPECT_NE(destination[0][0].find("collection\\eventLog\\"), std::string::npos);
}

TEST_F(EventLogScripts, DamagedStoresAnswer1500AndCollectNothing) {
  ASSERT_EQ(Import(R"({"log":"System","source":"Disk","id":11})" "\n"
                   R"({"log":"System","source":"Disk","id":12})" "\n").status, 0);
  struct Case {
    const char* what;
    const char* sql;  // run on eventlog.db; null: the file is replaced by noise
  };
  const Case cases[] = {
      {"Length 0", "UPDATE records SET record = x'00000000' || substr(record, 5) WHERE number = 2"},
      {"Length too large", "UPDATE records SET record = x'f0ffff7f' || substr(record, 5) WHERE number = 2"},
      {"below the header", "UPDATE records SET record = x'28000000' || substr(record, 5) WHERE number = 2"},
      {"cut short", "UPDATE records SET record = substr(record, 1, length(record) - 8) WHERE number = 2"},
      {"random bytes", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string db = root_ + "/eventlog.db";
    const std::string saved = base_ + "/saved.db";
    fs::copy_file(db, saved, fs::copy_options::overwrite_existing);
    if (c.sql) {
      sqlite3* handle = nullptr;
      ASSERT_EQ(sqlite3_open(db.c_str(), &handle), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(handle, c.sql, nullptr, nullptr, nullptr), SQLITE_OK);
      sqlite3_close(handle);
    } else {
      std::string noise(8192, '\0');
      for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 11);
      std::ofstream(db, std::ios::binary | std::ios::trunc) << noise;
    }
    fs::remove_all(store_);
    Run("eventlog_damaged.js");
    EXPECT_EQ(Outcome("present"), "1500 0");
    EXPECT_EQ(Outcome("collect"), "1500 0");
    EXPECT_EQ(Query("select count(*) from COLLECTION_TABLE"), (Rows{{"0"}}));
    fs::copy_file(saved, db, fs::copy_options::overwrite_existing);
    fs::remove(db + "-wal");
    fs::remove(db + "-shm");
  }
}

}  // namespace

namespace {

// The example for script authors, after the eventcreate line its header
// shows: the search finds the record, the collection succeeds.
TEST_F(EventLogScripts, ExampleScriptFindsWhatEventCreateWrote) {
  ASSERT_EQ(EventCreate("/T ERROR /ID 42 /D 'Setup could not reach its server' /SO DemoSetup").status, 0);
  const CheckRun run = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/events.js' --store '" +
                             store_ + "' --offline --stages 101");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(Query("select PROBLEM_ID, STAGE_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID"),
            (Rows{{"1", "101", "3"}, {"2", "101", "1"}}));
}

}  // namespace
