// zorel check --trace and zorel matrix through the binary.

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "check_cli_support.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ParseJson(const std::string& text, Json::Value* value) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), value, &errors);
}

std::vector<Json::Value> TraceLines(const std::string& path) {
  std::vector<Json::Value> lines;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    Json::Value value;
    EXPECT_TRUE(ParseJson(line, &value)) << line.substr(0, 300);
    lines.push_back(value);
  }
  return lines;
}

class TraceAndMatrix : public CheckCli {
 protected:
  // "zorel ARGS" with the temporary folder inside this test's folder.
  CheckRun Zorel(const std::string& args) {
    fs::create_directories(base_ + "/tmp");
    return CheckCli::Zorel(args, "TMPDIR='" + base_ + "/tmp'");
  }
  size_t ScratchFolders() {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(base_ + "/tmp"))
      n += e.path().filename().string().rfind("zorel-matrix-", 0) == 0;
    return n;
  }
};

TEST_F(TraceAndMatrix, CheckTraceHasOneLinePerCallWithWhatTheScriptSaw) {
  // The store of a run without the trace, to compare with.
  ASSERT_EQ(CheckScript("trace_calls.js", "--stages 100,101 --offline").status, 0);
  const auto tableSizes = [this] {
    std::vector<std::string> sizes;
    for (const std::string& table : Column(Query("select name from sqlite_master where type='table' order by name")))
      sizes.push_back(table + " " + Query("select count(*) from \"" + table + "\"")[0][0]);
    return sizes;
  };
  const std::vector<std::string> untraced = tableSizes();
  fs::remove_all(store_);

  const std::string trace = base_ + "/calls.jsonl";
  std::ofstream(trace) << "left from an earlier run\n";
  const CheckRun run = CheckScript("trace_calls.js", "--stages 100,101 --offline --trace '" + trace + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  // Nothing of the trace goes into the store or its folder.
  EXPECT_EQ(tableSizes(), untraced);
  for (const auto& e : fs::directory_iterator(store_)) EXPECT_NE(e.path().extension(), ".jsonl");
  const std::vector<Json::Value> lines = TraceLines(trace);
  struct Expected {
    const char* component;
    const char* method;
    std::string argument;  // first argument, "" for none
  };
  const Expected expected[] = {
      {"OS", "getOSDetail", ""},
      {"OS", "isOsVersionEqual", std::string("a\0b", 3)},
      {"OS", "isOsVersionEqual", "\xEF\xBF\xBDx"},
      {"OS", "isOsVersionEqual", std::string(1 << 20, 'x')},
      {"System", "checkForDiskSpace", "1"},
  };
  ASSERT_EQ(lines.size(), std::size(expected));
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(expected[i].method);
    EXPECT_EQ(lines[i]["seq"].asUInt(), i + 1);
    EXPECT_EQ(lines[i]["component"].asString(), expected[i].component);
    EXPECT_EQ(lines[i]["method"].asString(), expected[i].method);
    if (expected[i].argument.empty()) {
      EXPECT_EQ(lines[i]["arguments"].size(), 0u);
    } else {
      ASSERT_EQ(lines[i]["arguments"].size(), 1u);
      EXPECT_EQ(lines[i]["arguments"][0].asString(), expected[i].argument);
    }
    Json::Value answer;
    ASSERT_TRUE(ParseJson(lines[i]["answer"].asString(), &answer));
    EXPECT_EQ(lines[i]["errorcode"].asInt(), answer["errorcode"].asInt());
    EXPECT_TRUE(lines[i]["ms"].isDouble() || lines[i]["ms"].isIntegral());
  }
  Json::Value detail;
  ASSERT_TRUE(ParseJson(lines[0]["answer"].asString(), &detail));
  EXPECT_EQ(detail["osname"].asString(), "Windows 10 Professional Edition(Build 19045)");
}

TEST_F(TraceAndMatrix, TraceFileThatCannotBeWrittenStopsBeforeTheRun) {
  fs::create_directories(base_ + "/folder");
  for (const std::string& target : {base_ + "/folder", base_ + "/missing/dir/t.jsonl"}) {
    const CheckRun run = CheckScript("trace_calls.js", "--offline --trace '" + target + "'");
    EXPECT_EQ(run.status, 2) << target;
    EXPECT_NE(run.err.find("trace file"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(store_ + "/ResultStore.db"));
  }
}

TEST_F(TraceAndMatrix, MatrixTableAndTheCallsThatDiffer) {
  const CheckRun run = Zorel("matrix --script '" + DataScript("matrix_cases.js") +
                             "' --images default,win10-x86,win81 --stages 100,101 --json");
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  Json::Value doc;
  ASSERT_TRUE(ParseJson(run.out, &doc)) << run.out;
  ASSERT_EQ(doc["images"].size(), 3u);
  for (const Json::Value& image : doc["images"]) EXPECT_TRUE(image["completed"].asBool()) << image.toStyledString();
  struct Row {
    int problem, stage;
    const char* onDefault;
    const char* onX86;
    const char* onWin81;
  };
  const Row rows[] = {{1, 100, "passed", "passed", "passed"},
                      {2, 101, "passed", "passed", "failed (3)"}};
  ASSERT_EQ(doc["table"].size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const Json::Value& row = doc["table"][static_cast<int>(i)];
    EXPECT_EQ(row["problemid"].asInt(), rows[i].problem);
    EXPECT_EQ(row["stageid"].asInt(), rows[i].stage);
    EXPECT_EQ(row["statuses"]["default"].asString(), rows[i].onDefault);
    EXPECT_EQ(row["statuses"]["win10-x86"].asString(), rows[i].onX86);
    EXPECT_EQ(row["statuses"]["win81"].asString(), rows[i].onWin81);
  }
  // The calls whose outcome differs: the version answers and the bitness.
  std::map<std::string, const Json::Value*> differing;
  for (const Json::Value& d : doc["differences"]) differing[d["method"].asString()] = &d;
  for (const char* method : {"getOSDetail", "getMajorVersion", "getOSArchType", "isOfType"})
    EXPECT_TRUE(differing.count(method)) << method;
  const Json::Value& arch = (*differing["getOSArchType"])["outcomes"];
  EXPECT_NE(arch["default"]["answer"].asString().find("64 Bit"), std::string::npos);
  EXPECT_NE(arch["win10-x86"]["answer"].asString().find("32 Bit"), std::string::npos);
  const Json::Value& type = (*differing["isOfType"])["outcomes"];
  EXPECT_EQ(type["default"]["errorcode"].asInt(), 0);
  EXPECT_NE(type["win10-x86"]["errorcode"].asInt(), 0);
  EXPECT_EQ(ScratchFolders(), 0u);  // removed without --keep
}

TEST_F(TraceAndMatrix, AnImageWhoseRunFailsIsNamedAndGivesExitOne) {
  const CheckRun run = Zorel("matrix --script '" + DataScript("matrix_cases.js") +
                             "' --images win7-sp1,default --stages 100 --keep --jobs 1");
  EXPECT_EQ(run.status, 1) << run.err << run.out;
  EXPECT_NE(run.err.find("did not complete on win7-sp1"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("did not complete on default"), std::string::npos) << run.err;
  // The text table: a header naming the images, the row passed on default only.
  EXPECT_NE(run.out.find("win7-sp1"), std::string::npos) << run.out;
  std::istringstream out(run.out);
  std::string header, row;
  std::getline(out, header);
  std::getline(out, row);
  EXPECT_LT(header.find("win7-sp1"), header.find("default")) << header;
  EXPECT_EQ(row.rfind("1 room to install", 0), 0u) << row;
  EXPECT_NE(row.find("no result"), std::string::npos) << row;
  EXPECT_NE(row.find("passed"), std::string::npos) << row;
  // --keep leaves the machines, stores and traces for a look.
  ASSERT_EQ(ScratchFolders(), 1u);
  for (const auto& e : fs::directory_iterator(base_ + "/tmp")) {
    EXPECT_TRUE(fs::exists(e.path() / "default" / "trace.jsonl"));
    EXPECT_TRUE(fs::exists(e.path() / "win7-sp1" / "machine" / ".zorel-machine"));
  }
}

TEST_F(TraceAndMatrix, MatrixRefusesBadOptionsBeforeMakingAnything) {
  const std::string script = "--script '" + DataScript("matrix_cases.js") + "'";
  const std::string cases[] = {
      script + " --images default,nope",     script + " --images default,default",
      script,                                "--images default",
      script + " --images default --stages x", script + " --images default --jobs 0",
      "--script /no/such.js --images default", script + " --sealed x.enc --images default",
  };
  for (const std::string& args : cases) {
    const CheckRun run = Zorel("matrix " + args);
    EXPECT_EQ(run.status, 2) << args << "\n" << run.err;
    EXPECT_NE(run.err.find("zorel matrix:"), std::string::npos) << run.err;
  }
  EXPECT_EQ(ScratchFolders(), 0u);
}

}  // namespace
}  // namespace zorel::testing
