#pragma once
// CNetworkPlugin: the script's "Network" object. IsServerReachable sends one
// ICMP echo request to a host name or address and answers through
// "errorcode" (0: a reply came); ClearDnsCache flushes the resolver cache
// ("return" true when it was flushed). Both write one operation record of
// type 0, component "Network". The plug-in keeps no state between calls
// but its error code.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class PluginCall;

namespace platform {
class INetwork;
}

class CNetworkPlugin : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\env\\Network";

  // The methods in registration order, with their record types and input
  // keys: registration, the operation records and the tests read it.
  static const PluginSurface kSurface;

  // Construction arguments are not read. `network` answers the calls (the
  // host's by default).
  explicit CNetworkPlugin(StackFrame& args);
  CNetworkPlugin(StackFrame& args, std::shared_ptr<platform::INetwork> network);

  // Argument 0: host name or address text. 87 without it or when empty;
  // else the code of the first step that failed (start-up, resolution,
  // choice of address, ICMP handle, reply record, echo), 0 when a reply
  // came. Neither "status" nor "return" is set.
  std::unique_ptr<CJSONReturn> IsServerReachable(StackFrame& args);
  // No arguments. 0 and "return" true when flushed; 20031 when the flush
  // failed; 20016 when there is no flush.
  std::unique_ptr<CJSONReturn> ClearDnsCache(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

 private:
  // The echo itself, between start-up and clean-up.
  void Ping(PluginCall& call, const std::wstring& address);

  int32_t errorcode_ = 0;  // published as the property "errorcode"
  std::shared_ptr<platform::INetwork> network_;
};

// The factory's creation function for "Network".
std::unique_ptr<CMethodDispatcher> CreateNetworkPlugin(StackFrame& args);

}  // namespace zorel
