// The Process object with many processes running: collect (every process
// into PROCESS_COLLECTION_TABLE, with the store open) and isRunning for a
// name no process has (the whole list walked, a module name per process).
//
//   process_bench [extra processes] [rounds]
// starts that many sleeping host processes (default 1000), then runs each
// call `rounds` times (default 5) on a fresh machine of the default image in
// a temporary folder, printing the mean and the slowest.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/store/result_store.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times `call` `rounds` times; prints the mean and the slowest.
template <class Call>
void Time(const char* what, long rounds, Call call) {
  double total = 0, slowest = 0;
  for (long i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    call();
    const double seconds = SecondsSince(start);
    total += seconds;
    slowest = std::max(slowest, seconds);
  }
  std::printf("%s: mean %.1f ms, slowest %.1f ms over %ld rounds\n", what, 1000 * total / rounds,
              1000 * slowest, rounds);
}

}  // namespace

int main(int argc, char** argv) {
  const long extra = argc > 1 ? std::atol(argv[1]) : 1000;
  const long rounds = argc > 2 ? std::atol(argv[2]) : 5;
  std::vector<pid_t> sleepers;
  for (long i = 0; i < extra; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sleep", "sleep", "600", nullptr);
      ::_exit(127);
    }
    if (pid > 0) sleepers.push_back(pid);
  }
  std::printf("%zu extra sleeping processes\n", sleepers.size());

  const std::string base = zorel::bench::makeBenchMachine("zorel-process-bench", L"default");
  int status = base.empty() ? 1 : 0;
  if (status == 0) {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    zorel::StackFrame none;
    const std::string instance = manager.CreateObject("Process", none);
    manager.SetProperty(instance, "name", L"absent-program.exe");
    std::string answer;
    Time("Process.collect with the store open", rounds, [&] {
      zorel::StackFrame args;
      answer = manager.InvokeMethod(instance, "collect", args);
    });
    if (answer.find("\"errorcode\" : 0") == std::string::npos) status = 1;
    Time("Process.isRunning for an absent name", rounds, [&] {
      zorel::StackFrame args;
      answer = manager.InvokeMethod(instance, "isRunning", args);
    });
    if (answer.find("\"errorcode\" : 30052") == std::string::npos) status = 1;
    store.Close(true);
  }
  for (pid_t pid : sleepers) ::kill(pid, SIGKILL);
  for (pid_t pid : sleepers) ::waitpid(pid, nullptr, 0);
  zorel::platform::setCurrentMachine(nullptr);
  std::error_code ec;
  if (!base.empty()) std::filesystem::remove_all(base, ec);
  if (status != 0) std::fprintf(stderr, "unexpected answer\n");
  return status;
}
