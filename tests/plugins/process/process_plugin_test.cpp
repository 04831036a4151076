// The Process object over a fake process source: how names match, what
// start runs and how long it waits, how stop and collect walk the list, and
// the codes, log lines and records each path leaves. Real processes are
// tested through zorel check (process_scripts_test.cpp).

#include "zorel/plugins/process/process.h"

#include <gtest/gtest.h>

#include <boost/regex.hpp>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>

#include "../os/plugin_fixture.h"
#include "zorel/platform/process/process_list.h"
#include "zorel/platform/process/sync.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/process/process_rules.h"

namespace zorel {
namespace {

using namespace zorel::platform;
namespace rules = process_rules;
const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

// One fake process: what each query answers.
struct FakeProcess {
  ProcessEntry entry;
  WinError module = 0;  // moduleName's answer (0: the entry's name)
  WinError open = 0;    // OpenProcess for query access
  WinError path = 0, user = 0, wow64Error = 0, terminate = 0;
  bool wow64 = false, elevated = false;
  uint64_t memory = 4096;
};

struct FakeSource;

struct FakeHandle : IProcessHandle {
  FakeSource& source;
  const FakeProcess& p;
  FakeHandle(FakeSource& s, const FakeProcess& process) : source(s), p(process) {}
  uint32_t processId() const override { return p.entry.processId; }
  WinError imagePath(std::wstring* out) override {
    *out = L"C:\\Tools\\" + p.entry.exeFile;
    return p.path;
  }
  WinError isWow64(bool* out) override { return *out = p.wow64, p.wow64Error; }
  WinError userName(std::wstring* out) override {
    *out = p.user ? L"" : L"user";
    return p.user;
  }
  WinError elevated(bool* out) override { return *out = p.elevated, 0; }
  WinError workingSetSize(uint64_t* out) override { return *out = p.memory, 0; }
  WinError terminate(uint32_t) override;
};

// A started program that ends with `exit` once waited for `runsMs` or more.
struct FakeProgram : IProcess {
  uint32_t exit;
  uint32_t runsMs;
  uint32_t* waited;
  bool ended = false;
  uint32_t processId() const override { return 1; }
  uint32_t wait(uint32_t ms) override {
    *waited = ms;
    ended = ms >= runsMs;
    return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
  uint32_t exitCode() override { return ended ? exit : STILL_ACTIVE; }
  WinError terminate(uint32_t) override { return 0; }
};

struct FakeSource : IProcessSource {
  std::vector<FakeProcess> processes;
  WinError snapshotError = 0, startError = 0;
  uint32_t exit = 0, runsMs = 0, waited = 12345;
  std::vector<std::pair<std::wstring, std::wstring>> started;  // application, command line
  std::vector<uint32_t> terminated;

  WinError snapshot(std::vector<ProcessEntry>* out) override {
    out->clear();
    for (const FakeProcess& p : processes) out->push_back(p.entry);
    return snapshotError;
  }
  WinError moduleName(const ProcessEntry& e, std::wstring* name) override {
    const FakeProcess& p = find(e.processId);
    if (p.module) return p.module;
    *name = p.entry.exeFile;
    return 0;
  }
  WinError open(uint32_t access, const ProcessEntry& e,
                std::unique_ptr<IProcessHandle>* handle) override {
    const FakeProcess& p = find(e.processId);
    if (p.open && access != PROCESS_QUERY_LIMITED_INFORMATION) return p.open;
    *handle = std::make_unique<FakeHandle>(*this, p);
    return 0;
  }
  WinError enableDebugPrivilege() override { return 0; }
  WinError start(const std::wstring& application, const std::wstring& line,
                 const ProcessStartOptions&, std::unique_ptr<IProcess>* process) override {
    started.emplace_back(application, line);
    if (startError) return startError;
    auto program = std::make_unique<FakeProgram>();
    program->exit = exit, program->runsMs = runsMs, program->waited = &waited;
    *process = std::move(program);
    return 0;
  }
  bool tempThrows = false;
  WinError tempPath(std::wstring* path) override {
    if (tempThrows) throw std::runtime_error("temp");
    return *path = L"C:\\Windows\\", 0;
  }

  const FakeProcess& find(uint32_t pid) const {
    for (const FakeProcess& p : processes)
      if (p.entry.processId == pid) return p;
    throw std::out_of_range("no such process");
  }
};

WinError FakeHandle::terminate(uint32_t) {
  if (!p.terminate) source.terminated.push_back(p.entry.processId);
  return p.terminate;
}

FakeProcess Named(uint32_t pid, const wchar_t* name) {
  FakeProcess p;
  p.entry.processId = pid;
  p.entry.exeFile = name;
  return p;
}

// A Process object over `source` writing to the bench's store.
struct Subject {
  testing::PluginBench& bench;
  std::shared_ptr<FakeSource> source = std::make_shared<FakeSource>();
  StackFrame none;
  Process plugin{none, source};
  explicit Subject(testing::PluginBench& b) : bench(b) { plugin.SetResultStore(&bench.store()); }

  std::unique_ptr<CJSONReturn> Call(const char* method, std::vector<std::wstring> args = {}) {
    StackFrame frame;
    for (std::wstring& a : args) frame.Push(std::move(a));
    return plugin.Call(method, frame);
  }
};

TEST(ProcessRules, NameMatchingWaitsAndCommandLines) {
  struct Match {
    const wchar_t* candidate;
    const wchar_t* name;
    bool matches;
  } matches[] = {
      {L"notepad.exe", L"NOTEPAD.EXE", true},    // equal without case
      {L"NOTEPAD.EXE", L"notepad.exe", true},
      {L"notepad.exe", L"note.*\\.exe", true},   // pattern over the lower-cased name
      {L"Notepad.exe", L"Notepad.*", false},     // capitals never match by pattern
      {L"notepad.exe", L"note", false},          // the whole name must match
      {L"tool.exe", L"tool.exe ", false},
  };
  for (const Match& m : matches) {
    const boost::regex pattern(rules::LowBytes(m.name));
    EXPECT_EQ(rules::NameMatches(m.candidate, m.name, pattern), m.matches)
        << toUtf8(m.candidate) << " / " << toUtf8(m.name);
  }

  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Wait {
    float seconds;
    uint32_t ms;
  } waits[] = {
      {1.9f, 1000}, {0.5f, 0}, {0, 0}, {nan, 0}, {-1, kInfinite}, {-0.5f, kInfinite},
      {inf, kInfinite}, {-inf, kInfinite}, {1e30f, kInfinite}, {4294966, 4294966000u},
      {4294967, kInfinite},
  };
  for (const Wait& w : waits) EXPECT_EQ(rules::WaitFromSeconds(w.seconds), w.ms) << w.seconds;
  struct WholeWait {
    int32_t seconds;
    uint32_t ms;
  } wholeWaits[] = {{0, 0}, {-5, 0}, {3, 3000}, {4294966 / 2, 2147483000u},
                    {2147483647, kInfinite}};
  for (const WholeWait& w : wholeWaits)
    EXPECT_EQ(rules::WaitFromWholeSeconds(w.seconds), w.ms) << w.seconds;

  EXPECT_EQ(rules::StartCommandLine(L"C:\\Tools", L"tool.exe", L"/q"), L"C:\\Tools//tool.exe /q");
  EXPECT_EQ(rules::StartCommandLine(L"", L"tool.exe", L""), L"tool.exe ");
  EXPECT_EQ(rules::DownloadedName(L"http://h/a/Setup.CAB"), L"Setup.CAB");
  EXPECT_EQ(rules::DownloadedName(L"C:\\x/y\\z.exe"), L"z.exe");
  EXPECT_EQ(rules::DownloadedName(L"http://h/a\\b/c.cab"), L"c.cab");  // the name saved
  EXPECT_TRUE(rules::IsCabinetName(L"Setup.CAB"));
  EXPECT_FALSE(rules::IsCabinetName(L"cab"));
}

// Which processes isRunning, is32Bit and stop find, and what each answers.
TEST(ProcessPlugin, LookupsFollowTheCandidateRules) {
  testing::PluginBench bench;
  Subject s(bench);
  FakeProcess denied = Named(10, L"secret.exe");
  denied.module = ERROR_ACCESS_DENIED;  // the list entry's name stands in
  FakeProcess kernel = Named(11, L"kthreadd");
  kernel.module = ERROR_NO_MORE_FILES;  // no module: skipped
  FakeProcess wow = Named(12, L"old.exe");
  wow.wow64 = true;
  FakeProcess locked = Named(13, L"locked.exe");
  locked.open = ERROR_ACCESS_DENIED;
  s.source->processes = {denied, kernel, wow, locked, Named(14, L"Tool.exe"), Named(15, L"tool.exe")};

  struct Case {
    const char* method;
    const wchar_t* name;
    int32_t code;
    bool status, answer;
  } cases[] = {
      {"isRunning", L"SECRET.EXE", 0, true, true},
      {"isRunning", L"kthreadd", 30052, true, false},
      {"isRunning", L"t.*", 0, true, true},
      {"isRunning", L"", 87, false, false},
      {"is32Bit", L"old.exe", 0, true, true},
      {"is32Bit", L"TOOL.exe", 30051, true, false},
      {"is32Bit", L"locked.exe", 20015, false, false},
      {"is32Bit", L"gone.exe", 30053, true, false},
      {"stop", L"TOOL.EXE", 0, true, false},
      {"stop", L"gone.exe", 127, false, false},
      {"stop", L"", 87, false, false},
  };
  size_t rows = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + toUtf8(c.name));
    s.plugin.name = c.name;
    const auto answer = s.Call(c.method);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_EQ(answer->status, c.status);
    EXPECT_EQ(answer->returnValue, c.answer);
    const testing::OperationRow row = bench.LastRow(++rows);
    EXPECT_EQ(row.input, L"{\"name\":\"" + std::wstring(c.name) + L"\"}");
    EXPECT_EQ(row.component, L"ProcessAPI");
  }
  EXPECT_EQ(s.source->terminated, (std::vector<uint32_t>{14, 15}));  // both instances

  // A pattern that cannot compile escapes (the script gets ""); one too
  // complex to decide ends in the catch path, still recorded.
  s.plugin.name = L"(";
  EXPECT_THROW(s.Call("isRunning"), std::exception);
  EXPECT_EQ(bench.Rows().size(), rows);
  s.source->processes = {Named(20, std::wstring(40, L'a').c_str())};
  s.plugin.name = L"(a*)*b";
  const auto answer = s.Call("isRunning");
  EXPECT_FALSE(answer->status);
  EXPECT_NE(bench.LogSinceCall().find("Inside catch. Function failed."), std::string::npos);
  // The previous code is kept where a path sets none, and isAdmin answers
  // nothing and records nothing.
  EXPECT_EQ(s.Call("isAdmin"), nullptr);
  EXPECT_EQ(bench.Rows().size(), rows + 1);
}

// What start and ExecuteExternalApplication run, how long they wait, and
// the code each outcome leaves.
TEST(ProcessPlugin, StartCommandLinesWaitsAndExitCodes) {
  testing::PluginBench bench;
  Subject s(bench);
  s.plugin.name = L"tool.exe";
  s.plugin.path = L"C:\\Tools";
  struct Case {
    std::vector<std::wstring> args;
    uint32_t exit, runsMs;
    int32_t code;
    bool status;
    uint32_t waited;  // 12345: no wait
    const wchar_t* input;
  } cases[] = {
      {{L"true", L"1.9", L"/q"}, 0, 0, 0, true, 1000,
       LR"({"name":"tool.exe","path":"C:\Tools","lMaxWaitSec":"1.900000","bWait":"1","strArgument":"/q"})"},
      {{L"true", L"5", L"x"}, 3, 0, 3, true, 5000, nullptr},        // the exit code is the answer
      {{L"1", L"2", L"x"}, 0, 9000, 30055, true, 2000, nullptr},    // still running
      {{L"true", L"NaN", L"x"}, 0, 1, 30055, true, 0, nullptr},     // NaN waits 0 ms
      {{L"true", L"-1", L"x"}, 4, 0, 4, true, kInfinite, nullptr},  // no limit
      {{L"false", L"5", L"x"}, 3, 0, 0, true, 12345, nullptr},      // no wait: started is enough
      {{L"true", L"5"}, 0, 0, 87, false, 12345,
       LR"({"name":"tool.exe","path":"C:\Tools","lMaxWaitSec":"-1.000000","bWait":"0","strArgument":""})"},
  };
  size_t rows = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.args[0] + L" " + c.args[1]));
    s.source->exit = c.exit, s.source->runsMs = c.runsMs, s.source->waited = 12345;
    const auto answer = s.Call("start", c.args);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_EQ(answer->status, c.status);
    EXPECT_EQ(s.source->waited, c.waited);
    const testing::OperationRow row = bench.LastRow(++rows);
    EXPECT_EQ(row.executionStatus, c.code == 0 ? 1 : 0);
    if (c.input) {
      EXPECT_EQ(row.input, c.input);
    }
  }
  EXPECT_EQ(s.source->started.front().second, L"C:\\Tools//tool.exe /q");
  EXPECT_THROW(s.Call("start", {L"true", L"abc", L"x"}), std::exception);
  EXPECT_EQ(bench.Rows().size(), rows);

  // The application form: the downloaded file's folder and " " + CmndLine.
  s.source->started.clear();
  s.source->startError = ERROR_BAD_EXE_FORMAT;
  const auto missing = s.Call("ExecuteExternalApplication",
                              {L"file:///nonexistent/x.exe", L"x.exe", L"", L"-a", L"false", L"5"});
  EXPECT_EQ(missing->errorcode, 20001);  // the download's code; nothing started
  EXPECT_TRUE(s.source->started.empty());
  EXPECT_EQ(bench.LastRow(++rows).input,
            LR"({"SourceUrl":"file:///nonexistent/x.exe","ProcessName":"x.exe","DownloadDest":"C:\Windows\","CmndLine":"-a","ShowUI":"false","WaitTime":"5"})");
  const auto few = s.Call("ExecuteExternalApplication", {L"a", L"b", L"c", L"d", L"true"});
  EXPECT_EQ(few->errorcode, 20023);
  EXPECT_EQ(bench.LastRow(++rows).input,
            LR"({"SourceUrl":"","ProcessName":"","DownloadDest":"","CmndLine":"","ShowUI":"true","WaitTime":"0"})");
  // An exception answers 20016 and is recorded all the same.
  s.source->tempThrows = true;
  const auto thrown = s.Call("ExecuteExternalApplication", {L"u", L"p", L"", L"", L"1", L"1"});
  EXPECT_EQ(thrown->errorcode, 20016);
  EXPECT_EQ(bench.LastRow(++rows).errorCode, 20016);

  // ">" prepares the store's collection\Execute folder, and without a
  // store there is none to prepare.
  s.source->startError = 0;
  EXPECT_EQ(s.Call("start", {L"false", L"0", L"> out.txt"})->errorcode, 0);
  EXPECT_TRUE(std::filesystem::is_directory(bench.store().HostFolder() + "/collection/Execute"));
  s.plugin.SetResultStore(nullptr);
  EXPECT_EQ(s.Call("start", {L"false", L"0", L"> out.txt"})->errorcode, 0);
}

// collect's rows, the texts that stand in for what could not be read, and
// the collection record.
TEST(ProcessPlugin, CollectRowsAndRecords) {
  testing::PluginBench bench;
  Subject s(bench);
  FakeProcess limited = Named(30, L"limited.exe");
  limited.open = ERROR_ACCESS_DENIED;  // opened with limited rights only
  limited.path = ERROR_INSUFFICIENT_BUFFER;
  limited.user = ERROR_NONE_MAPPED;
  limited.wow64Error = ERROR_ACCESS_DENIED;
  FakeProcess root = Named(31, L"sleep");
  root.elevated = true;
  root.wow64 = true;
  root.memory = 123456789012ull;
  s.source->processes = {limited, root};
  const auto answer = s.Call("collect");
  EXPECT_EQ(answer->errorcode, 0);
  EXPECT_FALSE(answer->status || answer->returnValue);
  DataTable table;
  ASSERT_TRUE(bench.store().ExecuteQuery(
      L"select PROCESS_NAME, PROCESS_PATH, PROCESS_ID, USER_NAME, MEMORY, PLATFORM, ELEVATED "
      L"from PROCESS_COLLECTION_TABLE order by ID",
      table));
  ASSERT_EQ(table.RowCount(), 2u);
  auto text = [&](size_t row, const wchar_t* column) {
    std::wstring value;
    table.Row(row).GetString(column, value);
    return value;
  };
  EXPECT_EQ(text(0, L"PROCESS_PATH"), L"Not able to get the process path");
  EXPECT_EQ(text(0, L"USER_NAME"), L"Not able to get the user for the process");
  EXPECT_EQ(text(0, L"PLATFORM"), L"Not able to identify");
  EXPECT_EQ(text(1, L"PROCESS_PATH"), L"C:\\Tools\\sleep");
  EXPECT_EQ(text(1, L"MEMORY"), L"123456789012");
  EXPECT_EQ(text(1, L"PLATFORM"), L"32 Bit");
  const std::string log = bench.LogSinceCall();
  EXPECT_NE(log.find("Failed getting the process path - Error: "), std::string::npos);
  EXPECT_NE(log.find("Process user is empty"), std::string::npos);
  EXPECT_EQ(log.find("Error getting the process user"), std::string::npos);  // 1332 is quiet
  DataTable collection;
  ASSERT_TRUE(bench.store().ExecuteQuery(
      L"select COLLECTION_TYPE, SOURCE, DESTINATION, ISDB, ISIMPORTANT from COLLECTION_TABLE",
      collection));
  ASSERT_EQ(collection.RowCount(), 1u);
  EXPECT_EQ(bench.LastRow(1).input, L"");

  // An empty snapshot: 20014, nothing saved.
  s.source->processes.clear();
  EXPECT_EQ(s.Call("collect")->errorcode, 20014);
  DataTable after;
  ASSERT_TRUE(bench.store().ExecuteQuery(L"select ID from COLLECTION_TABLE", after));
  EXPECT_EQ(after.RowCount(), 1u);
}

}  // namespace
}  // namespace zorel
