#pragma once
// ICMP (RFC 792) and ICMPv6 (RFC 4443) echo messages: building a request
// and recognising its reply. Pure functions over bytes, apart from the
// sockets that carry them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zorel::platform::detail {

inline constexpr uint8_t kIcmpEchoReplyType = 0;
inline constexpr uint8_t kIcmpEchoRequestType = 8;
inline constexpr uint8_t kIcmp6EchoRequestType = 128;
inline constexpr uint8_t kIcmp6EchoReplyType = 129;
inline constexpr size_t kIcmpHeaderSize = 8;  // type, code, checksum, identifier, sequence

// The internet checksum (RFC 1071) of `bytes`: the one's complement of the
// one's complement sum of its 16-bit words, an odd byte padded with zero.
uint16_t internetChecksum(std::span<const uint8_t> bytes);

// An echo request carrying `data`. Identifier and sequence are written in
// network order. The checksum is filled for ICMP; for ICMPv6 it covers a
// pseudo-header with the addresses, so the kernel fills it.
std::vector<uint8_t> buildEchoRequest(bool v6, uint16_t identifier, uint16_t sequence,
                                      std::span<const uint8_t> data);

// What a socket read, as the reply to one request. `packet` starts with the
// IPv4 header when `withIpHeader` (a raw IPv4 socket), else with the ICMP
// header. `identifier` is not compared when nullopt (a datagram socket,
// whose kernel delivers only replies carrying its own identifier).
// RETURNS the echoed data when the packet is an echo reply (code 0) with
// this identifier and sequence; nullopt for anything else: requests, other
// replies, errors, truncated or malformed packets.
std::optional<std::span<const uint8_t>> matchEchoReply(std::span<const uint8_t> packet, bool v6,
                                                       bool withIpHeader,
                                                       std::optional<uint16_t> identifier,
                                                       uint16_t sequence);

}  // namespace zorel::platform::detail
