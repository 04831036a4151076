// Echo requests to 127.0.0.1: on one platform ICMP handle, and as the script
// sends them, through Network.IsServerReachable with its operation records
// (each call resolves the address and opens and closes a handle of its own).
//
//   network_echo_bench [echoes] [address]
// runs on a fresh machine of the default image in a temporary folder
// (default 100 echoes to 127.0.0.1). It needs a datagram ICMP socket
// (net.ipv4.ping_group_range) or a raw one (root).

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
#include "zorel/platform/net/network.h"
#include "zorel/store/result_store.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  namespace platform = zorel::platform;
  const long echoes = argc > 1 ? std::atol(argv[1]) : 100;
  const std::string address = argc > 2 ? argv[2] : "127.0.0.1";

  std::vector<platform::AddrInfo> found;
  if (platform::hostNetwork()->getAddrInfo(address, {}, found) != 0 || found.empty() ||
      !found[0].address) {
    std::fprintf(stderr, "cannot resolve %s\n", address.c_str());
    return 1;
  }
  const platform::SocketAddress target = *found[0].address;
  std::unique_ptr<platform::IIcmpHandle> handle;
  if (const platform::WinError e = platform::hostNetwork()->icmpCreateFile(target.family, handle)) {
    std::fprintf(stderr, "no ICMP handle: error %d\n", e);
    return 1;
  }
  const std::vector<uint8_t> data(32, 'x');
  long answered = 0;
  auto start = std::chrono::steady_clock::now();
  for (long i = 0; i < echoes; ++i) {
    platform::IcmpEchoReply reply;
    answered += handle->sendEcho(target, data, 72, 1000, reply) == 0 ? 1 : 0;
  }
  double seconds = SecondsSince(start);
  std::printf("platform sendEcho on one handle: %ld echoes to %s in %.3f s = %.0f/s "
              "(%ld answered)\n",
              echoes, address.c_str(), seconds, echoes / seconds, answered);
  handle.reset();

  const std::string base = zorel::bench::makeBenchMachine("zorel-network-bench", L"default");
  if (base.empty()) return 1;
  {
    zorel::ResultStore store;
    if (!store.Open(zorel::fromUtf8(base + "/store"))) return 1;
    zorel::CObjectManager manager(zorel::CPluginFactory::Instance());
    manager.SetResultStore(&store);
    zorel::StackFrame none;
    const std::string instance = manager.CreateObject("Network", none);
    answered = 0;
    start = std::chrono::steady_clock::now();
    for (long i = 0; i < echoes; ++i) {
      zorel::StackFrame args;
      args.Push(zorel::fromUtf8(address));
      const std::string answer = manager.InvokeMethod(instance, "IsServerReachable", args);
      answered += answer.find("\"errorcode\" : 0") != std::string::npos ? 1 : 0;
    }
    seconds = SecondsSince(start);
    std::printf("Network.IsServerReachable with records: %ld echoes to %s in %.3f s = %.0f/s "
                "(%ld answered)\n",
                echoes, address.c_str(), seconds, echoes / seconds, answered);
    store.Close(true);
  }
  platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return answered == echoes ? 0 : 1;
}
