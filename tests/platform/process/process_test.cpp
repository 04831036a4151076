// createProcess on a fresh machine: how a command line is split and where
// the program is found, what a started program gets (arguments, streams,
// descriptors, environment, its command line) and what its starter sees
// (start errors, exit codes, waiting).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../machine/temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/command_line.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/process/sync.h"

namespace zorel::platform {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::wstring>;

TEST(CommandLine, SplitsAsTheCRuntime) {
  struct Case {
    const wchar_t* line;
    Strings args;
  } cases[] = {
      // The program name takes no backslash rules; its quotes only delimit.
      {LR"("C:\a b\x.exe" y)", {LR"(C:\a b\x.exe)", L"y"}},
      {LR"(C:\dir\ a)", {LR"(C:\dir\)", L"a"}},
      {LR"(p "a b"  c)", {L"p", L"a b", L"c"}},
      {LR"(p a\\\"b)", {L"p", LR"(a\"b)"}},        // 2n+1 backslashes: a literal quote
      {LR"(p "a\\" b)", {L"p", LR"(a\)", L"b"}},   // 2n: the quote closes
      {LR"(p a\b\\c)", {L"p", LR"(a\b\\c)"}},      // no quote after: kept
      {LR"(p "a""b" c)", {L"p", LR"(a"b)", L"c"}}, // "" inside quotes
      {LR"(p "")", {L"p", L""}},
      {L"p\ta  ", {L"p", L"a"}},
  };
  for (const Case& c : cases) EXPECT_EQ(splitCommandLine(c.line), c.args) << toUtf8(c.line);
}

TEST(CommandLine, QuotedArgumentsComeBackWhole) {
  const Strings args = {L"plain", L"a b", L"", LR"(C:\dir\)", LR"(C:\a b\)", LR"(x"y)",
                        LR"(a\"b)", L"&|>", LR"(\\server\share)"};
  std::wstring line = L"prog";
  for (const std::wstring& a : args) line += L" " + quoteArgument(a);
  Strings back = splitCommandLine(line);
  back.erase(back.begin());
  EXPECT_EQ(back, args) << toUtf8(line);
  EXPECT_EQ(quoteArgument(LR"(C:\a b\)"), LR"("C:\a b\\")");
}

TEST(CommandLine, ProgramCandidatesAreThePrefixes) {
  EXPECT_EQ(programCandidates(LR"(C:\Program Files\A\s.exe -x)"),
            (Strings{LR"(C:\Program)", LR"(C:\Program Files\A\s.exe)",
                     LR"(C:\Program Files\A\s.exe -x)"}));
  EXPECT_EQ(programCandidates(LR"(  "C:\Program Files\A\s.exe" -x)"),
            (Strings{LR"(C:\Program Files\A\s.exe)"}));
  EXPECT_TRUE(programCandidates(L"   ").empty());
}

class ProcessTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new testing::TempMachine();
    root_ = new std::string(machine_->root());
    setCurrentMachine(machine_->release());
    fs::create_directories(host(L"C:\\T\\dir.exe"));
    put(L"C:\\T\\pe.exe", "MZ\x90\0\3\0\0\0", false);
    put(L"C:\\T\\text.exe", "echo hello\n", true);
    // Prints each argument on a line, then facts about its start.
    put(L"C:\\T\\argv.sh",
        "#!/bin/sh\nprintf '%s\\n' \"$0\"\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n"
        "printf 'machine=%s\\n' \"$ZOREL_MACHINE\"\nprintf 'stdin=%s\\n' \"$(cat)\"\n"
        "printf 'fds=%s\\n' \"$(ls -l /proc/$$/fd | tr '\\n' ' ')\"\n", true);
    put(L"C:\\T\\exit.sh", "#!/bin/sh\nsleep 0.3\nexit \"$1\"\n", true);
    put(L"C:\\T\\late.sh", "#!/bin/sh\nsleep 0.4\necho done > \"$1\"\n", true);
    put(L"C:\\Program.exe", "#!/bin/sh\necho planted\n", true);
    put(L"C:\\Program Files\\App\\srv.exe", "#!/bin/sh\nprintf '[%s]' \"$@\"\n", true);
  }
  static void TearDownTestSuite() {
    setCurrentMachine(nullptr);
    delete machine_;
    delete root_;
  }

  static std::string host(const std::wstring& windows) {
    std::string h;
    EXPECT_EQ(currentMachine()->paths().toHostPath(windows, h), 0);
    return h;
  }
  static void put(const std::wstring& windows, const std::string& bytes, bool executable) {
    const std::string h = host(windows);
    fs::create_directories(fs::path(h).parent_path());
    std::ofstream(h, std::ios::binary) << bytes;
    if (executable) ::chmod(h.c_str(), 0755);
  }
  static std::string read(const std::wstring& windows) {
    std::ifstream in(host(windows), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Runs the line to its end with its output in C:\T\out.txt; the output.
  std::string run(const std::wstring& line, uint32_t* exit = nullptr) {
    ProcessStartOptions options;
    options.standardOutputFile = L"C:\\T\\out.txt";
    std::unique_ptr<IProcess> p;
    EXPECT_EQ(createProcess(line, options, &p), 0) << toUtf8(line);
    if (!p) return {};
    EXPECT_EQ(p->wait(10000), WAIT_OBJECT_0);
    if (exit) *exit = p->exitCode();
    return read(L"C:\\T\\out.txt");
  }

  static testing::TempMachine* machine_;
  static std::string* root_;
};

testing::TempMachine* ProcessTest::machine_ = nullptr;
std::string* ProcessTest::root_ = nullptr;

TEST_F(ProcessTest, StartFailuresGiveWindowsCodes) {
  struct Case {
    const wchar_t* line;
    WinError code;
  } cases[] = {
      {L"C:\\T\\missing.exe", ERROR_FILE_NOT_FOUND},
      {L"C:\\Nowhere\\x.exe a", ERROR_FILE_NOT_FOUND},
      {L"nosuchtool", ERROR_FILE_NOT_FOUND},       // System32, Windows, Path
      {L"C:\\T\\dir.exe", ERROR_ACCESS_DENIED},    // a folder
      {L"C:\\T\\pe.exe", ERROR_BAD_EXE_FORMAT},    // a PE image cannot run here
      {L"C:\\T\\text.exe", ERROR_BAD_EXE_FORMAT},  // neither ELF nor "#!"
      {L"", ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    std::unique_ptr<IProcess> p;
    EXPECT_EQ(createProcess(c.line, {}, &p), c.code) << toUtf8(c.line);
    EXPECT_EQ(p != nullptr, c.code == 0);
    if (c.code != 0) {
      EXPECT_EQ(getLastError(), c.code);
    }
  }
  std::unique_ptr<IProcess> p;
  EXPECT_EQ(createProcess(std::wstring(L"a\0b", 3), {}, &p), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessTest, ScriptGetsRuntimeArgumentsAndNothingElse) {
  put(L"C:\\T\\marker", "m", false);
  const int held = ::open(host(L"C:\\T\\marker").c_str(), O_RDONLY);
  const std::string out = run(LR"(C:\T\argv.sh plain "a b" a\\\"b "tail\\" "x""y" "")");
  std::istringstream lines(out);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_GE(got.size(), 10u) << out;
  // argv[0] is the host path as found.
  EXPECT_EQ(got[0], *root_ + "/drive_c/T/argv.sh");
  EXPECT_EQ(std::vector<std::string>(got.begin() + 1, got.begin() + 7),
            (std::vector<std::string>{"[plain]", "[a b]", "[a\\\"b]", "[tail\\]", "[x\"y]", "[]"}));
  EXPECT_EQ(got[7], "machine=" + *root_);
  EXPECT_EQ(got[8], "stdin=");
  // None of this process's descriptors: not the registry, not a file it
  // holds open without close-on-exec.
  EXPECT_EQ(got[9].find("registry.db"), std::string::npos) << got[9];
  EXPECT_EQ(got[9].find("marker"), std::string::npos) << got[9];
  ::close(held);
}

TEST_F(ProcessTest, UnquotedBlanksTryEachPrefixAsWindowsDoes) {
  EXPECT_EQ(run(L"C:\\Program Files\\App\\srv.exe -regserver"), "planted\n");
  EXPECT_EQ(run(L"\"C:\\Program Files\\App\\srv.exe\" -regserver"), "[-regserver]");
  // A name without a folder: System32 first (reg.exe is the stand-in).
  uint32_t exit = 99;
  run(L"reg query HKCU\\Software", &exit);
  EXPECT_EQ(exit, 0u);
}

TEST_F(ProcessTest, ExitCodesWaitingAndOutputFiles) {
  std::unique_ptr<IProcess> p;
  ProcessStartOptions noWindow;
  noWindow.creationFlags = CREATE_NO_WINDOW;
  ASSERT_EQ(createProcess(L"C:\\T\\exit.sh 3", noWindow, &p), 0);
  EXPECT_EQ(p->exitCode(), STILL_ACTIVE);
  EXPECT_EQ(p->wait(10), WAIT_TIMEOUT);
  EXPECT_EQ(p->wait(kInfinite), WAIT_OBJECT_0);
  EXPECT_EQ(p->exitCode(), 3u);
  EXPECT_EQ(p->wait(0), WAIT_OBJECT_0);

  // cmd's 9009 is more than a host status holds: it comes back whole.
  uint32_t exit = 0;
  run(L"cmd /c C:\\T\\missing.exe", &exit);
  EXPECT_EQ(exit, 9009u);
  // cmd passes its command's code on, and > / >> reach the file.
  run(L"cmd /c C:\\T\\exit.sh 7", &exit);
  EXPECT_EQ(exit, 7u);
  run(L"cmd /c C:\\T\\argv.sh one > \"C:\\T\\cmd out.txt\"", &exit);
  run(L"cmd /c C:\\T\\argv.sh two >>\"C:\\T\\cmd out.txt\"", &exit);
  const std::string both = read(L"C:\\T\\cmd out.txt");
  EXPECT_NE(both.find("[one]"), std::string::npos);
  EXPECT_NE(both.find("[two]"), std::string::npos);
  run(L"cmd /c C:\\T\\argv.sh three > C:\\T\\cmd2.txt", &exit);
  run(L"cmd /c C:\\T\\argv.sh four > C:\\T\\cmd2.txt", &exit);
  EXPECT_EQ(read(L"C:\\T\\cmd2.txt").find("[three]"), std::string::npos);
  // The command line as written reaches cmd, which reads it back.
  run(LR"(cmd /c C:\T\argv.sh "a b" > C:\T\cmd3.txt)", &exit);
  EXPECT_NE(read(L"C:\\T\\cmd3.txt").find("[a b]"), std::string::npos);
}

TEST_F(ProcessTest, RefusedOperatorsRunNothing) {
  for (const wchar_t* op : {L"<", L"|", L"&", L"2>", L"^"}) {
    uint32_t exit = 0;
    std::wstring line = L"cmd /c C:\\T\\late.sh " + fromUtf8(host(L"C:\\T\\refused.txt")) +
                        L" " + op + L" x";
    run(line, &exit);
    EXPECT_EQ(exit, 1u) << toUtf8(op);
  }
  // Inside quotes an operator is text.
  uint32_t exit = 9;
  EXPECT_NE(run(L"cmd /c C:\\T\\argv.sh \"a & b|c\"", &exit).size(), 0u);
  EXPECT_EQ(exit, 0u);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_FALSE(fs::exists(host(L"C:\\T\\refused.txt")));
}

// The application-name form: the file named is the program, the command
// line only gives arguments; a drive_c file without an execute bit runs;
// a terminated program reports the exit code it was given.
TEST_F(ProcessTest, ApplicationNameExecuteBitAndTerminate) {
  put(L"C:\\T\\noexec.sh", "#!/bin/sh\nprintf '[%s]' \"$@\"\n", false);
  ProcessStartOptions options;
  options.standardOutputFile = L"C:\\T\\app.txt";
  struct Case {
    const wchar_t* application;
    const wchar_t* line;
    WinError code;
    const char* output;
  } cases[] = {
      {L"C:\\T\\noexec.sh", L" x", 0, "[x]"},  // leading blank: argv[0] is empty
      {L"C:\\T\\noexec.sh", L"ignored \"a b\" c", 0, "[a b][c]"},
      {L"C:\\T\\argv", L" x", ERROR_FILE_NOT_FOUND, ""},  // no ".exe" or ".sh" added
      {L"C:\\Nowhere\\x.exe", L"", ERROR_PATH_NOT_FOUND, ""},
      {L"C:\\T\\dir.exe", L"", ERROR_ACCESS_DENIED, ""},
      {L"C:\\T\\pe.exe", L"", ERROR_BAD_EXE_FORMAT, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.application) + " / " + toUtf8(c.line));
    std::unique_ptr<IProcess> p;
    ASSERT_EQ(createProcess(c.application, c.line, options, &p), c.code);
    if (c.code != 0) continue;
    ASSERT_EQ(p->wait(10000), WAIT_OBJECT_0);
    EXPECT_EQ(p->exitCode(), 0u);
    EXPECT_EQ(read(L"C:\\T\\app.txt"), c.output);
  }
  struct stat st {};
  ASSERT_EQ(::stat(host(L"C:\\T\\noexec.sh").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IXUSR);

  std::unique_ptr<IProcess> p;
  ASSERT_EQ(createProcess(L"C:\\T\\exit.sh 3", {}, &p), 0);
  EXPECT_EQ(p->terminate(42), 0u);
  EXPECT_EQ(p->wait(0), WAIT_OBJECT_0);
  EXPECT_EQ(p->exitCode(), 42u);
  EXPECT_EQ(p->terminate(1), 0u);  // ended already: its code stays
  EXPECT_EQ(p->exitCode(), 42u);
  // A program a signal ends reads 128 + the signal.
  ASSERT_EQ(createProcess(L"C:\\T\\exit.sh 3", {}, &p), 0);
  ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
  EXPECT_EQ(p->wait(10000), WAIT_OBJECT_0);
  EXPECT_EQ(p->exitCode(), 128u + SIGTERM);
}

// Every start leaves a record (boot id, pid, start time, Windows path as
// found) in the machine root before createProcess returns.
TEST_F(ProcessTest, StartsAreRecordedWithPidAndStartTime) {
  std::unique_ptr<IProcess> p;
  ASSERT_EQ(createProcess(L"c:\\t\\EXIT.SH 0", {}, &p), 0);
  const uint32_t pid = p->processId();
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string statLine((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(statLine.substr(statLine.rfind(')') + 2));
  std::string field;
  for (int i = 3; i <= 22; ++i) fields >> field;  // field 22: start time
  std::ifstream records(*root_ + "/run/programs");
  std::string line, last;
  while (std::getline(records, line)) last = line;
  const std::string tail = "\t" + std::to_string(pid) + "\t" + field + "\tC:\\T\\exit.sh";
  ASSERT_GE(last.size(), tail.size());
  EXPECT_EQ(last.substr(last.size() - tail.size()), tail) << last;
  EXPECT_EQ(p->wait(10000), WAIT_OBJECT_0);
}

TEST_F(ProcessTest, ProgramNobodyWaitsForRunsOnAndIsCollected) {
  uint32_t pid = 0;
  {
    std::unique_ptr<IProcess> p;
    ASSERT_EQ(createProcess(L"C:\\T\\late.sh " + fromUtf8(host(L"C:\\T\\late.txt")), {}, &p), 0);
    pid = p->processId();
  }
  const std::string proc = "/proc/" + std::to_string(pid);
  for (int i = 0; i < 100 && fs::exists(proc); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(read(L"C:\\T\\late.txt"), "done\n");
  EXPECT_FALSE(fs::exists(proc)) << "not collected";
}

}  // namespace
}  // namespace zorel::platform
