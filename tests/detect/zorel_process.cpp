#include "zorel_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace zorel::testing {

namespace {

std::string Slurp(FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

ZorelRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const std::string& machineRoot) {
  ZorelRun run;
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  if (!out || !err) return run;
  std::vector<std::string> store{program};
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!machineRoot.empty()) ::setenv("ZOREL_MACHINE", machineRoot.c_str(), 1);
    ::dup2(::fileno(out), 1);
    ::dup2(::fileno(err), 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid)
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

ZorelRun RunZorel(const std::vector<std::string>& args, const std::string& machineRoot) {
  return RunProgram(ZOREL_BINARY_DIR "/src/cli/zorel", args, machineRoot);
}

ZorelRun RunWintools(const std::vector<std::string>& args, const std::string& machineRoot) {
  return RunProgram(ZOREL_BINARY_DIR "/tools/wintools/zorel-wintools", args, machineRoot);
}

}  // namespace zorel::testing
