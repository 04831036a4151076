// The Process object through `zorel check --script` on a fresh machine with
// real processes: copies of /bin/sleep, "#!" scripts and a hand-made 32-bit
// ELF under C:\Tools, a loopback HTTP server for the downloads. Each answer
// the script saw, its operation row, what the programs received and what
// collect stored.

#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../../platform/files/tiny_http_server.h"
#include "cab_writer.h"
#include "check_cli_support.h"
#include "script_answers.h"

namespace {

namespace fs = std::filesystem;
namespace cab = zorel::cab;
using zorel::testing::Rows;
using zorel::testing::TinyHttpServer;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void Write(const fs::path& path, const std::string& bytes, bool executable = true) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  if (executable) ::chmod(path.c_str(), 0755);
}

// An i386 ELF that waits for a signal: pause() in a loop, nothing else.
std::string Elf32Pause() {
  std::string elf(84, '\0');
  const unsigned char ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1};
  std::copy(ident, ident + sizeof ident, elf.begin());
  auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&elf[at], &v, 2); };
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&elf[at], &v, 4); };
  put16(16, 2), put16(18, 3), put32(20, 1);          // executable, i386, version
  put32(24, 0x08048054), put32(28, 52);              // entry, program headers
  put16(40, 52), put16(42, 32), put16(44, 1);        // sizes, one program header
  put32(52, 1), put32(56, 0), put32(60, 0x08048000);  // PT_LOAD from offset 0
  put32(64, 0x08048000), put32(68, 93), put32(72, 93), put32(76, 5), put32(80, 0x1000);
  // mov eax, 29 (pause); int 0x80; jmp back
  elf += std::string("\xB8\x1D\x00\x00\x00\xCD\x80\xEB\xF7", 9);
  return elf;
}

// A process started from the test (not through the script), killed and
// collected at the end. uid: run under that uid when not negative.
struct Started {
  pid_t pid = -1;
  Started(const std::string& program, const std::string& arg, int uid = -1) {
    pid = ::fork();
    if (pid == 0) {
      if (uid >= 0 && ::setuid(static_cast<uid_t>(uid)) != 0) ::_exit(126);
      ::execl(program.c_str(), program.c_str(), arg.empty() ? nullptr : arg.c_str(), nullptr);
      ::_exit(127);
    }
  }
  ~Started() {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  bool Alive() const { return ::waitpid(pid, nullptr, WNOHANG) == 0; }
};

class ProcessScripts : public zorel::testing::CheckCli {
 protected:
  Json::Value Answer(const std::string& label, bool emptyAllowed = false) const {
    return zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery(label)), label,
                                       emptyAllowed ? "(empty)" : nullptr);
  }
  // "errorcode status return" of an answer, e.g. "0 1 1".
  std::string Outcome(const std::string& label) const {
    const Json::Value a = Answer(label);
    return std::to_string(a["errorcode"].asInt()) + " " + (a["status"].asBool() ? "1" : "0") +
           " " + (a["return"].asBool() ? "1" : "0");
  }
  long Millis(const std::string& label) const {
    const Rows rows = Query(zorel::testing::NotedAnswerQuery(label + " ms"));
    return rows.size() == 1 ? std::stol(rows[0][0]) : -1;
  }
  std::string Input(const std::string& api, int nth = 0) const {
    const Rows rows = Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = '" + api +
                            "' order by ID limit 1 offset " + std::to_string(nth));
    return rows.empty() ? "(none)" : rows[0][0];
  }
};

TEST_F(ProcessScripts, RealProcessesDownloadsAndBadInput) {
  ASSERT_EQ(Check("--script '" + DataScript("no_header.js") + "' --store '" + base_ +
                  "/prep' --stages 101")
                .status,
            0);
  const fs::path tools = fs::path(root_) / "drive_c" / "Tools";
  fs::create_directories(tools);
  fs::create_directories(fs::path(root_) / "drive_c" / "Dl" / "in");  // download folders
  fs::copy_file("/bin/sleep", tools / "sleeper.exe");
  fs::copy_file("/bin/sleep", tools / "twin.exe");
  fs::copy_file("/bin/sleep", tools / "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa");
  Write(tools / "elf32.exe", Elf32Pause());
  // Without an execute bit: it runs all the same.
  Write(tools / "tool.exe", "#!/bin/sh\nprintf '[%s]' \"$@\" > \"$(dirname \"$0\")/tool.out\"\n",
        false);
  Write(tools / "slow.exe", "#!/bin/sh\nsleep \"$1\"\n");
  Write(tools / "exit4.exe", "#!/bin/sh\nexit 4\n");
  Write(tools / "lingering.exe", "#!/bin/sh\nexec sleep \"$1\"\n");

  Started sleeper((tools / "sleeper.exe").string(), "60");
  Started twin1((tools / "twin.exe").string(), "60"), twin2((tools / "twin.exe").string(), "60");
  Started aaa((tools / "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa").string(), "60");
  Started elf32((tools / "elf32.exe").string(), "");
  Started host("/bin/sleep", "60");                  // outside drive_c: Z:\...
  Started stranger("/bin/sleep", "61", 54321);       // a uid without a passwd entry
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const bool runs32 = elf32.Alive();

  // The server: the cabinet with setup.exe, a plain program, a cabinet
  // whose name climbs out of its folder, and 404 for anything else.
  const fs::path cabs = fs::path(base_) / "cabs";
  fs::create_directories(cabs);
  auto cabinet = [&](const char* file, const char* stored, const std::string& bytes) {
    cab::WriterOptions options;
    options.folder = cabs;
    options.firstName = file;
    options.tempFile = [&] { return cabs / "data.tmp"; };
    cab::Writer writer(options);
    EXPECT_TRUE(writer.addBytes(bytes, {stored}));
    EXPECT_TRUE(writer.finish());
    return Read(cabs / file);
  };
  const std::string marker = (fs::path(base_) / "setup.out").string();
  const std::string setup =
      cabinet("Setup.CAB", "setup.exe", "#!/bin/sh\nprintf '[%s]' \"$@\" > '" + marker + "'\n");
  const std::string climbing = cabinet("climb.cab", "..\\..\\x", "#!/bin/sh\ntouch /tmp/ran\n");
  TinyHttpServer server([&](const std::string& request, const TinyHttpServer::Send& send) {
    if (request.find("GET /Setup.CAB ") != std::string::npos) return send(TinyHttpServer::ok(setup));
    if (request.find("GET /climb.cab ") != std::string::npos)
      return send(TinyHttpServer::ok(climbing));
    if (request.find("GET /hello.exe ") != std::string::npos)
      return send(TinyHttpServer::ok("#!/bin/sh\nexit 0\n"));
    if (request.find("GET /exit4.exe ") != std::string::npos)
      return send(TinyHttpServer::ok("#!/bin/sh\nexit 4\n"));
    send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  });
  const std::string script = base_ + "/process_cases.js";
  {
    std::ofstream out(script);
    out << "var cases = {cabinet: '" << server.url("/Setup.CAB") << "', plain: '"
        << server.url("/hello.exe") << "', exit4: '" << server.url("/exit4.exe")
        << "', missing: '" << server.url("/missing.exe")
        << "', closed: 'http://127.0.0.1:1/x.exe', climbing: '" << server.url("/climb.cab")
        << "'};\n"
        << Read(ZOREL_SOURCE_DIR "/tests/plugins/process/scripts/process_cases.js");
  }
  const auto run = Check("--script '" + script + "' --store '" + store_ + "' --stages 101");
  ASSERT_EQ(run.status, 0) << run.out << run.err;

  // Lookups: case equality, patterns over the lower-cased name, bad input.
  EXPECT_EQ(Outcome("isRunning empty"), "87 0 0");
  EXPECT_EQ(Input("Process::isRunning"), R"({"name":""})");
  EXPECT_EQ(Outcome("isRunning case"), "0 1 1");
  EXPECT_EQ(Outcome("isRunning pattern"), "0 1 1");
  EXPECT_EQ(Outcome("isRunning capitals"), "30052 1 0");
  EXPECT_EQ(Outcome("isRunning long"), "30052 1 0");
  EXPECT_TRUE(Answer("isRunning invalid", true).isNull());
  EXPECT_FALSE(Answer("isRunning catastrophic")["status"].asBool());
  EXPECT_LT(Millis("isRunning catastrophic"), 5000);
  EXPECT_EQ(Outcome("is32Bit 64"), "30051 1 0");
  if (runs32) {
    EXPECT_EQ(Outcome("is32Bit 32"), "0 1 1");
  }
  EXPECT_EQ(Outcome("is32Bit long"), "30053 1 0");
  EXPECT_TRUE(Answer("isAdmin", true).isNull());
  EXPECT_EQ(Outcome("stop two"), "0 1 0");
  EXPECT_FALSE(twin1.Alive() || twin2.Alive());
  EXPECT_EQ(Outcome("stop again"), "127 0 0");
  EXPECT_EQ(Outcome("stop long"), "127 0 0");

  // start: its command line and arguments, waits and exit codes.
  EXPECT_EQ(Outcome("start two args"), "87 0 0");
  EXPECT_EQ(Input("Process::start"),
            R"({"name":"tool.exe","path":"C:\Tools","lMaxWaitSec":"-1.000000","bWait":"0","strArgument":""})");
  EXPECT_EQ(Outcome("start /q"), "0 1 0");
  EXPECT_EQ(Read(tools / "tool.out"), "[/q]");
  EXPECT_EQ(Outcome("start 1.9"), "30055 1 0");
  EXPECT_GE(Millis("start 1.9"), 1000);
  EXPECT_LT(Millis("start 1.9"), 1900);
  EXPECT_TRUE(Answer("start abc", true).isNull());
  EXPECT_EQ(Outcome("start NaN"), "30055 1 0");
  EXPECT_LT(Millis("start NaN"), 900);
  for (const char* label : {"start infinity", "start -1", "start 1e30"})
    EXPECT_EQ(Outcome(label), "4 1 0") << label;
  EXPECT_EQ(Outcome("start lingering"), "0 1 0");
  EXPECT_EQ(Outcome("isRunning lingering"), "0 1 1");  // the "#!" tool by its own name
  EXPECT_EQ(Outcome("stop lingering"), "0 1 0");

  // Downloads: extracted and run, the temporary folder, refusals.
  EXPECT_EQ(Answer("execute five")["errorcode"].asInt(), 20023);
  EXPECT_EQ(Outcome("execute cabinet"), "0 1 0");
  EXPECT_EQ(Read(marker), "[x][y]");
  EXPECT_EQ(Outcome("execute temp"), "0 1 0");
  const std::string temp = Input("Process::ExecuteExternalApplication", 2);
  EXPECT_NE(temp.find(R"("DownloadDest":"C:\)"), std::string::npos) << temp;
  EXPECT_NE(temp.find(R"(\Temp\")"), std::string::npos) << temp;
  EXPECT_EQ(Outcome("execute wait"), "4 1 0");
  EXPECT_EQ(Answer("execute missing")["errorcode"].asInt(), 20001);
  EXPECT_EQ(Answer("execute closed")["errorcode"].asInt(), 20001);
  EXPECT_EQ(Answer("execute climbing")["errorcode"].asInt(), 20016);
  EXPECT_FALSE(fs::exists(fs::path(root_) / "drive_c" / "x"));
  EXPECT_FALSE(fs::exists(fs::path(root_) / "drive_c" / "Dl" / "x"));

  // collect: a row per process, the collection row, and the stand-in texts.
  EXPECT_EQ(Outcome("collect"), "0 0 0");
  const auto row = [&](pid_t pid) {
    const Rows rows = Query(
        "select PROCESS_NAME, PROCESS_PATH, USER_NAME, PLATFORM, ELEVATED from "
        "PROCESS_COLLECTION_TABLE where PROCESS_ID = " + std::to_string(pid));
    return rows.empty() ? std::vector<std::string>{} : rows[0];
  };
  EXPECT_EQ(row(sleeper.pid),
            (std::vector<std::string>{"sleeper.exe", "C:\\Tools\\sleeper.exe", "root", "64 Bit", "1"}));
  const std::vector<std::string> z = row(host.pid);
  ASSERT_EQ(z.size(), 5u);
  EXPECT_EQ(z[1].rfind("Z:\\", 0), 0u) << z[1];
  EXPECT_EQ(row(stranger.pid)[2], "Not able to get the user for the process");
  if (runs32) {
    EXPECT_EQ(row(elf32.pid)[3], "32 Bit");
  }
  EXPECT_EQ(Query("select COLLECTION_TYPE, SOURCE, DESTINATION, SIZE, ISDB, ISIMPORTANT from "
                  "COLLECTION_TABLE where SOURCE = 'Process'"),
            (Rows{{"5", "Process", "PROCESS_COLLECTION_TABLE", "0", "1", "1"}}));
  EXPECT_EQ(Input("Process::collect"), "");
  const std::string log = Log();
  for (const char* line : {"Invalid params passed for Process::isRunning(). Process Name is empty.",
                           "Process user is empty", "CheckProcessIs32Bit - bIs32Bit is FALSE",
                           "Error while terminating process twin.exe. Error : Process not found.",
                           "The process did not exited during the given time",
                           "Failed in decompression of downloaded file"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
  if (!runs32) GTEST_SKIP() << "this kernel runs no i386 programs: the 32-bit cases were skipped";
}

}  // namespace
