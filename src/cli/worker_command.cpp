// zorel worker --machine ROOT [--trace FILE.jsonl]
//
// Not for people: the session controller starts it as its framework worker
// process and talks to it over the channel it was started with (see
// zorel/session/worker_framework_lib.h). It opens the given machine root,
// so the worker sees the same machine as the controller. With --trace it
// appends one JSON line per plug-in call to FILE (zorel/framework/call_trace.h).

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/call_trace.h"
#include "zorel/pathvars/env_and_csidl_variable.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/platform/process/console.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/session/framework_worker.h"

namespace zorel::cli {

int runWorker(const Args& args) {
  // A Ctrl-C at the terminal reaches this process too; the controller
  // turns it into a cancel and tells the worker over the channel.
  platform::ignoreInterrupts();
  std::string root, tracePath;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--machine" && i + 1 < args.size()) {
      root = args[++i];
    } else if (args[i] == "--trace" && i + 1 < args.size()) {
      tracePath = args[++i];
    } else {
      std::fprintf(stderr, "zorel worker: unexpected argument '%s'\n", args[i].c_str());
      return 2;
    }
  }
  std::unique_ptr<platform::IMessageChannel> channel = platform::openParentChannel();
  if (!channel) {
    std::fprintf(stderr, "zorel worker: started without a controller; this command is internal\n");
    return 2;
  }
  if (!root.empty()) {
    std::unique_ptr<platform::IMachine> machine;
    std::wstring message;
    if (platform::openMachine(root, {}, &machine, &message) != 0) {
      std::fprintf(stderr, "zorel worker: cannot open the machine '%s': %s\n", root.c_str(),
                   toUtf8(message).c_str());
      return 1;
    }
    platform::setCurrentMachine(std::move(machine));
  }
  if (!platform::currentMachine()) {
    std::fprintf(stderr, "zorel worker: no machine is available\n");
    return 1;
  }
  FileCallTrace trace;  // outlives the framework the worker runs
  if (!tracePath.empty()) {
    std::string reason;
    if (!trace.Open(tracePath, &reason)) {
      std::fprintf(stderr, "zorel worker: cannot open the trace file '%s': %s\n", tracePath.c_str(),
                   reason.c_str());
      return 1;
    }
    SetCallTrace(&trace);
  }
  EnvAndCsidlVariable::Instance().Build();
  // Library code announces things on std::cout; the channel is the only
  // output the controller reads.
  std::cout.rdbuf(std::cerr.rdbuf());
  return RunFrameworkWorker(*channel);
}

}  // namespace zorel::cli
