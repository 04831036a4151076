// zorel check [--script FILE.js | --sealed FILE.enc] [--stages 100,101,102]
//             [--problems N,...] [--store DIR] [--online | --offline] [--json]
//             [--trace FILE.jsonl]
//
// Runs a check on the machine the way the window does: through the session
// controller (start, progress, result). Progress is read whenever the
// controller says it changed, and at least every 200 ms. The check script
// is the machine's sealed preinstall.enc unless --sealed names another one
// or --script a plain one. Each requested stage runs the requested problems
// (or, without --problems, every problem the script declared for it); the
// store is always started afresh, so a request without stage 100 still
// initialises the framework, with no health problem to run.
//
// The data folder is %APPDATA%\prynesecurity\zorel\ or --store DIR (a host
// folder, created when missing): ResultStore.db, collection.cab and db.cab
// land there. With stage 102 the database is packed into db.cab and
// uploaded when online; the command then unpacks ResultStore.db beside it
// again for reading. --online / --offline replace the connection test.
//
// --trace FILE.jsonl has the worker write one JSON line per plug-in call
// (component, method, arguments, the answer the script received, error
// code, time taken; zorel/framework/call_trace.h) to FILE, emptied first.
// Nothing of it goes into the store or the uploads.
//
// Output: a progress bar on a terminal, progress lines otherwise, then a
// readable summary (requirement tokens in words) and what became of the
// upload; with --json the summary is printed instead as one JSON document
// (the "result" of the UI protocol) and everything else goes to standard
// error. Ctrl-C cancels the run (the framework worker ignores it and is
// told through the controller).
//
// Exit codes: 0 the run completed; 1 it did not (details in FrameWork.log in
// the machine's TEMP folder), or nothing ran (no problem of the script
// matched the stages and problems asked for); 2 the command could not start
// (a missing, empty or unreadable script, bad options); 130 cancelled with
// Ctrl-C.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "check_summary.h"
#include "commands.h"
#include "instance_lock.h"
#include "trace_file.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/process/console.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/report/report_settings.h"
#include "zorel/session/online_flag.h"
#include "zorel/session/pre_install_check.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: zorel check [--script FILE.js | --sealed FILE.enc] [--stages 100,101,102] "
    "[--problems N,...] [--store DIR] [--online | --offline] [--json] [--trace FILE.jsonl]\n";

// How often the progress is read, as the page does, when the controller
// has not said that it changed.
constexpr auto kPollInterval = std::chrono::milliseconds(200);

// Wakes the progress loop when the controller's progress record changes,
// so the command follows the run as it happens instead of up to one poll
// interval behind it.
class ProgressSignal {
 public:
  void Notify() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      changed_ = true;
    }
    cv_.notify_all();
  }
  // Waits until a change since the last call, or at most `limit`.
  void Wait(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait_for(lock, limit, [this] { return changed_; });
    changed_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool changed_ = false;
};

struct CheckOptions {
  std::string script;
  std::string sealed;
  std::optional<bool> online;
  std::vector<int32_t> stages{100, 101, 102};
  std::vector<int32_t> problems;  // empty: every declared problem
  std::string store;
  std::string trace;
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
    } else if (a == "--sealed" && hasValue) {
      options.sealed = args[++i];
    } else if (a == "--online" || a == "--offline") {
      options.online = a == "--online";
    } else if (a == "--store" && hasValue) {
      options.store = args[++i];
    } else if (a == "--trace" && hasValue) {
      options.trace = args[++i];
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
  if (!options.script.empty() && !options.sealed.empty()) {
    std::fprintf(stderr, "zorel check: --script and --sealed exclude each other\n%s", kUsage);
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
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
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


// Problem id of the health entry sent when --stages has no 100: it matches
// no problem, so the framework is initialised and no health check runs.
constexpr int32_t kNoProblem = INT32_MIN;

std::wstring startRequest(const CheckOptions& options) {
  Json::Value request(Json::objectValue);
  request["operationid"] = 0;
  Json::Value& info = request["operationinfo"] = Json::Value(Json::arrayValue);
  bool health = false;
  for (int32_t stage : options.stages) health = health || stage == 100;
  if (!health) {
    Json::Value entry(Json::objectValue);
    entry["stageid"] = 100;
    entry["problemid"].append(kNoProblem);
    info.append(entry);
  }
  for (int32_t stage : options.stages) {
    Json::Value entry(Json::objectValue);
    entry["stageid"] = stage;
    entry["problemid"] = Json::Value(Json::arrayValue);
    for (int32_t id : options.problems) entry["problemid"].append(id);
    info.append(entry);
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  return fromUtf8(Json::writeString(writer, request));
}

Json::Value ask(PreInstallCheck& controller, const std::wstring& request) {
  const std::string text = toUtf8(controller.ProcessRequest(request));
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  return value;
}

const char* controllerStep(const std::string& message) {
  if (message == "$GEN1000$") return "starting";
  if (message == "$GEN1001$") return "packaging the results";
  return nullptr;
}

// One line redrawn in place: [#####-----]  47%  text.
void drawBar(int percentage, int stage, const std::string& message) {
  constexpr int kWidth = 30;
  const int filled = std::clamp(percentage, 0, 100) * kWidth / 100;
  const char* step = controllerStep(message);
  std::string text = step ? step : (stage > 0 ? "stage " + std::to_string(stage) + ": " : "") + message;
  if (text.size() > 40) text = text.substr(0, 37) + "...";
  std::printf("\r[%s%s] %3d%%  %-40s", std::string(filled, '#').c_str(),
              std::string(kWidth - filled, '-').c_str(), percentage, text.c_str());
  std::fflush(stdout);
}

// The summary of the stages the user asked for (the health entry added for
// initialisation is left out).
ResultJson requestedSummary(const Json::Value& result, const CheckOptions& options) {
  ResultJson all;
  all.FromValue(result);
  ResultJson summary;
  summary.problems = all.problems;
  for (size_t i = 0; i < all.stages.Size(); ++i) {
    const StatusData& s = *all.stages.Get(i);
    if (std::find(options.stages.begin(), options.stages.end(), s.stageId) != options.stages.end()) {
      summary.stages.Add() = s;
    }
  }
  return summary;
}

// One line on what became of the upload of db.cab.
void printUpload(FILE* out, int32_t session, UploadOutcome outcome) {
  if (session <= 0) return;
  const std::string log = FrameworkLog::Instance().path();
  switch (outcome) {
    case UploadOutcome::Taken:
      std::fprintf(out, "Uploaded as session %d\n", session);
      break;
    case UploadOutcome::Unreadable:
      std::fprintf(out, "Upload under session %d was sent, but the server's answer could not be read; see %s\n",
                   session, log.c_str());
      break;
    case UploadOutcome::Refused:
    case UploadOutcome::None:
      std::fprintf(out, "Upload under session %d failed; see %s\n", session, log.c_str());
      break;
  }
}

}  // namespace

int runCheck(const Args& args) {
  CheckOptions options;
  if (!parseOptions(args, options)) return 2;

  std::optional<std::wstring> plain;
  if (!options.script.empty()) {
    std::wstring script;
    std::string reason;
    if (!readScript(options.script, script, reason)) {
      std::fprintf(stderr, "zorel check: cannot read script '%s': %s\n", options.script.c_str(),
                   reason.c_str());
      return 2;
    }
    if (script.empty()) {
      std::fprintf(stderr, "zorel check: the script '%s' is empty; there is nothing to run\n",
                   options.script.c_str());
      return 2;
    }
    plain = std::move(script);
  }

  // The machine first: the log and every path of the run live in it.
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) {
    std::fprintf(stderr, "zorel check: no machine is available (see zorel machine info)\n");
    return 1;
  }

  std::string trace;
  if (!options.trace.empty() && !prepareTraceFile("check", options.trace, &trace)) return 2;
  PreInstallCheckSettings settings = PreInstallCheckSettings::ForMachine(*machine, {}, trace);
  settings.plainScript = plain;
  if (!options.sealed.empty()) settings.sealedScript = fs::absolute(options.sealed).string();
  if (!plain) {
    std::error_code ec;
    if (settings.sealedScript.empty() || !fs::is_regular_file(settings.sealedScript, ec)) {
      std::fprintf(stderr, "zorel check: no check script at '%s' (zorel machine init installs one)\n",
                   settings.sealedScript.c_str());
      return 2;
    }
  }
  // The machine's own data folder is the window's: one user of it at a time.
  std::unique_ptr<platform::INamedInstanceLock> instance;
  if (options.store.empty() && !(instance = claimMachineInstance("check"))) return 1;
  std::string folder;
  if (!storeFolder(*machine, options, folder)) return 1;
  settings.dataFolder = folder + "/";

  const bool json = options.json;
  FILE* out = json ? stderr : stdout;
  const bool bar = !json && platform::streamIsTerminal(1);
  if (!bar) {
    settings.frameworkProgress = [out](const ProgressJson& p) {
      std::fprintf(out, "[%3d%%] stage %d: %s\n", p.percentage, p.stageId, p.message.c_str());
      std::fflush(out);
    };
  }

  CoutToStderr redirect(json);
  SetOnlineFlag(options.online ? *options.online
                               : TestInternetConnection(fromUtf8(
                                     ReportServerSettings::FromEnvironment().baseAddress)));
  ProgressSignal changed;  // outlives the controller, whose worker calls it
  settings.progressChanged = [&changed] { changed.Notify(); };
  platform::installInterruptHandler();
  PreInstallCheck controller(settings);

  const Json::Value started = ask(controller, startRequest(options));
  if (!started["status"].asBool()) {
    if (plain) {
      std::fprintf(stderr, "zorel check: the script '%s' cannot be run\n", options.script.c_str());
    } else {
      std::fprintf(stderr, "zorel check: the check script '%s' cannot be unsealed\n",
                   settings.sealedScript.c_str());
    }
    return 2;
  }

  Json::Value progress;
  std::string lastStep;
  for (;;) {
    // A Ctrl-C is looked at before the run's state: the run may have ended
    // because of it.
    if (platform::interruptRequested()) break;
    progress = ask(controller, L"{\"operationid\":1}");
    const Json::Value& p = progress["progress"];
    const int percentage = p["percentage"].asInt();
    const std::string message = p["message"].asString();
    if (bar) {
      drawBar(percentage, p["stageId"].asInt(), message);
    } else if (const char* step = controllerStep(message); step && message != lastStep) {
      std::fprintf(out, "%s%s\n", std::string(1, static_cast<char>(std::toupper(*step))).c_str(),
                   step + 1);
      std::fflush(out);
    }
    lastStep = message;
    if (!progress["status"].asBool() || percentage >= 100) break;
    changed.Wait(kPollInterval);
  }
  if (bar) std::printf("\n");
  if (platform::interruptRequested()) {
    std::fprintf(stderr, "zorel check: cancelling...\n");
    ask(controller, L"{\"operationid\":3}");
    std::fprintf(stderr, "zorel check: cancelled\n");
    return 130;
  }
  const bool completed = progress["status"].asBool();

  const bool packed = std::find(options.stages.begin(), options.stages.end(), 102) != options.stages.end();
  std::error_code ec;
  if (completed && packed && fs::exists(folder + "/db.cab", ec) && !fs::exists(folder + "/ResultStore.db", ec)) {
    CabinetUtility().Decompress(fromUtf8(folder + "/db.cab"), fromUtf8(folder));
  }

  const Json::Value answer = ask(controller, L"{\"operationid\":2}");
  ResultJson summary = requestedSummary(answer["result"], options);
  if (json) {
    const std::string document = summary.ToString();  // std::cout is on stderr now
    std::fwrite(document.data(), 1, document.size(), stdout);
    std::fflush(stdout);
  } else {
    PrintSummary(stdout, summary);
    std::printf("\nResult store: %s/ResultStore.db\n", folder.c_str());
    if (fs::exists(folder + "/db.cab", ec)) std::printf("Packaged results: %s/db.cab\n", folder.c_str());
  }
  printUpload(out, answer["session"]["sessionid"].asInt(), controller.LastUpload());
  if (!completed) {
    std::fprintf(stderr, "zorel check: the run did not complete; see %s\n",
                 FrameworkLog::Instance().path().c_str());
    return 1;
  }
  if (NothingRan(summary)) {
    std::fprintf(stderr, "zorel check: nothing ran: no problem of the script matches the stages%s asked for\n",
                 options.problems.empty() ? "" : " and problems");
    return 1;
  }
  return 0;
}

}  // namespace zorel::cli
