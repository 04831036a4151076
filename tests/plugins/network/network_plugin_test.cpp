// The Network object over a fake network: the echo steps and flush branches
// a host cannot be made to take, with the code, log line and record each
// leaves. Loopback and the host's flush are tested through zorel check.

#include "zorel/plugins/network/network.h"

#include <gtest/gtest.h>

#include <functional>

#include "../os/plugin_fixture.h"
#include "zorel/platform/net/network.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using Bytes = std::vector<uint8_t>;
const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

AddrInfo Result(int32_t family, uint8_t last) {
  AddrInfo info{family, WS_SOCK_STREAM, WS_IPPROTO_TCP, SocketAddress{family}};
  info.address->bytes[family == WS_AF_INET ? 3 : 15] = last;
  return info;
}
const AddrInfo kNoAddress{17, WS_SOCK_STREAM, WS_IPPROTO_TCP, std::nullopt};

// Answers as told and counts what it was asked.
struct FakeNetwork : INetwork {
  WinError startup = 0, resolve = 0, open = 0, echo = 0;
  std::vector<AddrInfo> found = {Result(WS_AF_INET, 1)};
  bool throws = false, flushed = true;
  DnsFlushExport flush = DnsFlushExport::Present;
  int cleanups = 0, openHandles = 0;
  std::vector<int32_t> families;
  std::vector<SocketAddress> sentTo;
  Bytes sent;
  uint32_t replySize = 0, timeout = 0;

  WinError wsaStartup(uint16_t) override { return startup; }
  WinError wsaCleanup() override { return ++cleanups, 0; }
  WinError getAddrInfo(std::string_view, const AddrInfoHints& h,
                       std::vector<AddrInfo>& out) override {
    EXPECT_EQ(h.family, WS_AF_UNSPEC);
    if (throws) throw std::runtime_error("resolver");
    out = resolve ? std::vector<AddrInfo>{} : found;
    return resolve;
  }
  WinError icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) override;
  DnsFlushExport findDnsFlushResolverCache() override { return flush; }
  bool dnsFlushResolverCache() override {
    if (throws) throw std::runtime_error("flush");
    return flushed;
  }
};

// A handle that reports to its fake.
struct Handle : IIcmpHandle {
  FakeNetwork& n;
  explicit Handle(FakeNetwork& network) : n(network) { ++n.openHandles; }
  ~Handle() override { --n.openHandles; }
  int32_t family() const override { return n.families.back(); }
  WinError sendEcho(const SocketAddress& to, std::span<const uint8_t> data, uint32_t size,
                    uint32_t ms, IcmpEchoReply&) override {
    n.sentTo.push_back(to);
    n.sent.assign(data.begin(), data.end());
    n.replySize = size, n.timeout = ms;
    return n.echo;
  }
};

WinError FakeNetwork::icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) {
  families.push_back(family);
  if (!open) handle = std::make_unique<Handle>(*this);
  return open;
}

struct Case {
  const char* what;
  std::function<void(FakeNetwork&)> arrange;
  int32_t code;
  const char* logLine;  // null: no error line
  size_t sent;
};

// Runs `method` once over a fake arranged by `c`; checks the answer, the
// log and the record, and returns the fake.
std::shared_ptr<FakeNetwork> CallOnce(testing::PluginBench& bench, size_t& rows, const char* method,
                                      const Case& c) {
  SCOPED_TRACE(c.what);
  auto fake = std::make_shared<FakeNetwork>();
  c.arrange(*fake);
  StackFrame frame;
  frame.Push(L"server");
  CNetworkPlugin plugin(frame, fake);
  plugin.SetResultStore(&bench.store());
  const std::string logBefore = bench.LogSinceCall();
  const auto answer = plugin.Call(method, frame);
  const std::string log = bench.LogSinceCall().substr(logBefore.size());
  EXPECT_EQ(answer->errorcode, c.code);
  EXPECT_FALSE(answer->status);
  // Only a flush answers through "return".
  EXPECT_EQ(answer->returnValue, c.code == 0 && std::string(method) == "ClearDnsCache");
  const std::string line = c.logLine ? std::string("Error \t") + c.logLine : "Error";
  EXPECT_EQ(log.find(line) != std::string::npos, c.logLine != nullptr) << log;
  EXPECT_EQ(fake->sentTo.size(), c.sent);  // nothing goes to an address never resolved
  EXPECT_EQ(fake->openHandles, 0);
  const testing::OperationRow row = bench.LastRow(++rows);
  EXPECT_EQ(row.api, L"Network::" + fromUtf8(method));
  EXPECT_EQ(row.operationType, 0);
  EXPECT_EQ(row.errorCode, c.code);
  return fake;
}

TEST(NetworkPlugin, EachFailingEchoStepEndsWithItsCodeAndCleanUp) {
  testing::PluginBench bench;
  size_t rows = 0;
  const Case cases[] = {
      {"start-up fails", [](FakeNetwork& n) { n.startup = 10091; }, 10091, "WSAStartup failed.", 0},
      {"not resolved", [](FakeNetwork& n) { n.resolve = 11001; }, 11001,
       "Failed to get address information.", 0},
      {"no address", [](FakeNetwork& n) { n.found = {kNoAddress}; }, 11004,
       "Failed to get socket address.", 0},
      {"no handle", [](FakeNetwork& n) { n.open = 5; }, 5, "Unable to open handler.", 0},
      {"no reply", [](FakeNetwork& n) { n.echo = 11010; }, 11010, "Unable to get the response.", 1},
      {"a throw", [](FakeNetwork& n) { n.throws = true; }, 20016,
       "Exception occured during Pingging server", 0},
      {"a reply", [](FakeNetwork&) {}, 0, nullptr, 1},
  };
  for (const Case& c : cases) {
    const auto fake = CallOnce(bench, rows, "IsServerReachable", c);
    EXPECT_EQ(fake->cleanups, c.code == 10091 ? 0 : 1) << c.what;
  }
  EXPECT_EQ(bench.LastRow(rows).input, L"{\"serveraddress\":\"server\"}");
  const auto fake = CallOnce(bench, rows, "IsServerReachable", cases[6]);
  Bytes data(32, 0);
  std::copy_n("Data Buffer", 11, data.begin());
  EXPECT_EQ(fake->sent, data);
  EXPECT_EQ(fake->replySize, 72u);
  EXPECT_EQ(fake->timeout, 1000u);

  // The first IPv4 result, else the first IPv6 one, each by its own family.
  const std::vector<AddrInfo> lists[] = {
      {Result(WS_AF_INET6, 1), Result(WS_AF_INET, 1), Result(WS_AF_INET, 2)},
      {kNoAddress, Result(WS_AF_INET6, 1), Result(WS_AF_INET6, 2)}};
  for (const auto& list : lists) {
    const auto chosen = CallOnce(bench, rows, "IsServerReachable",
                            {"choice", [&](FakeNetwork& n) { n.found = list; }, 0, nullptr, 1});
    EXPECT_EQ(chosen->sentTo[0], *list[1].address);
    EXPECT_EQ(chosen->families, std::vector<int32_t>{list[1].family});
  }
}

TEST(NetworkPlugin, ClearDnsCacheBranches) {
  testing::PluginBench bench;
  size_t rows = 0;
  const Case cases[] = {
      {"flushed", [](FakeNetwork&) {}, 0, nullptr, 0},
      {"failed", [](FakeNetwork& n) { n.flushed = false; }, 20031, "Failed to clear cache.", 0},
      {"no export", [](FakeNetwork& n) { n.flush = DnsFlushExport::FunctionMissing; }, 20016,
       "Failed to get function address.", 0},
      {"no library", [](FakeNetwork& n) { n.flush = DnsFlushExport::LibraryMissing; }, 20016,
       "Failed to load the library.", 0},
      {"a throw", [](FakeNetwork& n) { n.throws = true; }, 20016,
       "Exception occured during cleaning DNS.", 0},
  };
  for (const Case& c : cases) CallOnce(bench, rows, "ClearDnsCache", c);
  EXPECT_EQ(bench.LastRow(rows).input, L"{}");
}

}  // namespace
}  // namespace zorel
