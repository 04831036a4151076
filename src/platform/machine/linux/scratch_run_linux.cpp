// Children on scratch machines (scratch_run.h).

#include "zorel/platform/machine/scratch_run.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "machine/linux/machine_internal.h"
#include "zorel/platform/process/sync.h"

extern char** environ;

namespace zorel::platform {
namespace {

class ScratchRun final : public IScratchRun {
 public:
  explicit ScratchRun(pid_t pid) : pid_(pid) {}
  ~ScratchRun() override {
    if (!ended_) {
      ::kill(pid_, SIGKILL);
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }

  bool waitForExit(uint32_t timeoutMs, int32_t* exitCode) override {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended_) {
      int status = 0;
      const pid_t got = ::waitpid(pid_, &status, timeoutMs == kInfinite ? 0 : WNOHANG);
      if (got == pid_) {
        ended_ = true;
        code_ = WIFEXITED(status) ? WEXITSTATUS(status)
                : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                      : -1;
        break;
      }
      if (got < 0 && errno != EINTR) {
        ended_ = true;  // not ours to wait for any more
        code_ = -1;
        break;
      }
      if (timeoutMs != kInfinite) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    if (exitCode) *exitCode = code_;
    return true;
  }

  void terminate() override {
    if (!ended_) ::kill(pid_, SIGKILL);
  }

 private:
  pid_t pid_;
  bool ended_ = false;
  int32_t code_ = -1;
};

}  // namespace

std::unique_ptr<IScratchRun> startOnMachine(const std::string& root, const std::string& program,
                                            const std::vector<std::string>& args,
                                            const std::string& outputFile,
                                            const std::string& errorFile, WinError& error) {
  if (::access(program.c_str(), X_OK) != 0) {
    error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  // The output files are opened here, so a failure is this call's answer.
  const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0 || err < 0) {
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    error = ERROR_CANTWRITE;
    return nullptr;
  }
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "ZOREL_MACHINE=", 14) != 0) env.emplace_back(*e);
  env.push_back("ZOREL_MACHINE=" + root);
  std::vector<char*> envp, argv;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string argv0 = program;
  argv.push_back(argv0.data());
  std::vector<std::string> argsCopy = args;
  for (std::string& a : argsCopy) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out);
  ::close(err);
  if (rc != 0) {
    error = rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    return nullptr;
  }
  error = ERROR_SUCCESS;
  return std::make_unique<ScratchRun>(pid);
}

WinError createScratchFolder(const std::string& prefix, std::string* folder) {
  std::string pattern = detail::hostFallbackTempFolder() + prefix + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return ERROR_CANTWRITE;
  *folder = pattern;
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
