// The event-log store and the EventLogger object on a large System log.
//
//   eventlog_bench [records]
// makes a fresh machine of the default image in a temporary folder, imports
// `records` (default 100 000) System records from a JSON-lines file
// (registered source "BenchSource" with eventcreate's message file, texts
// of one insertion string), then times through the plug-in with its
// operation records: IsEventPresent matching nothing (every record
// scanned), IsEventPresent with a message filter that formats every record
// and matches none, and CollectEvent of every record into its CSV file.
// Run from the build folder, so the machine finds zorel-wintools and the
// message file beside it.

#include <stdlib.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/platform/eventlog/event_import.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/store/result_store.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor seconds of this process since `start` (the wall time above also
// counts waiting for a busy machine's processors).
double CpuSince(std::clock_t start) { return double(std::clock() - start) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  namespace platform = zorel::platform;
  const long records = argc > 1 ? std::atol(argv[1]) : 100000;
  const std::string base = zorel::bench::makeBenchMachine("zorel-eventlog-bench", L"default");
  if (base.empty()) return 1;
  platform::IMachine& machine = *platform::currentMachine();
  if (platform::writeValueAt(machine.registry(), platform::kHkeyLocalMachine,
                             std::wstring(platform::kEventLogKey) + L"\\System\\BenchSource",
                             L"EventMessageFile", platform::REG_EXPAND_SZ,
                             platform::regSz(L"%SystemRoot%\\System32\\eventcreate_msg.dll")) != 0)
    return 1;
  const std::string file = base + "/records.jsonl";
  {
    std::ofstream out(file, std::ios::binary);
    for (long i = 0; i < records; ++i)
      out << R"({"log":"System","source":"BenchSource","id":)" << (1 + i % 1000)
          << R"(,"type":4,"ago":)" << (i % 86400) << R"(,"strings":["Service number )" << i
          << R"( entered the running state, as expected"]})" << '\n';
  }
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpu = std::clock();
  size_t imported = 0;
  std::string message;
  if (platform::importEventLines(machine.eventLog(), file, file, L"BENCH", &imported, &message) != 0) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
  }
  double seconds = SecondsSince(start);
  std::printf("import: %zu records in %.3f s (%.3f s processor) = %.0f records/s\n", imported,
              seconds, CpuSince(cpu), imported / seconds);

  int failures = 0;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    zorel::StackFrame named;
    named.AddNamedArguments(R"({"eventgroup":"System"})");
    const std::string log = manager.CreateObject("EventLogger", named);
    struct Run {
      const char* what;
      const char* method;
      std::vector<std::wstring> args;
    } const runs[] = {
        {"IsEventPresent matching nothing", "IsEventPresent", {L"", L"", L"NoSuchSource"}},
        {"IsEventPresent formatting every message", "IsEventPresent", {L"", L"", L"", L"absent text"}},
        {"CollectEvent of every record", "CollectEvent", {L"4"}},
    };
    for (const Run& r : runs) {
      zorel::StackFrame args;
      for (const std::wstring& a : r.args) args.Push(a);
      start = std::chrono::steady_clock::now();
      cpu = std::clock();
      const std::string answer = manager.InvokeMethod(log, r.method, args);
      seconds = SecondsSince(start);
      const bool ok = answer.find("\"errorcode\" : 0") != std::string::npos;
      failures += ok ? 0 : 1;
      std::printf("%s: %.3f s (%.3f s processor) = %.0f records/s%s\n", r.what, seconds,
                  CpuSince(cpu), imported / seconds, ok ? "" : " (failed)");
    }
    store.Close(true);
  }
  platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return failures == 0 ? 0 : 1;
}
