// The service control manager and the Service object on a fresh machine of
// the default image:
//   - the platform's status query (QueryServiceStatusEx) of a running
//     service, on one open handle;
//   - Service.checkStatus as the script calls it, with its operation
//     records (each call opens and closes a service handle);
//   - Service.collect over the image's services plus enough created ones
//     to make `services` in all, with the store open.
//
//   service_bench [queries] [calls] [services]
// defaults: 100000 queries, 5000 calls, 300 services.

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
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/services/service_manager.h"
#include "zorel/store/result_store.h"

namespace {

namespace platform = zorel::platform;

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const long queries = argc > 1 ? std::atol(argv[1]) : 100000;
  const long calls = argc > 2 ? std::atol(argv[2]) : 5000;
  const long wanted = argc > 3 ? std::atol(argv[3]) : 300;
  const std::string base = zorel::bench::makeBenchMachine("zorel-service-bench", L"default");
  if (base.empty()) return 1;
  platform::IMachine& machine = *platform::currentMachine();
  int failures = 0;
  {
    auto scm = platform::createServiceManager(machine);
    platform::ScHandle m = platform::kNoScHandle, s = platform::kNoScHandle;
    scm->openManager(platform::SC_MANAGER_ALL_ACCESS, &m);
    if (scm->openService(m, L"Themes", platform::SERVICE_ALL_ACCESS, &s) != 0 ||
        scm->startService(s) != 0) {
      std::fprintf(stderr, "cannot start Themes (is zorel-wintools built?)\n");
      return 1;
    }
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < queries; ++i) {
      platform::ServiceStatus status;
      if (scm->queryStatus(s, &status) != 0 || status.currentState != platform::SERVICE_RUNNING)
        ++failures;
    }
    double seconds = SecondsSince(start);
    std::printf("platform queryStatus of a running service: %ld in %.3f s = %.0f/s\n", queries,
                seconds, queries / seconds);

    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    zorel::StackFrame props;
    props.AddNamedArguments(R"({"name": "Themes", "status": "4"})");
    const std::string instance = manager.CreateObject("Service", props);
    start = std::chrono::steady_clock::now();
    for (long i = 0; i < calls; ++i) {
      zorel::StackFrame none;
      const std::string answer = manager.InvokeMethod(instance, "checkStatus", none);
      if (answer.find("\"return\" : true") == std::string::npos) ++failures;
    }
    seconds = SecondsSince(start);
    std::printf("Service.checkStatus with records: %ld calls in %.3f s = %.0f/s\n", calls, seconds,
                calls / seconds);
    scm->controlService(s, platform::SERVICE_CONTROL_STOP, nullptr);
    scm->closeHandle(s);

    std::vector<platform::ServiceEntry> all;
    scm->enumServices(m, platform::SERVICE_TYPE_ALL, platform::SERVICE_STATE_ALL, &all);
    for (long i = static_cast<long>(all.size()); i < wanted; ++i) {
      platform::ServiceCreateRequest r;
      r.serviceName = L"BenchService" + std::to_wstring(i);
      r.binaryPathName = L"%SystemRoot%\\System32\\svchost.exe -k bench";
      r.dependencies = {L"RpcSs", L"+Group"};
      platform::ScHandle created = platform::kNoScHandle;
      if (scm->createService(m, r, &created) != 0) ++failures;
      scm->closeHandle(created);
    }
    scm->enumServices(m, platform::SERVICE_TYPE_ALL, platform::SERVICE_STATE_ALL, &all);
    zorel::StackFrame none;
    const std::string collector = manager.CreateObject("Service", none);
    start = std::chrono::steady_clock::now();
    const std::string answer = manager.InvokeMethod(collector, "collect", none);
    seconds = SecondsSince(start);
    if (answer.find("\"return\" : true") == std::string::npos) ++failures;
    std::printf("Service.collect over %zu services (store open): %.3f s\n", all.size(), seconds);
    scm->closeHandle(m);
    store.Close(true);
  }
  platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  if (failures) std::fprintf(stderr, "%d unexpected answers\n", failures);
  return failures ? 1 : 0;
}
