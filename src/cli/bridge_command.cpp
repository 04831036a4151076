// zorel bridge [--online | --offline] [--sealed FILE.enc] [--store DIR]
//              [--trace FILE.jsonl]
//
// The UI message bridge on standard input and output, for front ends and
// tests that are not the window: each line read is one ProcessJSON request;
// each response is written as its length in bytes in decimal on a line of
// its own, followed by the response text exactly as ProcessJSON returns it
// (an empty request gives "0" and no text). The session controller is made
// by the first request, as ProcessJSON makes it. End of input cancels a
// running check and ends the program.
//
// --online / --offline replace the connection test to the report server;
// --sealed names the check script instead of the machine's preinstall.enc;
// --store a data folder instead of %APPDATA%\prynesecurity\zorel\. A
// machine without APPDATA and no --store gives no data folder: the bridge
// says so once on standard error and every run then ends with error 1000
// ("Failed to initialize the framework"), writing nothing. --trace has the
// framework worker write one JSON line per plug-in call to FILE, as zorel
// check --trace does.
//
// Started at a terminal, it says on standard error what it reads.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "commands.h"
#include "instance_lock.h"
#include "zorel/app/message_translate.h"
#include "trace_file.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/process/console.h"
#include "zorel/report/report_settings.h"
#include "zorel/session/online_flag.h"
#include "zorel/session/pre_install_check.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: zorel bridge [--online | --offline] [--sealed FILE.enc] [--store DIR] "
    "[--trace FILE.jsonl]\n";

struct BridgeOptions {
  std::optional<bool> online;
  std::string sealed;
  std::string store;
  std::string trace;
};

bool parseOptions(const Args& args, BridgeOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--online" || a == "--offline") {
      options.online = a == "--online";
    } else if (a == "--sealed" && i + 1 < args.size()) {
      options.sealed = args[++i];
    } else if (a == "--store" && i + 1 < args.size()) {
      options.store = args[++i];
    } else if (a == "--trace" && i + 1 < args.size()) {
      options.trace = args[++i];
    } else {
      std::fprintf(stderr, "zorel bridge: unexpected argument '%s'\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  return true;
}

void writeResponse(const std::string& text) {
  std::fprintf(stdout, "%zu\n", text.size());
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int runBridge(const Args& args) {
  BridgeOptions options;
  if (!parseOptions(args, options)) return 2;
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) {
    std::fprintf(stderr, "zorel bridge: no machine is available (see zorel machine info)\n");
    return 1;
  }
  // The machine's own data folder is the window's: one user of it at a time.
  std::unique_ptr<platform::INamedInstanceLock> instance;
  if (options.store.empty() && !(instance = claimMachineInstance("bridge"))) return 1;
  // The JSON layer reports unparsable text on std::cout; standard output
  // carries only the framed responses.
  std::streambuf* savedCout = std::cout.rdbuf(std::cerr.rdbuf());

  SetOnlineFlag(options.online ? *options.online
                               : TestInternetConnection(fromUtf8(
                                     ReportServerSettings::FromEnvironment().baseAddress)));

  std::string trace;
  if (!options.trace.empty() && !prepareTraceFile("bridge", options.trace, &trace)) return 2;
  PreInstallCheckSettings settings = PreInstallCheckSettings::ForMachine(*machine, {}, trace);
  if (!options.sealed.empty()) settings.sealedScript = fs::absolute(options.sealed).string();
  if (!options.store.empty()) {
    settings.dataFolder = fs::absolute(options.store).lexically_normal().string();
    if (settings.dataFolder.back() != '/') settings.dataFolder += '/';
  }

  if (settings.dataFolder.empty()) {
    std::fprintf(stderr,
                 "zorel bridge: the machine has no application-data folder (APPDATA); every check "
                 "will fail with error 1000 (--store DIR gives one)\n");
  }
  if (platform::streamIsTerminal(0)) {
    std::fprintf(stderr,
                 "zorel bridge: reading UI requests, one JSON text per line, e.g. "
                 "{\"operationid\":1}; end with Ctrl-D\n");
  }

  {
    app::CMessageTranslateImpl bridge(settings);
    std::string line;
    while (std::getline(std::cin, line)) writeResponse(bridge.ProcessJSON(line));
  }  // the controller's end cancels a running check
  std::cout.rdbuf(savedCout);
  return 0;
}

}  // namespace zorel::cli
