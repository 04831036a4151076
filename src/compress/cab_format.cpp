#include "cab_format.h"

#include <algorithm>

namespace zorel::cab {

uint32_t checksum(const uint8_t* data, size_t length, uint32_t seed) {
  uint32_t sum = seed;
  size_t words = length / 4;
  for (size_t i = 0; i < words; ++i, data += 4) {
    sum ^= uint32_t(data[0]) | (uint32_t(data[1]) << 8) |
           (uint32_t(data[2]) << 16) | (uint32_t(data[3]) << 24);
  }
  uint32_t tail = 0;
  switch (length % 4) {
    case 3: tail |= uint32_t(*data++) << 16; [[fallthrough]];
    case 2: tail |= uint32_t(*data++) << 8; [[fallthrough]];
    case 1: tail |= uint32_t(*data++); break;
    default: break;
  }
  return sum ^ tail;
}

uint32_t blockChecksum(const uint8_t* data, size_t length,
                       uint16_t compressedSize, uint16_t uncompressedSize) {
  const uint8_t sizes[4] = {uint8_t(compressedSize), uint8_t(compressedSize >> 8),
                            uint8_t(uncompressedSize),
                            uint8_t(uncompressedSize >> 8)};
  return checksum(sizes, 4, checksum(data, length, 0));
}

DosDateTime toDosDateTime(int year, int month, int day, int hour, int minute,
                          int second) {
  if (year < 1980) return {uint16_t((0 << 9) | (1 << 5) | 1), 0};
  if (year > 2107) {
    return {uint16_t((127 << 9) | (12 << 5) | 31),
            uint16_t((23 << 11) | (59 << 5) | 29)};
  }
  DosDateTime out;
  out.date = uint16_t(((year - 1980) << 9) | (month << 5) | day);
  out.time = uint16_t((hour << 11) | (minute << 5) | (second / 2));
  return out;
}

namespace {
int digitCount(int value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}
}  // namespace

std::string nextCabinetName(const std::string& current, int number) {
  if (number <= 1) return current;
  std::string stem = current.substr(0, current.find('.'));
  // The previous number's digits sit at the end of the stem (none on the
  // first cabinet, whose name carries no number).
  if (number >= 3) {
    size_t strip = std::min<size_t>(digitCount(number - 1), stem.size());
    stem.erase(stem.size() - strip);
  }
  return stem + std::to_string(number) + ".cab";
}

void putU16(std::string& out, uint16_t value) {
  out.push_back(char(value & 0xFF));
  out.push_back(char(value >> 8));
}

void putU32(std::string& out, uint32_t value) {
  putU16(out, uint16_t(value & 0xFFFF));
  putU16(out, uint16_t(value >> 16));
}

}  // namespace zorel::cab
