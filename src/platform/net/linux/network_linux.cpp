// The host's network: Windows Sockets start-up, getaddrinfo, ICMP echo
// through datagram or raw ICMP sockets, and the resolver cache flush.

#include "zorel/platform/net/network.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/linux/errno_map.h"
#include "net/linux/dns_flush.h"
#include "net/linux/icmp_packet.h"

namespace zorel::platform {
namespace {

static_assert(WS_SOCK_STREAM == SOCK_STREAM && WS_IPPROTO_TCP == IPPROTO_TCP,
              "getaddrinfo's socket types and protocols pass through unchanged");

// The largest packet a socket may hand us: an IPv4 datagram.
constexpr size_t kReceiveBufferSize = 65536;

// A failure of the calling function, kept as the thread's last error too.
WinError fail(WinError error) {
  setLastError(error);
  return error;
}

// getaddrinfo's EAI_* result as Windows Sockets reports it.
WinError fromEai(int eai) {
  switch (eai) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_NODATA: return WSANO_DATA;
    case EAI_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    default: return WSANO_RECOVERY;
  }
}

int hostFamily(int32_t family) {
  switch (family) {
    case WS_AF_UNSPEC: return AF_UNSPEC;
    case WS_AF_INET: return AF_INET;
    case WS_AF_INET6: return AF_INET6;
    default: return -1;  // refused by getaddrinfo (EAI_FAMILY)
  }
}

std::optional<SocketAddress> fromSockaddr(const sockaddr* address, socklen_t length) {
  if (!address) return std::nullopt;
  SocketAddress result;
  if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    result.family = WS_AF_INET;
    std::memcpy(result.bytes.data(), &in->sin_addr, 4);
    return result;
  }
  if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    result.family = WS_AF_INET6;
    std::memcpy(result.bytes.data(), &in6->sin6_addr, 16);
    result.scopeId = in6->sin6_scope_id;
    return result;
  }
  return std::nullopt;
}

// `address` as a host socket address; its length, 0 for no family.
socklen_t toSockaddr(const SocketAddress& address, sockaddr_storage& storage) {
  std::memset(&storage, 0, sizeof storage);
  if (address.family == WS_AF_INET) {
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    std::memcpy(&in->sin_addr, address.bytes.data(), 4);
    return sizeof(sockaddr_in);
  }
  if (address.family == WS_AF_INET6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    std::memcpy(&in6->sin6_addr, address.bytes.data(), 16);
    in6->sin6_scope_id = address.scopeId;
    return sizeof(sockaddr_in6);
  }
  return 0;
}

// Send failures as IcmpSendEcho reports them.
WinError sendError(int err) {
  switch (err) {
    case ENETUNREACH:
    case ENETDOWN: return fail(IP_DEST_NET_UNREACHABLE);
    case EHOSTUNREACH:
    case EHOSTDOWN: return fail(IP_DEST_HOST_UNREACHABLE);
    default: return detail::win32FromErrno(err);
  }
}

uint16_t randomIdentifier() {
  uint16_t value = 0;
  if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value)
    value = static_cast<uint16_t>(::getpid() ^
                                  std::chrono::steady_clock::now().time_since_epoch().count());
  return value;
}

class HostIcmpHandle final : public IIcmpHandle {
 public:
  // `raw`: a raw socket, which reads every ICMP packet of the host (IPv4
  // ones with their IP header); else a datagram socket, which reads only
  // replies to itself.
  HostIcmpHandle(int fd, int32_t family, bool raw)
      : fd_(fd), family_(family), raw_(raw), identifier_(randomIdentifier()),
        buffer_(kReceiveBufferSize) {}
  ~HostIcmpHandle() override { ::close(fd_); }

  int32_t family() const override { return family_; }

  WinError sendEcho(const SocketAddress& destination, std::span<const uint8_t> data,
                    uint32_t replySize, uint32_t timeoutMs, IcmpEchoReply& reply) override {
    if (destination.family != family_ || data.size() > kIcmpMaxRequestSize)
      return fail(ERROR_INVALID_PARAMETER);
    if (replySize < kIcmpEchoReplySize + data.size()) return fail(ERROR_INSUFFICIENT_BUFFER);
    const bool v6 = family_ == WS_AF_INET6;
    const uint16_t sequence = ++sequence_;
    const std::vector<uint8_t> request = detail::buildEchoRequest(v6, identifier_, sequence, data);
    sockaddr_storage to{};
    const socklen_t toLength = toSockaddr(destination, to);

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    ssize_t sent;
    do {
      sent = ::sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                      toLength);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return sendError(errno);

    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return fail(IP_REQ_TIMED_OUT);
      sockaddr_storage from{};
      socklen_t fromLength = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
      if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return sendError(errno);
      }
      const std::optional<SocketAddress> sender =
          fromSockaddr(reinterpret_cast<sockaddr*>(&from), fromLength);
      if (!sender || sender->bytes != destination.bytes) continue;
      const auto echoed = detail::matchEchoReply(
          std::span<const uint8_t>(buffer_.data(), static_cast<size_t>(n)), v6, raw_ && !v6,
          raw_ ? std::optional<uint16_t>(identifier_) : std::nullopt, sequence);
      if (!echoed) continue;
      reply.address = destination;
      reply.status = 0;  // IP_SUCCESS
      reply.roundTripTime = static_cast<uint32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                start)
              .count());
      reply.data.assign(echoed->begin(), echoed->end());
      return ERROR_SUCCESS;
    }
  }

 private:
  int fd_;
  int32_t family_;
  bool raw_;
  uint16_t identifier_;     // raw sockets; a datagram socket's kernel picks its own
  uint16_t sequence_ = 0;   // of the last request sent
  std::vector<uint8_t> buffer_;
};

// The raw ICMP socket option of <linux/icmp.h>, whose other declarations
// clash with glibc's <netinet/ip_icmp.h>: a 32-bit mask, one bit per ICMP
// type, a set bit blocks the type.
constexpr int kIcmpFilterOption = 1;  // ICMP_FILTER
struct IcmpFilter {
  uint32_t blocked;
};

// A raw socket sees all ICMP traffic of the host; a filter keeps only echo
// replies from waking it. Best effort: the reply matching does not rely on it.
void filterEchoReplies(int fd, bool v6) {
  if (v6) {
    icmp6_filter filter;
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
    ::setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
  } else {
    const IcmpFilter filter{~(1U << detail::kIcmpEchoReplyType)};
    ::setsockopt(fd, SOL_RAW, kIcmpFilterOption, &filter, sizeof filter);
  }
}

class HostNetwork final : public INetwork {
 public:
  WinError wsaStartup(uint16_t) override { return ERROR_SUCCESS; }
  WinError wsaCleanup() override { return ERROR_SUCCESS; }

  WinError getAddrInfo(std::string_view node, const AddrInfoHints& hints,
                       std::vector<AddrInfo>& results) override {
    results.clear();
    if (node.find('\0') != std::string_view::npos) return fail(WSAHOST_NOT_FOUND);
    addrinfo request{};
    request.ai_family = hostFamily(hints.family);
    // Socket types and protocols have the same numbers on both systems.
    request.ai_socktype = hints.socketType;
    request.ai_protocol = hints.protocol;
    addrinfo* list = nullptr;
    const int eai = ::getaddrinfo(std::string(node).c_str(), nullptr, &request, &list);
    if (eai != 0) return fail(fromEai(eai));
    for (const addrinfo* a = list; a; a = a->ai_next) {
      AddrInfo info;
      info.family = a->ai_family == AF_INET    ? WS_AF_INET
                    : a->ai_family == AF_INET6 ? WS_AF_INET6
                                               : static_cast<int32_t>(a->ai_family);
      info.socketType = a->ai_socktype;
      info.protocol = a->ai_protocol;
      info.address = fromSockaddr(a->ai_addr, a->ai_addrlen);
      results.push_back(info);
    }
    ::freeaddrinfo(list);
    return ERROR_SUCCESS;
  }

  WinError icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) override {
    handle.reset();
    if (family != WS_AF_INET && family != WS_AF_INET6) return fail(ERROR_INVALID_PARAMETER);
    const bool v6 = family == WS_AF_INET6;
    const int domain = v6 ? AF_INET6 : AF_INET;
    const int protocol = v6 ? static_cast<int>(IPPROTO_ICMPV6) : static_cast<int>(IPPROTO_ICMP);
    bool raw = false;
    int fd = ::socket(domain, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
      raw = true;
      fd = ::socket(domain, SOCK_RAW | SOCK_CLOEXEC, protocol);
    }
    if (fd < 0) {
      switch (errno) {
        case EACCES:
        case EPERM: return fail(ERROR_ACCESS_DENIED);
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT: return fail(ERROR_NOT_SUPPORTED);
        default: return detail::win32FromErrno(errno);
      }
    }
    if (raw) filterEchoReplies(fd, v6);
    handle = std::make_unique<HostIcmpHandle>(fd, family, raw);
    return ERROR_SUCCESS;
  }

  DnsFlushExport findDnsFlushResolverCache() override {
    return detail::dnsFlushCommand().empty() ? DnsFlushExport::FunctionMissing
                                             : DnsFlushExport::Present;
  }

  bool dnsFlushResolverCache() override {
    return detail::runWithTimeLimit(detail::dnsFlushCommand(), kDnsFlushTimeoutMs);
  }
};

}  // namespace

std::string SocketAddress::text() const {
  char buffer[INET6_ADDRSTRLEN] = {};
  if (family == WS_AF_INET) return ::inet_ntop(AF_INET, bytes.data(), buffer, sizeof buffer);
  if (family == WS_AF_INET6) return ::inet_ntop(AF_INET6, bytes.data(), buffer, sizeof buffer);
  return {};
}

std::shared_ptr<INetwork> hostNetwork() {
  static const auto network = std::make_shared<HostNetwork>();
  return network;
}

}  // namespace zorel::platform
