// The process-wide online flag and the connection test behind it.

#include "zorel/session/online_flag.h"

#include <atomic>

#include "zorel/log/framework_log.h"
#include "zorel/platform/system/internet_state.h"

namespace zorel {
namespace {

std::atomic<bool>& Flag() {
  static std::atomic<bool> flag{false};
  return flag;
}

}  // namespace

void SetOnlineFlag(bool online) { Flag().store(online); }
bool OnlineFlag() { return Flag().load(); }

bool TestInternetConnection(const std::wstring& baseAddress) {
  // Windows asks WinINet whether a connection exists and otherwise pings the
  // server. Here the answer is whether the report server itself accepts a
  // connection: a default route says little about a server on loopback or
  // one that is down.
  const bool online = platform::hostInternetState()->checkConnection(baseAddress);
  if (!online) FrameworkLog::Instance().Write(LogLevel::Info, L"Internet is not connected, going offline mode");
  return online;
}

}  // namespace zorel
