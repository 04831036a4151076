// Echo request bytes and the reply matcher, without sockets.

#include "net/linux/icmp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorel::platform::detail {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kData = {'D', 'a', 't', 'a'};

// An ICMP message with `type`, `code`, identifier and sequence, then kData.
Bytes Message(uint8_t type, uint8_t code, uint16_t identifier, uint16_t sequence) {
  Bytes m = {type, code, 0, 0, uint8_t(identifier >> 8), uint8_t(identifier), uint8_t(sequence >> 8),
             uint8_t(sequence)};
  m.insert(m.end(), kData.begin(), kData.end());
  return m;
}

// `message` behind a 20-byte IPv4 header (or `ihl` words of header).
Bytes WithIpHeader(const Bytes& message, uint8_t ihl = 5) {
  Bytes packet(static_cast<size_t>(ihl) * 4, 0);
  packet[0] = static_cast<uint8_t>(0x40 | ihl);
  packet[9] = 1;  // ICMP
  packet.insert(packet.end(), message.begin(), message.end());
  return packet;
}

TEST(IcmpPacket, RequestCarriesHeaderDataAndAValidChecksum) {
  const Bytes request = buildEchoRequest(false, 0xBEEF, 0x0102, kData);
  EXPECT_EQ(request.size(), kIcmpHeaderSize + kData.size());
  EXPECT_EQ(request[0], kIcmpEchoRequestType);
  EXPECT_EQ(request[1], 0);
  EXPECT_EQ((Bytes{request[4], request[5], request[6], request[7]}), (Bytes{0xBE, 0xEF, 0x01, 0x02}));
  EXPECT_EQ(Bytes(request.begin() + kIcmpHeaderSize, request.end()), kData);
  // A message with its checksum in place sums to zero.
  EXPECT_EQ(internetChecksum(request), 0);
  // The odd byte counts as the high half of a last word.
  EXPECT_EQ(internetChecksum(Bytes{0x01}), 0xFEFF);

  const Bytes request6 = buildEchoRequest(true, 7, 9, kData);
  EXPECT_EQ(request6[0], kIcmp6EchoRequestType);
  EXPECT_EQ(request6[2], 0);  // the kernel fills the ICMPv6 checksum
  EXPECT_EQ(request6[3], 0);
}

TEST(IcmpPacket, OnlyTheAwaitedReplyMatches) {
  struct Case {
    const char* what;
    Bytes packet;
    bool v6, withIpHeader;
    std::optional<uint16_t> identifier;
    bool matches;
  };
  const Case cases[] = {
      {"reply through a raw socket", WithIpHeader(Message(0, 0, 0x1234, 5)), false, true, 0x1234, true},
      {"reply with IP options", WithIpHeader(Message(0, 0, 0x1234, 5), 6), false, true, 0x1234, true},
      {"our own request, seen on loopback", WithIpHeader(Message(8, 0, 0x1234, 5)), false, true,
       0x1234, false},
      {"another program's reply", WithIpHeader(Message(0, 0, 0x4321, 5)), false, true, 0x1234,
       false},
      {"a late reply to an earlier request", WithIpHeader(Message(0, 0, 0x1234, 4)), false, true,
       0x1234, false},
      {"destination unreachable", WithIpHeader(Message(3, 1, 0x1234, 5)), false, true, 0x1234,
       false},
      {"reply with a nonzero code", WithIpHeader(Message(0, 1, 0x1234, 5)), false, true, 0x1234,
       false},
      {"header length below 20 bytes", WithIpHeader(Message(0, 0, 0x1234, 5), 4), false, true,
       0x1234, false},
      {"header longer than the packet", Bytes{0x4F, 0, 0, 0}, false, true, 0x1234, false},
      {"not IPv4", Bytes(28, 0x60), false, true, 0x1234, false},
      {"empty", Bytes{}, false, true, 0x1234, false},
      {"truncated ICMP header", Bytes{0, 0, 0, 0, 0x12}, false, false, 0x1234, false},
      {"datagram socket: identifier is the kernel's", Message(0, 0, 0x9999, 5), false, false,
       std::nullopt, true},
      {"datagram socket: other sequence", Message(0, 0, 0x9999, 6), false, false, std::nullopt,
       false},
      {"ICMPv6 reply", Message(129, 0, 0x1234, 5), true, false, 0x1234, true},
      {"ICMPv6 request", Message(128, 0, 0x1234, 5), true, false, 0x1234, false},
      {"ICMPv4 reply type on an ICMPv6 socket", Message(0, 0, 0x1234, 5), true, false, 0x1234,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto data = matchEchoReply(c.packet, c.v6, c.withIpHeader, c.identifier, 5);
    ASSERT_EQ(data.has_value(), c.matches);
    if (c.matches) {
      EXPECT_EQ(Bytes(data->begin(), data->end()), kData);
    }
  }
}

}  // namespace
}  // namespace zorel::platform::detail
