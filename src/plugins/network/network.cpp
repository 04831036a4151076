// CNetworkPlugin: its method table, IsServerReachable and ClearDnsCache.

#include "zorel/plugins/network/network.h"

#include <new>
#include <string>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/net/network.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"

namespace zorel {

namespace {

constinit const PluginMethod kMethods[] = {
    {"IsServerReachable", MethodOf<&CNetworkPlugin::IsServerReachable>, OperationType::kQuery,
     {L"serveraddress"},
     {.summary = "Whether the server answers a ping (one ICMP echo, one second): errorcode 0 "
                 "when it does.",
      .arguments = {{{"serverAddress", ValueType::kText, false, "a host name or IP address"}}},
      .errors = {87, 20016, kSystemErrors}}},
    {"ClearDnsCache", MethodOf<&CNetworkPlugin::ClearDnsCache>, OperationType::kQuery, {},
     {.summary = "Flushes the DNS resolver cache.",
      .fills = "return",
      .errors = {20016, 20031}}},
};

// The echo request: "Data Buffer" padded with zeros to 32 bytes, one reply
// record plus that much data to receive it, one second to wait.
constexpr uint8_t kEchoData[32] = {'D', 'a', 't', 'a', ' ', 'B', 'u', 'f', 'f', 'e', 'r'};
constexpr uint32_t kReplyBufferSize = platform::kIcmpEchoReplySize + sizeof kEchoData;
constexpr uint32_t kEchoTimeoutMs = 1000;

void LogError(const wchar_t* message) {
  FrameworkLog::Instance().Write(LogLevel::Error, L"%s", message);
}

// A failing step: its code and its log line.
void Failed(PluginCall& call, platform::WinError code, const wchar_t* message) {
  call.SetError(code);
  LogError(message);
}

// Where the echo goes: the first IPv4 result, or with none the first IPv6
// one. Null when no result carries an address.
const platform::SocketAddress* PingTarget(const std::vector<platform::AddrInfo>& found) {
  for (int32_t family : {platform::WS_AF_INET, platform::WS_AF_INET6}) {
    for (const platform::AddrInfo& info : found) {
      if (info.address && info.address->family == family) return &*info.address;
    }
  }
  return nullptr;
}

}  // namespace

constinit const PluginSurface CNetworkPlugin::kSurface{
    "Network", kComponentPath, kMethods, kErrorCodeProperty,
    "Reaches servers and clears the DNS cache."};

CNetworkPlugin::CNetworkPlugin(StackFrame& args) : CNetworkPlugin(args, platform::hostNetwork()) {}

CNetworkPlugin::CNetworkPlugin(StackFrame&, std::shared_ptr<platform::INetwork> network)
    : network_(std::move(network)) {
  RegisterSurface(kSurface);
  BindProperty("errorcode", errorcode_);
}

std::unique_ptr<CJSONReturn> CNetworkPlugin::IsServerReachable(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 1) {
    call.UsesInputs();
    call.ArgumentError(plugin_error::kInvalidParameter, L"Invalid Parameters.");
    return call.Finish(std::move(result));
  }
  const std::wstring address = args.TextAt(0);
  if (address.empty()) {
    call.UsesInputs();
    call.ArgumentError(plugin_error::kInvalidParameter, L"Parameter can't be empty");
    return call.Finish(std::move(result));
  }
  call.Input(address);
  call.Run([&] { Ping(call, address); }, L"Exception occured during ping the source.");
  return call.Finish(std::move(result));
}

void CNetworkPlugin::Ping(PluginCall& call, const std::wstring& address) {
  platform::INetwork& network = *network_;
  bool started = false;
  std::unique_ptr<platform::IIcmpHandle> handle;
  // Each step that fails ends the echo with its code and log line; the
  // clean-up below runs whatever happened.
  auto steps = [&] {
    if (platform::WinError e = network.wsaStartup(platform::kWinsockVersion22))
      return Failed(call, e, L"WSAStartup failed.");
    started = true;
    std::vector<platform::AddrInfo> found;
    const platform::AddrInfoHints hints{platform::WS_AF_UNSPEC, platform::WS_SOCK_STREAM,
                                        platform::WS_IPPROTO_TCP};
    if (platform::WinError e = network.getAddrInfo(toUtf8(address), hints, found))
      return Failed(call, e, L"Failed to get address information.");
    const platform::SocketAddress* target = PingTarget(found);
    if (!target) return Failed(call, platform::WSANO_DATA, L"Failed to get socket address.");
    platform::WinError e = network.icmpCreateFile(target->family, handle);
    if (e == 0 && !handle) e = platform::ERROR_INVALID_HANDLE;
    if (e) return Failed(call, e, L"Unable to open handler.");
    std::unique_ptr<platform::IcmpEchoReply> reply(new (std::nothrow) platform::IcmpEchoReply);
    if (!reply)
      return Failed(call, platform::ERROR_NOT_ENOUGH_MEMORY, L"Unable to allocate buffer.");
    if (platform::WinError sent =
            handle->sendEcho(*target, kEchoData, kReplyBufferSize, kEchoTimeoutMs, *reply))
      return Failed(call, sent, L"Unable to get the response.");
  };
  try {
    steps();
  } catch (...) {
    Failed(call, plugin_error::kApiFailed, L"Exception occured during Pingging server");
  }
  handle.reset();  // IcmpCloseHandle
  if (started) network.wsaCleanup();
}

std::unique_ptr<CJSONReturn> CNetworkPlugin::ClearDnsCache(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_, plugin_error::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  call.UsesInputs();
  call.Run(
      [&] {
        switch (network_->findDnsFlushResolverCache()) {
          case platform::DnsFlushExport::LibraryMissing:
            return LogError(L"Failed to load the library.");
          case platform::DnsFlushExport::FunctionMissing:
            return LogError(L"Failed to get function address.");
          case platform::DnsFlushExport::Present:
            break;
        }
        if (network_->dnsFlushResolverCache()) {
          call.SetError(plugin_error::kSuccess);
          result->returnValue = true;
        } else {
          Failed(call, plugin_error::kClearCacheFailed, L"Failed to clear cache.");
        }
      },
      L"Exception occured during cleaning DNS.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CMethodDispatcher> CreateNetworkPlugin(StackFrame& args) {
  return std::make_unique<CNetworkPlugin>(args);
}

}  // namespace zorel
