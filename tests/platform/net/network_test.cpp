// The host network: getaddrinfo and its codes, echo replies told from other
// ICMP traffic, and echoes on loopback. The echo tests need a datagram ICMP
// socket (net.ipv4.ping_group_range) or a raw one (root) and say so when
// they are skipped.

#include "zorel/platform/net/network.h"

#include <gtest/gtest.h>

#include <chrono>

#include "net/linux/icmp_packet.h"

namespace zorel::platform {
namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kData = {'D', 'a', 't', 'a', 0, 0};
const AddrInfoHints kHints{WS_AF_UNSPEC, WS_SOCK_STREAM, WS_IPPROTO_TCP};

SocketAddress Address(const std::string& text) {
  std::vector<AddrInfo> found;
  EXPECT_EQ(hostNetwork()->getAddrInfo(text, kHints, found), 0) << text;
  return found.empty() ? SocketAddress{} : found[0].address.value_or(SocketAddress{});
}

#define OPEN_ICMP_OR_SKIP(family, handle)                                                      \
  if (hostNetwork()->icmpCreateFile(family, handle) == ERROR_ACCESS_DENIED)                    \
    GTEST_SKIP() << "neither a datagram ICMP socket (net.ipv4.ping_group_range) nor a raw one " \
                    "(root) may be opened here";                                              \
  ASSERT_NE(handle, nullptr)

TEST(HostNetwork, ResolverAnswersAndCodes) {
  EXPECT_EQ(Address("127.0.0.1").text(), "127.0.0.1");
  EXPECT_EQ(Address("::1").family, WS_AF_INET6);  // Windows' 23, not the host's 10
  struct Case {
    std::string node;
    int32_t family;
    WinError code;
  } failures[] = {
      {std::string(300, 'a'), WS_AF_UNSPEC, WSAHOST_NOT_FOUND},         // longer than DNS allows
      {std::string("127.0.0.1\0x", 11), WS_AF_UNSPEC, WSAHOST_NOT_FOUND},  // a NUL inside
      {"127.0.0.1", 99, WSANO_RECOVERY},  // EAI_FAMILY: any other failure
  };
  for (const Case& c : failures) {
    std::vector<AddrInfo> found(2);
    EXPECT_EQ(hostNetwork()->getAddrInfo(c.node, {c.family, WS_SOCK_STREAM, 6}, found), c.code);
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(getLastError(), c.code);
  }
}

TEST(HostNetwork, OnlyTheAwaitedReplyMatches) {
  // An ICMP message, behind an IPv4 header of `ihl` words unless 0.
  auto message = [](uint8_t type, uint16_t id, uint16_t seq, int ihl) {
    Bytes m(static_cast<size_t>(ihl) * 4, 0);
    if (ihl) m[0] = static_cast<uint8_t>(0x40 | ihl);
    m.insert(m.end(), {type, 0, 0, 0, uint8_t(id >> 8), uint8_t(id), uint8_t(seq >> 8),
                       uint8_t(seq)});
    return m;
  };
  EXPECT_TRUE(detail::matchEchoReply(message(0, 7, 5, 6), false, true, 7, 5));  // with IP options
  EXPECT_FALSE(detail::matchEchoReply(message(8, 7, 5, 5), false, true, 7, 5));  // the request
  EXPECT_FALSE(detail::matchEchoReply(message(0, 8, 5, 5), false, true, 7, 5));  // another id
  EXPECT_FALSE(detail::matchEchoReply(message(0, 7, 5, 4), false, true, 7, 5));  // header < 20
  // A datagram socket's identifier is the kernel's choice: not compared.
  EXPECT_TRUE(detail::matchEchoReply(message(0, 9, 5, 0), false, false, std::nullopt, 5));
  EXPECT_FALSE(detail::matchEchoReply(message(128, 7, 5, 0), true, false, 7, 5));
  EXPECT_EQ(detail::internetChecksum(detail::buildEchoRequest(false, 7, 5, kData)), 0);
}

TEST(HostNetwork, EchoesOnLoopbackInBothFamilies) {
  for (const char* target : {"127.0.0.1", "::1"}) {
    SCOPED_TRACE(target);
    const SocketAddress destination = Address(target);
    std::unique_ptr<IIcmpHandle> handle;
    OPEN_ICMP_OR_SKIP(destination.family, handle);
    for (int round = 0; round < 2; ++round) {  // the second reply is told from the first
      IcmpEchoReply reply;
      ASSERT_EQ(handle->sendEcho(destination, kData, 46, 1000, reply), 0);
      EXPECT_EQ(reply.address, destination);
      EXPECT_EQ(reply.data, kData);
    }
  }
}

TEST(HostNetwork, EchoRefusalsAndTheTimeLimit) {
  const SocketAddress loopback = Address("127.0.0.1");
  std::unique_ptr<IIcmpHandle> handle;
  OPEN_ICMP_OR_SKIP(WS_AF_INET, handle);
  IcmpEchoReply reply;
  EXPECT_EQ(handle->sendEcho(Address("::1"), kData, 100, 1000, reply), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(handle->sendEcho(loopback, Bytes(65501), 70000, 1000, reply), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(handle->sendEcho(loopback, kData, 45, 1000, reply), ERROR_INSUFFICIENT_BUFFER);
  // 0.0.0.0 reaches this host, which answers from 127.0.0.1: not the
  // target, so the wait runs to its limit.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(handle->sendEcho(Address("0.0.0.0"), kData, 100, 300, reply), IP_REQ_TIMED_OUT);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(290));
  EXPECT_LT(waited, std::chrono::milliseconds(1000));
  EXPECT_EQ(hostNetwork()->icmpCreateFile(WS_AF_UNSPEC, handle), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace zorel::platform
