// Connectivity from the host's routing tables and a TCP connect.

#include "zorel/platform/system/internet_state.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "zorel/common/utf8.h"

namespace zorel::platform {
namespace {

constexpr int kConnectTimeoutMs = 4000;
constexpr unsigned kRouteUp = 0x1;  // RTF_UP

// A default route (destination 0, mask 0) that is up, over an interface
// other than loopback.
bool hasIpv4DefaultRoute() {
  std::ifstream in("/proc/net/route");
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask))
      continue;
    if (iface == "lo") continue;
    const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
    if (destination == "00000000" && mask == "00000000" && (flagBits & kRouteUp)) return true;
  }
  return false;
}

bool hasIpv6DefaultRoute() {
  std::ifstream in("/proc/net/ipv6_route");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refcnt, use, flags,
        iface;
    if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >>
          refcnt >> use >> flags >> iface))
      continue;
    if (iface == "lo") continue;
    const unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
    if (destination == std::string(32, '0') && prefix == "00" && (flagBits & kRouteUp))
      return true;
  }
  return false;
}

// Splits "scheme://host[:port]/path" into host and port; false when there is
// no host.
bool splitUrl(const std::string& url, std::string& host, std::string& port) {
  std::string rest = url;
  std::string scheme;
  const size_t colonSlash = rest.find("://");
  if (colonSlash != std::string::npos) {
    scheme = rest.substr(0, colonSlash);
    rest = rest.substr(colonSlash + 3);
  }
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  rest = rest.substr(0, rest.find_first_of("/?#"));
  const size_t at = rest.rfind('@');
  if (at != std::string::npos) rest = rest.substr(at + 1);
  port = scheme == "https" ? "443" : "80";
  if (!rest.empty() && rest.front() == '[') {  // [v6 address]:port
    const size_t close = rest.find(']');
    if (close == std::string::npos) return false;
    host = rest.substr(1, close - 1);
    if (close + 1 < rest.size() && rest[close + 1] == ':') port = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(':');
    host = rest.substr(0, colon);
    if (colon != std::string::npos) port = rest.substr(colon + 1);
  }
  return !host.empty() && !port.empty();
}

bool connectWithTimeout(const addrinfo& address) {
  const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          address.ai_protocol);
  if (fd < 0) return false;
  bool connected = false;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) == 0) {
    connected = true;
  } else if (errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, kConnectTimeoutMs) == 1) {
      int error = 0;
      socklen_t length = sizeof(error);
      connected = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
  }
  ::close(fd);
  return connected;
}

class HostInternetState final : public IInternetState {
 public:
  bool getConnectedState(uint32_t* flags) const override {
    const bool online = hasIpv4DefaultRoute() || hasIpv6DefaultRoute();
    if (flags) *flags = online ? (INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_CONFIGURED) : 0;
    return online;
  }

  bool checkConnection(std::wstring_view url) const override {
    std::string host, port;
    if (!splitUrl(toUtf8(url), host, port)) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) return false;
    bool connected = false;
    for (addrinfo* a = found; a && !connected; a = a->ai_next) connected = connectWithTimeout(*a);
    ::freeaddrinfo(found);
    return connected;
  }
};

}  // namespace

std::shared_ptr<const IInternetState> hostInternetState() {
  static const auto state = std::make_shared<const HostInternetState>();
  return state;
}

}  // namespace zorel::platform
