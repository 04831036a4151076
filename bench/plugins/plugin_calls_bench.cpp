// Calls per second of real OS and System methods through the object manager,
// each writing its operation record into an open result store.
//
//   plugin_calls_bench [calls] [image]
// runs on a fresh machine made from the image (default "default") in a
// temporary folder.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/store/result_store.h"

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 100000;
  const std::wstring image = argc > 2 ? zorel::fromUtf8(argv[2]) : L"default";
  const std::string base = zorel::bench::makeBenchMachine("zorel-plugin-bench", image);
  if (base.empty()) return 1;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    struct Case {
      const char* component;
      const char* method;
      const wchar_t* arg;
    } cases[] = {{"OS", "getOSName", nullptr},
                 {"OS", "getOSDetail", nullptr},
                 {"OS", "isOsVersionOrGreater", L"6.1"},
                 {"System", "getFreeRAM", nullptr},
                 {"System", "checkForDiskSpace", L"500"}};
    for (const Case& c : cases) {
      zorel::StackFrame none;
      const std::string instance = manager.CreateObject(c.component, none);
      size_t answered = 0;
      const auto start = std::chrono::steady_clock::now();
      for (long i = 0; i < calls; ++i) {
        zorel::StackFrame args;
        if (c.arg) args.Push(c.arg);
        answered += manager.InvokeMethod(instance, c.method, args).empty() ? 0 : 1;
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%s.%s: %ld calls in %.3f s = %.0f calls/s (%zu answered)\n", c.component,
                  c.method, calls, seconds, calls / seconds, answered);
    }
    store.Close(true);
  }
  zorel::platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return 0;
}
