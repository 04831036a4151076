#pragma once
// The cabinet file layout: record sizes, flags, the data-block checksum and
// the continuation-cabinet naming. Pure functions, no file access.
//
// A cabinet is a fixed header (36 bytes), the previous/next cabinet names
// when it belongs to a set, one 8-byte record per folder, one 16-byte record
// plus a NUL-terminated name per file, then the data blocks of the folders:
// an 8-byte header (checksum, compressed size, uncompressed size) and the
// block's bytes. All integers are little-endian.

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorel::cab {

constexpr uint32_t kHeaderBytes = 36;
constexpr uint32_t kFolderBytes = 8;
constexpr uint32_t kFileBytes = 16;
constexpr uint32_t kDataHeaderBytes = 8;

constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;

constexpr uint16_t kCompressMszip = 1;

// Folder index codes of a file whose data crosses a cabinet boundary.
constexpr uint16_t kContinuedFromPrev = 0xFFFD;
constexpr uint16_t kContinuedToNext = 0xFFFE;
constexpr uint16_t kContinuedPrevAndNext = 0xFFFF;

// Every MSZIP block but a folder's last holds exactly this much data.
constexpr uint32_t kBlockBytes = 32768;
// The largest folder Windows' cabinet library writes: 65535 full blocks.
constexpr uint64_t kMaxFolderBytes = 0x7FFF8000;
// Readers refuse longer stored names (the terminating NUL not counted).
constexpr size_t kMaxNameBytes = 255;
// Per-cabinet counts are 16-bit.
constexpr uint32_t kMaxRecordsPerCabinet = 65535;

// Attribute bits Windows keeps in a cabinet: read-only, hidden, system,
// archive; and the bit that marks a UTF-8 stored name.
constexpr uint16_t kAttributeMask = 0x27;
constexpr uint16_t kAttributeNameIsUtf8 = 0x80;

// Checksum of a data block: XOR of the little-endian 32-bit words, the 1 to
// 3 leftover bytes packed high to low into one more word, continued from
// `seed`. A block's stored value is checksum(size fields, checksum(data, 0)).
uint32_t checksum(const uint8_t* data, size_t length, uint32_t seed);

// The stored checksum of a block of `length` bytes whose header says
// `compressedSize` and `uncompressedSize`.
uint32_t blockChecksum(const uint8_t* data, size_t length,
                       uint16_t compressedSize, uint16_t uncompressedSize);

// DOS date and time fields of a local broken-down time. Years before 1980
// clamp to 1980-01-01 00:00:00, years after 2107 to 2107-12-31 23:59:58.
struct DosDateTime {
  uint16_t date = 0;
  uint16_t time = 0;
};
DosDateTime toDosDateTime(int year, int month, int day, int hour, int minute,
                          int second);

// The name of cabinet `number` of a set, from the name of the one before it
// (`current`): "collection.cab" continues in "collection2.cab", then
// "collection3.cab" ... "collection10.cab". Number 1 keeps the name.
std::string nextCabinetName(const std::string& current, int number);

// Little-endian stores into a byte string.
void putU16(std::string& out, uint16_t value);
void putU32(std::string& out, uint32_t value);

}  // namespace zorel::cab
