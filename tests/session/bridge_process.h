#pragma once
// `zorel bridge` as a real child process of the test, and a fixture with a
// fresh machine root, a store folder and sealed test scripts.

#include <gtest/gtest.h>
#include <json/value.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorel::testing {

class BridgeProcess {
 public:
  // Starts ZOREL_BINARY_DIR/src/cli/zorel bridge ARGS with ZOREL_MACHINE set
  // to machineRoot and `env` ("NAME=VALUE") added, in the folder cwd (empty:
  // the test's own); standard error goes to errFile.
  BridgeProcess(const std::string& machineRoot, const std::vector<std::string>& args,
                const std::string& errFile, const std::vector<std::string>& env = {},
                const std::string& cwd = {});
  ~BridgeProcess();
  BridgeProcess(const BridgeProcess&) = delete;
  BridgeProcess& operator=(const BridgeProcess&) = delete;

  // Writes `line` and a line feed, reads one framed response. Fails the test
  // (and returns what came) when the frame is broken or late.
  std::string Request(const std::string& line, int timeoutMs = 20000);
  // The same, parsed; null on a response that is not JSON.
  Json::Value RequestJson(const std::string& line, int timeoutMs = 20000);

  // Closes standard input and waits for the exit code (-1 after a kill).
  int Finish(int timeoutMs = 20000);
  pid_t pid() const { return pid_; }
  // Bytes on standard output after the last frame (must stay empty).
  std::string Trailing(int timeoutMs);

 private:
  bool ReadExactly(std::string& out, size_t n, int timeoutMs);
  bool ReadLine(std::string& out, int timeoutMs);

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string buffer_;
};

// Progress as a test sees it.
struct Progress {
  bool status = false;
  int errorCode = 0;
  int stageId = 0;
  int percentage = 0;
  std::string message;
};
Progress ReadProgress(BridgeProcess& bridge);

class BridgeTest : public ::testing::Test {
 public:
  // {"operationid":0,"operationinfo":[{"stageid":S,"problemid":[..]},...]}
  static std::string StartRequest(const std::vector<std::pair<int, std::string>>& stages);

 protected:
  void SetUp() override;
  void TearDown() override;

  // tests/session/data/NAME sealed with `zorel seal` into this test's folder.
  std::string Sealed(const std::string& name);
  // `zorel bridge --offline --store STORE --sealed <NAME sealed>` plus extra.
  std::unique_ptr<BridgeProcess> Bridge(const std::string& script,
                                        std::vector<std::string> extra = {"--offline"},
                                        const std::vector<std::string>& env = {});
  std::string Log() const;

  // Polls progress every 10 ms until 100 or an error; every value seen.
  static std::vector<Progress> WaitForEnd(BridgeProcess& bridge,
                                          std::chrono::milliseconds limit = std::chrono::seconds(30));

  std::string base_;
  std::string root_;
  std::string store_;
};

// A shell command's exit code (-1 when it did not exit normally), its
// standard output and, when errFile is given, what it wrote there (the
// command redirects its standard error to it).
struct CommandRun {
  int status = -1;
  std::string out;
  std::string err;
};
CommandRun RunCommand(const std::string& command, const std::string& errFile = {});

// Resident set (kB) and thread count of a process, from /proc.
struct ProcessUsage {
  long rssKb = 0;
  int threads = 0;
};
ProcessUsage Usage(pid_t pid);
// Child processes of pid.
std::vector<pid_t> Children(pid_t pid);

}  // namespace zorel::testing
