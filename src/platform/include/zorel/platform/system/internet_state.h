#pragma once
// Whether the machine is connected to the Internet.
//
// Windows: WinINet's InternetGetConnectedState and InternetCheckConnectionW
// (FLAG_ICC_FORCE_CONNECTION).
// Linux emulation: the host's routes (a default route over an interface
// other than loopback counts as a LAN connection) and a real TCP connect to
// the host and port of the URL.

#include <cstdint>
#include <memory>
#include <string_view>

namespace zorel::platform {

inline constexpr uint32_t INTERNET_CONNECTION_MODEM = 0x01;
inline constexpr uint32_t INTERNET_CONNECTION_LAN = 0x02;
inline constexpr uint32_t INTERNET_CONNECTION_PROXY = 0x04;
inline constexpr uint32_t INTERNET_RAS_INSTALLED = 0x10;
inline constexpr uint32_t INTERNET_CONNECTION_OFFLINE = 0x20;
inline constexpr uint32_t INTERNET_CONNECTION_CONFIGURED = 0x40;

class IInternetState {
 public:
  virtual ~IInternetState() = default;

  // InternetGetConnectedState. RETURNS true with the INTERNET_CONNECTION_*
  // flags when a connection exists; false (flags 0) when none does.
  virtual bool getConnectedState(uint32_t* flags) const = 0;

  // InternetCheckConnectionW(url, FLAG_ICC_FORCE_CONNECTION): tries to reach
  // the URL's host ("http://host[:port]/..."; port 80 for http, 443 for
  // https). RETURNS true when a connection was made within a few seconds.
  virtual bool checkConnection(std::wstring_view url) const = 0;
};

// The host's connectivity. Thread-safe; holds no state.
std::shared_ptr<const IInternetState> hostInternetState();

}  // namespace zorel::platform
