// zorel check --script FILE.js [--stages 100,101,102] [--problems N,...]
//             [--store DIR] [--json]
//
// Runs a plain (unsealed) check script on the machine through the script
// framework: Initialize, then Execute with the requested stages, each with
// the requested problems (or, without --problems, every problem the script
// declared for the stage). Progress lines and a readable summary go to
// standard output; with --json the summary is printed instead as one JSON
// document (the "result" of the UI protocol) and everything else goes to
// standard error.
//
// The result store is ResultStore.db in the machine's data folder
// (%APPDATA%\prynesecurity\zorel\) or in --store DIR (a host folder, created
// when missing). As before any new run, the previous database and cabinets
// there are removed first.
//
// Exit codes: 0 the run completed; 1 it did not (details in FrameWork.log in
// the machine's TEMP folder); 2 the command could not start (a missing or
// unreadable script, bad options).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/framework_lib.h"
#include "zorel/log/framework_log.h"
#include "zorel/pathvars/env_and_csidl_variable.h"
#include "zorel/platform/environment.h"
#include "zorel/platform/machine.h"
#include "zorel/platform/paths.h"
#include "zorel/platform/sync.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: zorel check --script FILE.js [--stages 100,101,102] [--problems N,...] "
    "[--store DIR] [--json]\n";

struct CheckOptions {
  std::string script;
  std::vector<int32_t> stages{100, 101, 102};
  std::vector<int32_t> problems;  // empty: every declared problem
  std::string store;
  bool json = false;
};

// "100,101" as numbers; false on anything else (empty items included).
bool parseIdList(const std::string& text, std::vector<int32_t>& ids) {
  ids.clear();
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (item.empty() || item.size() > 10) return false;
    size_t used = 0;
    long long value = 0;
    try {
      value = std::stoll(item, &used, 10);
    } catch (const std::exception&) {
      return false;
    }
    if (used != item.size() || value < INT32_MIN || value > INT32_MAX) return false;
    ids.push_back(static_cast<int32_t>(value));
  }
  return !ids.empty() && !text.empty() && text.back() != ',';
}

// False (after a message) on a usage error.
bool parseOptions(const Args& args, CheckOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--json") {
      options.json = true;
    } else if (a == "--script" && hasValue) {
      options.script = args[++i];
    } else if (a == "--store" && hasValue) {
      options.store = args[++i];
    } else if ((a == "--stages" || a == "--problems") && hasValue) {
      std::vector<int32_t>& ids = a == "--stages" ? options.stages : options.problems;
      if (!parseIdList(args[++i], ids)) {
        std::fprintf(stderr, "zorel check: %s takes a comma-separated list of numbers, not '%s'\n",
                     a.c_str(), args[i].c_str());
        return false;
      }
    } else {
      std::fprintf(stderr, "zorel check: unexpected argument '%s'\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  if (options.script.empty()) {
    std::fprintf(stderr, "zorel check: --script FILE.js is required\n%s", kUsage);
    return false;
  }
  return true;
}

bool readScript(const std::string& path, std::wstring& script, std::string& reason) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    reason = "no such file";
    return false;
  }
  if (fs::is_directory(path, ec)) {
    reason = "is a folder";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    reason = "cannot be opened";
    return false;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    reason = "cannot be read";
    return false;
  }
  script = fromUtf8(bytes);
  return true;
}

// The host folder for the store: --store, else the machine's data folder.
bool storeFolder(platform::IMachine& machine, const CheckOptions& options, std::string& folder) {
  std::error_code ec;
  if (!options.store.empty()) {
    folder = fs::absolute(options.store, ec).lexically_normal().string();
  } else {
    std::wstring appData;
    std::string host;
    if (machine.environment().getVariable(L"APPDATA", appData) != 0 ||
        machine.paths().toHostPath(appData + L"\\prynesecurity\\zorel", host) != 0) {
      std::fprintf(stderr, "zorel check: the machine has no application-data folder\n");
      return false;
    }
    folder = host;
  }
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) {
    std::fprintf(stderr, "zorel check: cannot create the store folder '%s'\n", folder.c_str());
    return false;
  }
  return true;
}

// What a new run starts without: the previous database and cabinets.
void removePreviousRun(const std::string& folder) {
  for (const char* name : {"ResultStore.db", "ResultStore.db-wal", "ResultStore.db-shm",
                           "collection.cab", "db.cab"}) {
    std::error_code ignored;
    fs::remove(fs::path(folder) / name, ignored);
  }
}

const char* stageRole(int32_t stage) {
  switch (stage) {
    case 100: return "minimum system health";
    case 101: return "detection";
    case 102: return "remediation";
    default: return "other stage";
  }
}

std::string problemStatusText(int32_t status) {
  switch (status) {
    case 0: return "not run";
    case 1: return "passed";
    case 2: return "not passed";
    default: return "status " + std::to_string(status);
  }
}

void printSummary(FILE* out, ResultJson& summary) {
  std::fprintf(out, "\nStages:\n");
  if (summary.stages.Empty()) std::fprintf(out, "  (none)\n");
  for (size_t i = 0; i < summary.stages.Size(); ++i) {
    const StatusData& s = *summary.stages.Get(i);
    std::fprintf(out, "  %d %-22s %s\n", s.stageId, stageRole(s.stageId),
                 s.status == 1 ? "passed" : "needs attention");
  }
  std::fprintf(out, "\nProblems:\n");
  if (summary.problems.Empty()) std::fprintf(out, "  (none)\n");
  for (size_t i = 0; i < summary.problems.Size(); ++i) {
    ProblemData& p = *summary.problems.Get(i);
    std::fprintf(out, "  %d %s\n", p.problemId, p.name.c_str());
    if (!p.description.empty()) std::fprintf(out, "      %s\n", p.description.c_str());
    if (!p.url.empty()) std::fprintf(out, "      %s\n", p.url.c_str());
    for (size_t j = 0; j < p.status.Size(); ++j) {
      const StatusData& s = *p.status.Get(j);
      std::fprintf(out, "      stage %d: %s", s.stageId, problemStatusText(s.status).c_str());
      if (!s.outcome.empty()) std::fprintf(out, ", outcome: %s", s.outcome.c_str());
      std::fprintf(out, "\n");
    }
  }
}

// Sends std::cout to standard error while it lives: library code that
// announces things there must not mix into the JSON document.
class CoutToStderr {
 public:
  explicit CoutToStderr(bool active) : saved_(active ? std::cout.rdbuf(std::cerr.rdbuf()) : nullptr) {}
  ~CoutToStderr() {
    if (saved_) std::cout.rdbuf(saved_);
  }

 private:
  std::streambuf* saved_;
};

}  // namespace

int runCheck(const Args& args) {
  CheckOptions options;
  if (!parseOptions(args, options)) return 2;

  std::wstring script;
  std::string reason;
  if (!readScript(options.script, script, reason)) {
    std::fprintf(stderr, "zorel check: cannot read script '%s': %s\n", options.script.c_str(),
                 reason.c_str());
    return 2;
  }

  // The machine first: the log and every path of the run live in it.
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) {
    std::fprintf(stderr, "zorel check: no machine is available (see zorel machine info)\n");
    return 1;
  }
  EnvAndCsidlVariable::Instance().Build();

  std::string folder;
  if (!storeFolder(*machine, options, folder)) return 1;
  removePreviousRun(folder);

  FILE* out = options.json ? stderr : stdout;
  FrameworkManager::RunRequest request;
  for (int32_t stage : options.stages) request[stage] = options.problems;

  ResultJson summary;
  bool completed = false;
  {
    CoutToStderr redirect(options.json);
    std::unique_ptr<platform::IManualResetEvent> cancel = platform::createManualResetEvent(false);
    FrameworkLib framework;
    completed = framework.Initialize(script, fromUtf8(folder), cancel.get());
    if (completed) {
      completed = framework.Execute(request, summary, [out](ProgressJson* progress) {
        std::fprintf(out, "[%3d%%] stage %d: %s\n", progress->percentage, progress->stageId,
                     progress->message.c_str());
        std::fflush(out);
      });
    }
    framework.Package(false);  // closes the store; the database stays
  }

  if (options.json) {
    std::cout << summary.ToString();
    std::cout.flush();
  } else {
    printSummary(stdout, summary);
    std::printf("\nResult store: %s/ResultStore.db\n", folder.c_str());
  }
  if (!completed) {
    std::fprintf(stderr, "zorel check: the run did not complete; see %s\n",
                 FrameworkLog::Instance().path().c_str());
    return 1;
  }
  return 0;
}

}  // namespace zorel::cli
