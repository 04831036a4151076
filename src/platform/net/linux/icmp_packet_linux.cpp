// Echo request bytes and reply matching.

#include "net/linux/icmp_packet.h"

#include <algorithm>

namespace zorel::platform::detail {
namespace {

uint16_t readBig16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void writeBig16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

uint16_t internetChecksum(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += readBig16(&bytes[i]);
  if (i < bytes.size()) sum += static_cast<uint32_t>(bytes[i]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::vector<uint8_t> buildEchoRequest(bool v6, uint16_t identifier, uint16_t sequence,
                                      std::span<const uint8_t> data) {
  std::vector<uint8_t> packet(kIcmpHeaderSize + data.size(), 0);
  packet[0] = v6 ? kIcmp6EchoRequestType : kIcmpEchoRequestType;
  writeBig16(&packet[4], identifier);
  writeBig16(&packet[6], sequence);
  std::copy(data.begin(), data.end(), packet.begin() + kIcmpHeaderSize);
  if (!v6) writeBig16(&packet[2], internetChecksum(packet));
  return packet;
}

std::optional<std::span<const uint8_t>> matchEchoReply(std::span<const uint8_t> packet, bool v6,
                                                       bool withIpHeader,
                                                       std::optional<uint16_t> identifier,
                                                       uint16_t sequence) {
  if (withIpHeader) {
    // IPv4 header: version 4, IHL in 32-bit words (at least 5).
    if (packet.empty() || (packet[0] >> 4) != 4) return std::nullopt;
    const size_t headerSize = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (headerSize < 20 || headerSize > packet.size()) return std::nullopt;
    packet = packet.subspan(headerSize);
  }
  if (packet.size() < kIcmpHeaderSize) return std::nullopt;
  if (packet[0] != (v6 ? kIcmp6EchoReplyType : kIcmpEchoReplyType) || packet[1] != 0)
    return std::nullopt;
  if (identifier && readBig16(&packet[4]) != *identifier) return std::nullopt;
  if (readBig16(&packet[6]) != sequence) return std::nullopt;
  return packet.subspan(kIcmpHeaderSize);
}

}  // namespace zorel::platform::detail
