// The Registry object from a check script, with the result store open and
// one operation record per call: isValuePresent and setValue calls per
// second, and the mean time of a collect of a 100-value key in the export
// form (reg export) and the query form (cmd /c reg query ... > file).
//
//   registry_plugin_bench [calls] [collects]
// runs `calls` calls (default 100000) of each method and `collects`
// collections (default 100) of each form, each of its own key, on a fresh
// machine of the default image in a temporary folder, and checks that every
// call left its row.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace {

int32_t Count(zorel::ResultStore& store, const wchar_t* sql) {
  zorel::DataTable rows;
  store.ExecuteQuery(sql, rows);
  int32_t count = -1;
  if (rows.RowCount() == 1) rows.Row(0).GetInt(L"N", count);
  return count;
}

// Runs `script` and reports `what`: calls per second, or the mean time of
// one call. False when a call left no row.
bool Measure(zorel::ResultStore& store, const std::string& what, const std::string& script,
             long calls, bool perCall) {
  zorel::CObjectManager objects(zorel::CPluginFactory::Instance());
  objects.SetResultStore(&store);
  zorel::JSEngine engine(&objects);
  const int32_t before = Count(store, L"select count(*) as N from OPERATION_TABLE");
  const auto start = std::chrono::steady_clock::now();
  const bool ran = engine.ExecuteScript(zorel::fromUtf8(script));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int32_t recorded = Count(store, L"select count(*) as N from OPERATION_TABLE") - before;
  const std::string failed = engine.GetGlobalAsJson(L"failed").asString();
  const bool complete = ran && recorded == calls && failed == "0";
  if (perCall) {
    std::printf("%s: %ld calls, mean %.2f ms, failed %s, rows %d%s\n", what.c_str(), calls,
                1000.0 * seconds / calls, failed.c_str(), recorded, complete ? "" : "  INCOMPLETE");
  } else {
    std::printf("%s: %ld calls in %.3f s = %.0f calls/s, failed %s, rows %d%s\n", what.c_str(),
                calls, seconds, calls / seconds, failed.c_str(), recorded,
                complete ? "" : "  INCOMPLETE");
  }
  return complete;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zorel::platform;
  const long calls = argc > 1 ? std::atol(argv[1]) : 100000;
  const long collects = argc > 2 ? std::atol(argv[2]) : 100;
  const std::string base = zorel::bench::makeBenchMachine("zorel-registry-plugin-bench", L"default");
  if (base.empty()) return 1;

  // The collected keys: K0..K<collects-1>, 100 values each.
  IRegistry& registry = currentMachine()->registry();
  registry.beginBatch();
  for (long k = 0; k < collects; ++k) {
    const std::wstring key = L"Software\\Bench\\K" + std::to_wstring(k);
    for (int v = 0; v < 100; ++v)
      writeValueAt(registry, kHkeyCurrentUser, key, L"V" + std::to_wstring(v), REG_SZ,
                   regSz(L"value number " + std::to_wstring(v)));
  }
  registry.commitBatch();

  const std::string n = std::to_string(calls), c = std::to_string(collects);
  bool ok = true;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    ok &= Measure(store, "Registry.setValue",
                  "var r = new Registry({key: 'HKCU\\\\Software\\\\Bench\\\\Set', value: 'v', type: '4'});"
                  "var failed = 0; for (var i = 0; i < " + n + "; i++) { r.data = '' + i;"
                  " if (JSON.parse(r.setValue()).errorcode !== 0) failed++; }",
                  calls, false);
    ok &= Measure(store, "Registry.isValuePresent",
                  "var r = new Registry({key: 'HKCU\\\\Software\\\\Bench\\\\K0', value: 'V7'});"
                  "var failed = 0; for (var i = 0; i < " + n + "; i++) {"
                  " if (JSON.parse(r.isValuePresent()).errorcode !== 0) failed++; }",
                  calls, false);
    ok &= Measure(store, "Registry.collect (export form, 100 values)",
                  "var failed = 0; for (var i = 0; i < " + c + "; i++) {"
                  " var r = new Registry({key: 'HKCU\\\\Software\\\\Bench\\\\K' + i});"
                  " if (JSON.parse(r.collect()).errorcode !== 0) failed++; }",
                  collects, true);
    store.Close(true);
  }
  {
    zorel::ResultStore store;
    std::filesystem::create_directories(base + "/store2");
    if (!store.Open(zorel::fromUtf8(base + "/store2"))) return 1;
    ok &= Measure(store, "Registry.collect (query form, one value)",
                  "var failed = 0; for (var i = 0; i < " + c + "; i++) {"
                  " var r = new Registry({key: 'HKCU\\\\Software\\\\Bench\\\\K' + i, value: 'V50'});"
                  " if (JSON.parse(r.collect()).errorcode !== 0) failed++; }",
                  collects, true);
    store.Close(true);
  }
  setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return ok ? 0 : 1;
}
