#pragma once
// Runs zorel-report-server as a real process on loopback for one test: a
// fresh data folder, the port read from the first line of its stdout, and a
// SIGTERM at the end whose clean exit the test can check.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace zorel::test {

inline std::string slurpFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ReportServerProcess {
 public:
  // A new data folder under /tmp, removed with this object.
  ReportServerProcess() {
    char pattern[] = "/tmp/zorel-report-server-test-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    dataDir_ = dir ? dir : "/tmp";
  }
  ~ReportServerProcess() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dataDir_, ec);
  }

  // Starts the server with extra arguments (faults, --http, --cert ...).
  // RETURNS true once it printed its port.
  bool start(const std::vector<std::string>& extra = {}, int port = 0) {
    std::vector<std::string> args = {REPORT_SERVER_BINARY, "--listen",
                                     "127.0.0.1:" + std::to_string(port), "--data", dataDir_};
    args.insert(args.end(), extra.begin(), extra.end());
    plainHttp_ = false;
    for (const auto& a : extra) plainHttp_ = plainHttp_ || a == "--http";
    int out[2];
    if (::pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string errPath = dataDir_ + "/stderr.txt";
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
      ::close(out[0]);
      pid_ = -1;
      return false;
    }
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char c[64];
      const ssize_t n = ::read(out[0], c, sizeof(c));
      if (n <= 0) break;
      line.append(c, static_cast<size_t>(n));
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    return port_ > 0;
  }

  // SIGTERM and wait. RETURNS the exit status (-1 when it died of a signal
  // or was not running).
  int stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    // A server that ignores SIGTERM fails the test instead of hanging it.
    for (int i = 0; i < 1000; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ::usleep(10000);
    }
    ADD_FAILURE() << "zorel-report-server did not stop within 10 s of SIGTERM";
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
  }

  // SIGKILL and reap: the server finishes nothing it was doing.
  void killNow() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  bool running() const {
    if (pid_ <= 0) return false;
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == 0;
  }

  int port() const { return port_; }
  const std::string& dataDir() const { return dataDir_; }
  std::string certFile() const { return dataDir_ + "/server.crt"; }
  std::string baseAddress() const {
    return std::string(plainHttp_ ? "http" : "https") + "://127.0.0.1:" + std::to_string(port_);
  }
  std::string serverLog() const { return slurpFile(dataDir_ + "/server.log"); }
  // The server writes a request's line after the answer has gone out, so a
  // client can be quicker than the log: wait for text up to two seconds.
  bool serverLogHas(const std::string& text) const {
    for (int i = 0; i < 200; ++i) {
      if (serverLog().find(text) != std::string::npos) return true;
      ::usleep(10000);
    }
    return false;
  }
  std::string stderrText() const { return slurpFile(dataDir_ + "/stderr.txt"); }

 private:
  std::string dataDir_;
  pid_t pid_ = -1;
  int port_ = 0;
  bool plainHttp_ = false;
};

// Runs the server binary to its end with args; RETURNS the exit code and its
// stderr in err.
inline int runServerToEnd(const std::string& args, std::string& err) {
  char pattern[] = "/tmp/zorel-report-server-err-XXXXXX";
  const int fd = ::mkstemp(pattern);
  if (fd >= 0) ::close(fd);
  const std::string command =
      std::string("'") + REPORT_SERVER_BINARY + "' " + args + " >/dev/null 2>'" + pattern + "'";
  const int status = std::system(command.c_str());
  err = slurpFile(pattern);
  std::filesystem::remove(pattern);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zorel::test
