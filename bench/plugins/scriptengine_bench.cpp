// executeScript calls per second through the object manager, each running a
// small script in a fresh JScript engine and writing its operation record
// into an open result store.
//
//   scriptengine_bench [calls]
// runs on a fresh default machine in a temporary folder.

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
  const long calls = argc > 1 ? std::atol(argv[1]) : 5000;
  const std::string base = zorel::bench::makeBenchMachine("zorel-scriptengine-bench", L"default");
  if (base.empty()) return 1;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    struct Case {
      const char* label;
      const wchar_t* script;
    } cases[] = {
        {"returns true", L"function Check() { return true; }"},
        {"a little work",
         L"function count(list) { var n = 0; for (var i = 0; i < list.length; ++i) n += list[i]; "
         L"return n; }\nfunction Check() { return count([1, 2, 3, 4]) === 10; }"},
        {"throws", L"function Check() { throw new Error('no'); }"},
    };
    for (const Case& c : cases) {
      zorel::StackFrame props;
      props.AddNamedArguments(R"({"languagename": "JScript", "functionname": "Check"})");
      const std::string instance = manager.CreateObject("ScriptEngine", props);
      size_t passed = 0;
      const auto start = std::chrono::steady_clock::now();
      for (long i = 0; i < calls; ++i) {
        zorel::StackFrame args;
        args.Push(c.script);
        passed += manager.InvokeMethod(instance, "executeScript", args).find("\"errorcode\" : 0") !=
                          std::string::npos
                      ? 1
                      : 0;
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("executeScript (%s): %ld calls in %.3f s = %.0f calls/s (%zu answered 0)\n",
                  c.label, calls, seconds, calls / seconds, passed);
    }
    store.Close(true);
  }
  zorel::platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return 0;
}
