// Plug-in method calls per second from a script, with the result store open
// and one operation record written per call, as a check run makes them.
//
//   jsengine_bench [calls] [store folder] [nostore]
// "nostore" runs the same calls without handing the store over, to show the
// binding's own share.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace {

// Answers like OS.getOSName: a value and one operation record per call.
class BenchOS : public zorel::CMethodDispatcher {
 public:
  BenchOS() { RegisterMethod("getOSName", &BenchOS::GetOSName); }
  std::unique_ptr<zorel::CJSONOSReturnVal> GetOSName(zorel::StackFrame&) {
    zorel::PluginCall call(GetResultStore(), errorcode_, 2, L"plugins\\win\\env\\OS",
                           L"OS::getOSName");
    auto result = std::make_unique<zorel::CJSONOSReturnVal>();
    result->value = "Windows 10 Pro";
    result->status = true;
    return call.Finish(std::move(result));
  }

 private:
  int32_t errorcode_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  long calls = argc > 1 ? std::atol(argv[1]) : 100000;
  std::filesystem::path folder =
      argc > 2 ? std::filesystem::path(argv[2])
               : std::filesystem::temp_directory_path() / "zorel_jsengine_bench";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);

  zorel::ResultStore store;
  if (!store.Open(folder.wstring())) {
    std::fprintf(stderr, "cannot open the result store in %s\n", folder.c_str());
    return 1;
  }
  zorel::CPluginFactory factory(
      {{"OS", [](zorel::StackFrame&) { return std::make_unique<BenchOS>(); }}});
  zorel::CObjectManager objects(factory);
  bool withStore = !(argc > 3 && std::string(argv[3]) == "nostore");
  if (withStore) objects.SetResultStore(&store);
  zorel::JSEngine engine(&objects);

  std::wstring script = L"var os = new OS(); var n = 0; for (var i = 0; i < " +
                        std::to_wstring(calls) +
                        L"; i++) { if (JSON.parse(os.getOSName()).status) n++; }";
  auto start = std::chrono::steady_clock::now();
  bool ok = engine.ExecuteScript(script);
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  zorel::DataTable rows;
  store.ExecuteQuery(L"select count(*) as N from OPERATION_TABLE", rows);
  int32_t recorded = -1;
  if (rows.RowCount() == 1) rows.Row(0).GetInt(L"N", recorded);
  std::string answered = engine.GetGlobalAsJson(L"n").asString();
  store.Close(true);
  std::filesystem::remove_all(folder);

  std::printf("script ran: %s\ncalls: %ld answered: %s operation rows: %d\n", ok ? "yes" : "no",
              calls, answered.c_str(), recorded);
  std::printf("time: %.3f s, %.0f calls per second (%s)\n", seconds, calls / seconds,
              withStore ? "with one operation record each" : "no store");
  return ok && recorded == (withStore ? calls : 0) ? 0 : 1;
}
