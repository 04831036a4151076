// The Network object over a fake network: every step of the echo and of the
// flush, including those a host cannot be made to fail, with the code, log
// line and operation record each leaves.

#include "zorel/plugins/network/network.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>

#include "../os/plugin_fixture.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/net/network.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using testing::OperationRow;
using testing::PluginBench;

const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

SocketAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  SocketAddress s;
  s.family = WS_AF_INET;
  s.bytes = {a, b, c, d};
  return s;
}

SocketAddress V6Loopback(uint8_t last = 1) {
  SocketAddress s;
  s.family = WS_AF_INET6;
  s.bytes[15] = last;
  return s;
}

AddrInfo Result(std::optional<SocketAddress> address, int32_t family = WS_AF_UNSPEC) {
  AddrInfo info;
  info.family = address ? address->family : family;
  info.socketType = WS_SOCK_STREAM;
  info.protocol = WS_IPPROTO_TCP;
  info.address = address;
  return info;
}

// `log` holds the error line `line`; with null, no error line at all.
void ExpectErrorLine(const std::string& log, const char* line) {
  if (line) {
    EXPECT_NE(log.find(std::string("Error \t") + line), std::string::npos) << log;
  } else {
    EXPECT_EQ(log.find("Error"), std::string::npos) << log;
  }
}

// Answers as told and remembers what it was asked.
class FakeNetwork : public INetwork {
 public:
  // What each call answers.
  WinError startup = 0, resolve = 0, open = 0, echo = 0;
  std::vector<AddrInfo> found = {Result(V4(127, 0, 0, 1))};
  bool throwOnResolve = false;
  DnsFlushExport flushExport = DnsFlushExport::Present;
  bool flushResult = true, throwOnFlush = false;

  // What it was asked.
  int startups = 0, cleanups = 0, openHandles = 0, flushes = 0;
  std::vector<std::string> resolved;
  AddrInfoHints hints;
  std::vector<int32_t> openedFamilies;
  std::vector<SocketAddress> sentTo;
  std::vector<uint8_t> sentData;
  uint32_t replySize = 0, timeoutMs = 0;

  WinError wsaStartup(uint16_t version) override {
    EXPECT_EQ(version, 0x0202);
    ++startups;
    return startup;
  }
  WinError wsaCleanup() override {
    ++cleanups;
    return 0;
  }
  WinError getAddrInfo(std::string_view node, const AddrInfoHints& h,
                       std::vector<AddrInfo>& results) override {
    resolved.emplace_back(node);
    hints = h;
    if (throwOnResolve) throw std::runtime_error("resolver");
    results = resolve ? std::vector<AddrInfo>{} : found;
    return resolve;
  }
  WinError icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) override;
  DnsFlushExport findDnsFlushResolverCache() override { return flushExport; }
  bool dnsFlushResolverCache() override {
    ++flushes;
    if (throwOnFlush) throw std::runtime_error("flush");
    return flushResult;
  }
};

class FakeHandle : public IIcmpHandle {
 public:
  FakeHandle(FakeNetwork& network, int32_t family) : network_(network), family_(family) {
    ++network_.openHandles;
  }
  ~FakeHandle() override { --network_.openHandles; }
  int32_t family() const override { return family_; }
  WinError sendEcho(const SocketAddress& destination, std::span<const uint8_t> data,
                    uint32_t replySize, uint32_t timeoutMs, IcmpEchoReply& reply) override {
    network_.sentTo.push_back(destination);
    network_.sentData.assign(data.begin(), data.end());
    network_.replySize = replySize;
    network_.timeoutMs = timeoutMs;
    if (!network_.echo) reply.data = network_.sentData;
    return network_.echo;
  }

 private:
  FakeNetwork& network_;
  int32_t family_;
};

WinError FakeNetwork::icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) {
  openedFamilies.push_back(family);
  if (!open) handle = std::make_unique<FakeHandle>(*this, family);
  return open;
}

// A Network object over a fake, writing to a fresh store.
class NetworkOverFake : public ::testing::Test {
 protected:
  std::shared_ptr<FakeNetwork> fake_ = std::make_shared<FakeNetwork>();

  // Runs one method, returning its answer; the log lines it wrote go to
  // `log`.
  std::unique_ptr<CJSONReturn> Call(const std::string& method, std::vector<std::wstring> args,
                                    std::string& log) {
    StackFrame none;
    CNetworkPlugin plugin(none, fake_);
    plugin.SetResultStore(&bench_.store());
    StackFrame frame;
    for (const std::wstring& a : args) frame.Push(a);
    const auto offset = LogSize();
    std::unique_ptr<CJSONReturn> answer = plugin.Call(method, frame);
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::stringstream text;
    text << in.rdbuf();
    log = text.str();
    EXPECT_EQ(plugin.ErrorCode(), answer ? answer->errorcode : -1);
    return answer;
  }
  OperationRow LastRow() { return bench_.LastRow(++rows_); }

 private:
  static size_t LogSize() {
    std::error_code ec;
    const auto size = std::filesystem::file_size(FrameworkLog::Instance().path(), ec);
    return ec ? 0 : static_cast<size_t>(size);
  }
  PluginBench bench_;
  size_t rows_ = 0;
};

TEST_F(NetworkOverFake, MethodTableIsWhatTheScriptCanCall) {
  StackFrame none;
  CNetworkPlugin plugin(none, fake_);
  std::set<std::string> names;
  for (const CNetworkPlugin::Method& m : CNetworkPlugin::Methods()) names.insert(m.name);
  EXPECT_EQ(names, (std::set<std::string>{"IsServerReachable", "ClearDnsCache"}));
  EXPECT_EQ(plugin.GetMethodNames(), names);
}

TEST_F(NetworkOverFake, EachFailingEchoStepEndsWithItsCodeLineAndCleanUp) {
  struct Case {
    const char* what;
    std::function<void(FakeNetwork&)> arrange;
    int32_t code;
    const char* logLine;  // null: no error line
    int cleanups;         // WSACleanup after a start-up that succeeded only
    size_t opened, sent;
  };
  const Case cases[] = {
      {"start-up fails", [](FakeNetwork& n) { n.startup = 10091; }, 10091, "WSAStartup failed.", 0,
       0, 0},
      {"name not resolved", [](FakeNetwork& n) { n.resolve = WSAHOST_NOT_FOUND; }, 11001,
       "Failed to get address information.", 1, 0, 0},
      {"no result carries an address",
       [](FakeNetwork& n) { n.found = {Result(std::nullopt, 17)}; }, 11004,
       "Failed to get socket address.", 1, 0, 0},
      {"no result at all", [](FakeNetwork& n) { n.found.clear(); }, 11004,
       "Failed to get socket address.", 1, 0, 0},
      {"no ICMP handle", [](FakeNetwork& n) { n.open = ERROR_ACCESS_DENIED; }, 5,
       "Unable to open handler.", 1, 1, 0},
      {"no reply in time", [](FakeNetwork& n) { n.echo = IP_REQ_TIMED_OUT; }, 11010,
       "Unable to get the response.", 1, 1, 1},
      {"the resolver throws", [](FakeNetwork& n) { n.throwOnResolve = true; }, 20016,
       "Exception occured during Pingging server", 1, 0, 0},
      {"a reply", [](FakeNetwork&) {}, 0, nullptr, 1, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_ = std::make_shared<FakeNetwork>();
    c.arrange(*fake_);
    std::string log;
    const auto answer = Call("IsServerReachable", {L"h\u00e9st"}, log);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_FALSE(answer->status);
    EXPECT_FALSE(answer->returnValue);
    ExpectErrorLine(log, c.logLine);
    EXPECT_EQ(fake_->cleanups, c.cleanups);
    EXPECT_EQ(fake_->openedFamilies.size(), c.opened);
    EXPECT_EQ(fake_->sentTo.size(), c.sent);  // nothing goes to an unresolved address
    EXPECT_EQ(fake_->openHandles, 0);         // every handle opened is closed
    if (c.code != 10091) {
      EXPECT_EQ(fake_->resolved, std::vector<std::string>{"h\xc3\xa9st"});  // UTF-8
      EXPECT_EQ(fake_->hints.family, WS_AF_UNSPEC);
      EXPECT_EQ(fake_->hints.socketType, WS_SOCK_STREAM);
      EXPECT_EQ(fake_->hints.protocol, WS_IPPROTO_TCP);
    }

    const OperationRow row = LastRow();
    EXPECT_EQ(row.api, L"Network::IsServerReachable");
    EXPECT_EQ(row.component, L"Network");
    EXPECT_EQ(row.operationType, 0);
    EXPECT_EQ(row.input, L"{\"serveraddress\":\"h\u00e9st\"}");
    EXPECT_EQ(row.errorCode, c.code);
    EXPECT_EQ(row.executionStatus, c.code == 0 ? 1 : 0);
  }
  // The request: 32 bytes of "Data Buffer" and zeros, room for one reply
  // record and that data, one second.
  std::vector<uint8_t> data(32, 0);
  const std::string text = "Data Buffer";
  std::copy(text.begin(), text.end(), data.begin());
  EXPECT_EQ(fake_->sentData, data);
  EXPECT_EQ(fake_->replySize, 72u);
  EXPECT_EQ(fake_->timeoutMs, 1000u);
}

TEST_F(NetworkOverFake, EchoGoesToTheFirstIPv4ResultElseTheFirstIPv6) {
  struct Case {
    const char* what;
    std::vector<AddrInfo> found;
    SocketAddress target;
  };
  const Case cases[] = {
      {"IPv6 listed first, as localhost often is", {Result(V6Loopback()), Result(V4(127, 0, 0, 1))},
       V4(127, 0, 0, 1)},
      {"several IPv4", {Result(V4(10, 0, 0, 1)), Result(V4(10, 0, 0, 2))}, V4(10, 0, 0, 1)},
      {"IPv6 only", {Result(V6Loopback(1)), Result(V6Loopback(2))}, V6Loopback(1)},
      {"a result without an address first", {Result(std::nullopt, 17), Result(V6Loopback())},
       V6Loopback()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_ = std::make_shared<FakeNetwork>();
    fake_->found = c.found;
    std::string log;
    EXPECT_EQ(Call("IsServerReachable", {L"localhost"}, log)->errorcode, 0);
    ASSERT_EQ(fake_->sentTo.size(), 1u);
    EXPECT_EQ(fake_->sentTo[0], c.target);
    EXPECT_EQ(fake_->openedFamilies, std::vector<int32_t>{c.target.family});
    LastRow();
  }
}

TEST_F(NetworkOverFake, ClearDnsCacheOutcomes) {
  struct Case {
    const char* what;
    DnsFlushExport found;
    bool flushed, throws;
    int32_t code;
    bool answer;
    const char* logLine;
    const wchar_t* errorString;
  };
  const Case cases[] = {
      {"flushed", DnsFlushExport::Present, true, false, 0, true, nullptr, L""},
      {"the flush fails", DnsFlushExport::Present, false, false, 20031, false,
       "Failed to clear cache.", L"Failed to clear the cache"},
      {"no flush on this host", DnsFlushExport::FunctionMissing, true, false, 20016, false,
       "Failed to get function address.", L"API failed"},
      {"no library", DnsFlushExport::LibraryMissing, true, false, 20016, false,
       "Failed to load the library.", L"API failed"},
      {"the flush throws", DnsFlushExport::Present, true, true, 20016, false,
       "Exception occured during cleaning DNS.", L"API failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake_ = std::make_shared<FakeNetwork>();
    fake_->flushExport = c.found;
    fake_->flushResult = c.flushed;
    fake_->throwOnFlush = c.throws;
    std::string log;
    const auto answer = Call("ClearDnsCache", {L"ignored"}, log);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_EQ(answer->returnValue, c.answer);
    EXPECT_FALSE(answer->status);
    EXPECT_EQ(fake_->flushes, c.found == DnsFlushExport::Present ? 1 : 0);
    ExpectErrorLine(log, c.logLine);
    const OperationRow row = LastRow();
    EXPECT_EQ(row.api, L"Network::ClearDnsCache");
    EXPECT_EQ(row.input, L"{}");
    EXPECT_EQ(row.errorCode, c.code);
    EXPECT_EQ(row.errorString, c.errorString);
  }
}

}  // namespace
}  // namespace zorel
