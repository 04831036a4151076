// The host network: getaddrinfo and its codes, ICMP echo on loopback.
// Echo tests need a datagram ICMP socket (net.ipv4.ping_group_range) or a
// raw one (root); they are skipped, saying so, when the host allows
// neither.

#include "zorel/platform/net/network.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorel::platform {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kData = {'D', 'a', 't', 'a', ' ', 'B', 'u', 'f', 'f', 'e', 'r', 0, 0, 0};

const AddrInfoHints kStreamHints{WS_AF_UNSPEC, WS_SOCK_STREAM, WS_IPPROTO_TCP};

// The address `text` names, resolved numerically by the host.
SocketAddress Address(const std::string& text) {
  std::vector<AddrInfo> found;
  EXPECT_EQ(hostNetwork()->getAddrInfo(text, kStreamHints, found), 0) << text;
  return found.empty() || !found[0].address ? SocketAddress{} : *found[0].address;
}

// An ICMP handle of `family`, or a skip with the reason.
#define OPEN_ICMP_OR_SKIP(family, handle)                                                   \
  do {                                                                                     \
    const WinError open = hostNetwork()->icmpCreateFile(family, handle);                   \
    if (open == ERROR_ACCESS_DENIED)                                                       \
      GTEST_SKIP() << "neither a datagram ICMP socket (net.ipv4.ping_group_range) nor a "  \
                      "raw one (root) may be opened here";                                 \
    ASSERT_EQ(open, 0);                                                                    \
    ASSERT_NE(handle, nullptr);                                                            \
  } while (0)

TEST(HostNetwork, ResolvesNumbersAndLocalhostAndMapsResolverFailures) {
  std::vector<AddrInfo> found;
  ASSERT_EQ(hostNetwork()->getAddrInfo("127.0.0.1", kStreamHints, found), 0);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].family, WS_AF_INET);
  EXPECT_EQ(found[0].socketType, WS_SOCK_STREAM);
  EXPECT_EQ(found[0].protocol, WS_IPPROTO_TCP);
  EXPECT_EQ(found[0].address->text(), "127.0.0.1");

  ASSERT_EQ(hostNetwork()->getAddrInfo("::1", kStreamHints, found), 0);
  EXPECT_EQ(found.at(0).family, WS_AF_INET6);  // Windows' 23, not the host's 10
  EXPECT_EQ(found[0].address->text(), "::1");

  // localhost has an IPv4 address (and may have ::1 as well, in any order).
  ASSERT_EQ(hostNetwork()->getAddrInfo("localhost", kStreamHints, found), 0);
  bool loopback4 = false;
  for (const AddrInfo& info : found) loopback4 |= info.address && info.address->text() == "127.0.0.1";
  EXPECT_TRUE(loopback4);

  struct Case {
    const char* what;
    std::string node;
    AddrInfoHints hints;
    WinError code;
  };
  const Case failures[] = {
      {"a name longer than DNS allows", std::string(300, 'a'), kStreamHints, WSAHOST_NOT_FOUND},
      {"a NUL inside the name", std::string("127.0.0.1\0evil", 14), kStreamHints,
       WSAHOST_NOT_FOUND},
      {"no name at all", "", kStreamHints, WSAHOST_NOT_FOUND},
      // EAI_FAMILY has no code of its own: any other failure is 11003.
      {"an unknown family", "127.0.0.1", {99, WS_SOCK_STREAM, WS_IPPROTO_TCP}, WSANO_RECOVERY},
  };
  for (const Case& c : failures) {
    SCOPED_TRACE(c.what);
    found.assign(2, AddrInfo{});
    setLastError(0);
    EXPECT_EQ(hostNetwork()->getAddrInfo(c.node, c.hints, found), c.code);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(getLastError(), c.code);
  }
}

TEST(HostNetwork, EchoesOnLoopbackInBothFamilies) {
  for (const char* target : {"127.0.0.1", "::1"}) {
    SCOPED_TRACE(target);
    const SocketAddress destination = Address(target);
    std::unique_ptr<IIcmpHandle> handle;
    OPEN_ICMP_OR_SKIP(destination.family, handle);
    EXPECT_EQ(handle->family(), destination.family);
    // Twice on one handle: the second request's reply is told from the
    // first's, and on loopback a raw socket's copy of each request is
    // passed over.
    for (int round = 0; round < 2; ++round) {
      IcmpEchoReply reply;
      ASSERT_EQ(handle->sendEcho(destination, kData, kIcmpEchoReplySize + kData.size(), 1000, reply),
                0);
      EXPECT_EQ(reply.address, destination);
      EXPECT_EQ(reply.status, 0u);
      EXPECT_EQ(reply.data, kData);
      EXPECT_LT(reply.roundTripTime, 1000u);
    }
  }
}

TEST(HostNetwork, EchoRefusesBadRequestsAndTimesOutWithoutTheTargetsReply) {
  const SocketAddress loopback = Address("127.0.0.1");
  std::unique_ptr<IIcmpHandle> handle;
  OPEN_ICMP_OR_SKIP(WS_AF_INET, handle);

  struct Case {
    const char* what;
    SocketAddress destination;
    size_t dataSize;
    uint32_t replySize;
    WinError code;
  };
  const Case refused[] = {
      {"an IPv6 destination on an IPv4 handle", Address("::1"), 14, 100, ERROR_INVALID_PARAMETER},
      {"more data than one request carries", loopback, kIcmpMaxRequestSize + 1, 70000,
       ERROR_INVALID_PARAMETER},
      {"a reply buffer without room for the data", loopback, 14, kIcmpEchoReplySize + 13,
       ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    IcmpEchoReply reply;
    const Bytes data(c.dataSize, 'x');
    const auto start = Clock::now();
    EXPECT_EQ(handle->sendEcho(c.destination, data, c.replySize, 1000, reply), c.code);
    EXPECT_EQ(getLastError(), c.code);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));  // refused before sending
  }

  // 0.0.0.0 reaches this host, whose reply comes from 127.0.0.1: not the
  // target, so it does not count, and the wait ends at its limit.
  IcmpEchoReply reply;
  const auto start = Clock::now();
  EXPECT_EQ(handle->sendEcho(Address("0.0.0.0"), kData, 100, 300, reply), IP_REQ_TIMED_OUT);
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(290));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(getLastError(), IP_REQ_TIMED_OUT);

  std::unique_ptr<IIcmpHandle> none;
  EXPECT_EQ(hostNetwork()->icmpCreateFile(WS_AF_UNSPEC, none), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
}  // namespace zorel::platform
