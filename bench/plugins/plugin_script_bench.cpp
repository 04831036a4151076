// Plug-in method calls per second made by a check script: the real OS and
// System plug-ins on a fresh machine, called from the script engine, with
// the result store open and one operation record written per call.
//
//   plugin_script_bench [calls] [image] [method ...]
// runs `calls` calls (default 100000) of each method (default OS.getOSName,
// OS.getOSDetail, OS.isOsVersionOrGreater("6.1"), System.getFreeRAM,
// System.checkForDiskSpace(500)) on a machine made from the image (default
// "default") in a temporary folder, and checks that every call left its row.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace {

struct Case {
  std::string component;
  std::string call;  // method and argument list as the script writes it
};

int32_t RowCount(zorel::ResultStore& store) {
  zorel::DataTable rows;
  store.ExecuteQuery(L"select count(*) as N from OPERATION_TABLE", rows);
  int32_t count = -1;
  if (rows.RowCount() == 1) rows.Row(0).GetInt(L"N", count);
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const long calls = argc > 1 ? std::atol(argv[1]) : 100000;
  const std::wstring image = argc > 2 ? zorel::fromUtf8(argv[2]) : L"default";
  std::vector<Case> cases;
  for (int i = 3; i < argc; ++i) {
    const std::string text = argv[i];
    const size_t dot = text.find('.');
    if (dot == std::string::npos) {
      std::fprintf(stderr, "a method is Component.method(args), not %s\n", argv[i]);
      return 2;
    }
    std::string call = text.substr(dot + 1);
    if (call.find('(') == std::string::npos) call += "()";
    cases.push_back({text.substr(0, dot), call});
  }
  if (cases.empty())
    cases = {{"OS", "getOSName()"},
             {"OS", "getOSDetail()"},
             {"OS", "isOsVersionOrGreater(\"6.1\")"},
             {"System", "getFreeRAM()"},
             {"System", "checkForDiskSpace(500)"}};

  const std::string base = zorel::bench::makeBenchMachine("zorel-plugin-script-bench", image);
  if (base.empty()) return 1;

  bool allRecorded = true;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    for (const Case& c : cases) {
      zorel::CObjectManager objects(zorel::CPluginFactory::Instance());
      objects.SetResultStore(&store);
      zorel::JSEngine engine(&objects);
      const int32_t before = RowCount(store);
      // Each answer is parsed, as a script author reads it.
      const std::string script = "var o = new " + c.component +
                                 "(); var n = 0; for (var i = 0; i < " + std::to_string(calls) +
                                 "; i++) { if (JSON.parse(o." + c.call +
                                 ").errorcode !== undefined) n++; }";
      const auto start = std::chrono::steady_clock::now();
      const bool ran = engine.ExecuteScript(zorel::fromUtf8(script));
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const int32_t recorded = RowCount(store) - before;
      const std::string answered = engine.GetGlobalAsJson(L"n").asString();
      const bool complete = ran && recorded == calls;
      allRecorded = allRecorded && complete;
      std::printf("%s.%s: %ld calls in %.3f s = %.0f calls/s, answered %s, rows %d%s\n",
                  c.component.c_str(), c.call.c_str(), calls, seconds, calls / seconds,
                  answered.c_str(), recorded, complete ? "" : "  INCOMPLETE");
    }
    store.Close(true);
  }
  zorel::platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return allRecorded ? 0 : 1;
}
