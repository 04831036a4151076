#pragma once
// Windows Sockets start-up, name resolution, ICMP echo and the resolver
// cache flush, as the Network plug-in asks for them.
//
// Windows: ws2_32's WSAStartup, WSACleanup and getaddrinfo; iphlpapi's
// IcmpCreateFile / Icmp6CreateFile, IcmpSendEcho / Icmp6SendEcho2 and
// IcmpCloseHandle; dnsapi.dll's undocumented DnsFlushResolverCache, found
// with LoadLibraryW and GetProcAddress.
// Linux emulation:
// - WSAStartup and WSACleanup succeed: the host's sockets need no start-up.
// - getaddrinfo is the host's (glibc, so /etc/hosts and DNS as configured);
//   its EAI_* results become Windows Sockets codes (see getAddrInfo).
// - An ICMP handle is a datagram ICMP socket where
//   net.ipv4.ping_group_range admits this process's group, else a raw ICMP
//   socket (which needs root or CAP_NET_RAW); with neither the open answers
//   ERROR_ACCESS_DENIED. The same sysctl governs ICMPv6 datagram sockets.
// - The resolver cache flush is a host command (findDnsFlushResolverCache).
//   dnsapi.dll is not a file of the machine: the library always "loads",
//   and the export exists exactly when the host has a flush.
//
// Every failing call also stores its code as the thread's last error
// (win_error.h), as the Windows calls do for GetLastError.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// Windows Sockets codes of getaddrinfo (winerror.h).
inline constexpr WinError WSAHOST_NOT_FOUND = 11001;
inline constexpr WinError WSATRY_AGAIN = 11002;
inline constexpr WinError WSANO_RECOVERY = 11003;
inline constexpr WinError WSANO_DATA = 11004;
// IP_STATUS codes of the echo functions (ipexport.h). The first two share
// their numbers with WSATRY_AGAIN and WSANO_RECOVERY, as on Windows.
inline constexpr WinError IP_DEST_NET_UNREACHABLE = 11002;
inline constexpr WinError IP_DEST_HOST_UNREACHABLE = 11003;
inline constexpr WinError IP_REQ_TIMED_OUT = 11010;

// Address families, socket types and protocols with their Windows values
// (the WS_ prefix keeps them apart from the host's macros: the host's
// AF_INET6 is 10, Windows' 23).
inline constexpr int32_t WS_AF_UNSPEC = 0;
inline constexpr int32_t WS_AF_INET = 2;
inline constexpr int32_t WS_AF_INET6 = 23;
inline constexpr int32_t WS_SOCK_STREAM = 1;
inline constexpr int32_t WS_IPPROTO_TCP = 6;

// WSAStartup's version 2.2 (MAKEWORD(2, 2)).
inline constexpr uint16_t kWinsockVersion22 = 0x0202;

// sizeof(ICMP_ECHO_REPLY) on 64-bit Windows: the part of an echo reply
// buffer that is not echoed data.
inline constexpr uint32_t kIcmpEchoReplySize = 40;
// The most data one echo request may carry.
inline constexpr uint32_t kIcmpMaxRequestSize = 65500;

// An IPv4 or IPv6 socket address, without a port.
struct SocketAddress {
  int32_t family = WS_AF_UNSPEC;    // WS_AF_INET or WS_AF_INET6
  std::array<uint8_t, 16> bytes{};  // network order; IPv4 uses the first 4
  uint32_t scopeId = 0;             // IPv6 only

  // "127.0.0.1", "::1"; empty for WS_AF_UNSPEC.
  std::string text() const;
  friend bool operator==(const SocketAddress&, const SocketAddress&) = default;
};

// getaddrinfo's hints (ai_flags are not used).
struct AddrInfoHints {
  int32_t family = WS_AF_UNSPEC;
  int32_t socketType = 0;
  int32_t protocol = 0;
};

// One getaddrinfo result.
struct AddrInfo {
  int32_t family = WS_AF_UNSPEC;
  int32_t socketType = 0;
  int32_t protocol = 0;
  // ai_addr: absent when the host answered an address of a family other
  // than IPv4 and IPv6.
  std::optional<SocketAddress> address;
};

// What IcmpSendEcho writes into its reply buffer for the one reply it
// counts.
struct IcmpEchoReply {
  SocketAddress address;       // the replying host: always the destination
  uint32_t status = 0;         // IP_SUCCESS
  uint32_t roundTripTime = 0;  // milliseconds
  std::vector<uint8_t> data;   // the echoed request data
};

// An open ICMP handle; destroying it is IcmpCloseHandle.
class IIcmpHandle {
 public:
  virtual ~IIcmpHandle() = default;

  // WS_AF_INET for IcmpCreateFile's handle, WS_AF_INET6 for Icmp6CreateFile's.
  virtual int32_t family() const = 0;

  // IcmpSendEcho (Icmp6SendEcho2 on an IPv6 handle, without an event):
  // sends one echo request carrying `data` to `destination` and waits up to
  // timeoutMs for its reply. Only an echo reply from `destination` with
  // this request's identifier (on a datagram socket the kernel's, which it
  // checks itself) and sequence number counts; anything else
  // that arrives meanwhile (other traffic, the request itself as a raw
  // socket sees it on loopback, late replies to earlier requests, ICMP
  // errors) is passed over.
  // replySize is the caller's reply buffer in bytes; it must hold
  // kIcmpEchoReplySize plus the data.
  // RETURNS 0 with `reply` filled (Windows: a reply count of 1);
  // IP_REQ_TIMED_OUT when no reply came in time; ERROR_INVALID_PARAMETER
  // for a destination of the other family or data over
  // kIcmpMaxRequestSize; ERROR_INSUFFICIENT_BUFFER for a small replySize;
  // IP_DEST_NET_UNREACHABLE / IP_DEST_HOST_UNREACHABLE when the host has no
  // route to send it; another Win32 code when sending fails otherwise.
  virtual WinError sendEcho(const SocketAddress& destination, std::span<const uint8_t> data,
                            uint32_t replySize, uint32_t timeoutMs, IcmpEchoReply& reply) = 0;
};

// Where DnsFlushResolverCache stands, as LoadLibraryW("dnsapi.dll") and
// GetProcAddress would find it.
enum class DnsFlushExport { LibraryMissing, FunctionMissing, Present };

// The network calls of the Network plug-in. The host's (hostNetwork) is the
// only one the program uses; tests put fakes in its place to reach the
// failure branches a host cannot be made to take.
class INetwork {
 public:
  virtual ~INetwork() = default;

  // WSAStartup(version) / WSACleanup. RETURNS 0.
  virtual WinError wsaStartup(uint16_t version) = 0;
  virtual WinError wsaCleanup() = 0;

  // getaddrinfo(node, no service, hints). `node` is narrow (UTF-8) text; a
  // NUL in it names no host.
  // RETURNS 0 with `results` in the resolver's order; otherwise `results`
  // is empty and the code is WSAHOST_NOT_FOUND (EAI_NONAME), WSATRY_AGAIN
  // (EAI_AGAIN), WSANO_DATA (EAI_NODATA), ERROR_NOT_ENOUGH_MEMORY
  // (EAI_MEMORY) or WSANO_RECOVERY (any other failure).
  virtual WinError getAddrInfo(std::string_view node, const AddrInfoHints& hints,
                               std::vector<AddrInfo>& results) = 0;

  // IcmpCreateFile (family WS_AF_INET) / Icmp6CreateFile (WS_AF_INET6).
  // RETURNS 0 with `handle` set; ERROR_ACCESS_DENIED when neither a
  // datagram nor a raw ICMP socket may be opened; ERROR_INVALID_PARAMETER
  // for another family; another Win32 code (4, 8, 50) when the host
  // refuses the socket otherwise.
  virtual WinError icmpCreateFile(int32_t family, std::unique_ptr<IIcmpHandle>& handle) = 0;

  // Whether DnsFlushResolverCache can be called. Host: always a library;
  // the function is present exactly when the host has a flush.
  virtual DnsFlushExport findDnsFlushResolverCache() = 0;
  // DnsFlushResolverCache. RETURNS true when the cache was flushed.
  // Host: runs the flush command and waits at most kDnsFlushTimeoutMs for
  // it; exit status 0 in time is true; another status, a command that
  // cannot be started, or the time running out (the command and whatever
  // it started in its process group are killed) is false. Without a flush
  // it is false at once.
  virtual bool dnsFlushResolverCache() = 0;
};

// The host variable that chooses the flush command.
// Set: the text is run with /bin/sh -c. Set but empty: the host has no
// flush. Unset: `resolvectl flush-caches` when resolvectl is on the host's
// PATH, else `nscd -i hosts` when nscd is, else no flush.
inline constexpr const wchar_t* kDnsFlushVariable = L"ZOREL_DNS_FLUSH";
inline constexpr uint32_t kDnsFlushTimeoutMs = 10000;

// The host's network. Thread-safe; it holds no state of its own, and the
// flush command is looked up at each call.
std::shared_ptr<INetwork> hostNetwork();

}  // namespace zorel::platform
