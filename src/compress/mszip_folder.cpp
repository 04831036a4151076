// MSZIP folders of a lone cabinet decoded with zlib (see mszip_folder.h).

#include "mszip_folder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cab_format.h"

namespace zorel::compress {

namespace {

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool readAt(int fd, uint8_t* buffer, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

constexpr uint16_t kFlagReservePresent = 0x0004;

}  // namespace

std::optional<CabinetLayout> readCabinetLayout(int fd) {
  uint8_t header[cab::kHeaderBytes + 4];
  if (!readAt(fd, header, cab::kHeaderBytes, 0)) return std::nullopt;
  if (std::memcmp(header, "MSCF", 4) != 0) return std::nullopt;
  const uint16_t folders = u16(header + 26);
  const uint16_t flags = u16(header + 30);
  if (flags & (cab::kFlagPrevCabinet | cab::kFlagNextCabinet)) return std::nullopt;
  CabinetLayout layout;
  uint64_t at = cab::kHeaderBytes;
  uint8_t folderReserve = 0;
  if (flags & kFlagReservePresent) {
    if (!readAt(fd, header + cab::kHeaderBytes, 4, at)) return std::nullopt;
    folderReserve = header[cab::kHeaderBytes + 2];
    layout.dataReserve = header[cab::kHeaderBytes + 3];
    at += 4 + u16(header + cab::kHeaderBytes);
  }
  const size_t record = cab::kFolderBytes + folderReserve;
  std::vector<uint8_t> records(record * folders);
  if (folders > 0 && !readAt(fd, records.data(), records.size(), at)) return std::nullopt;
  for (uint16_t i = 0; i < folders; ++i) {
    const uint8_t* r = records.data() + record * i;
    layout.folders.push_back({u32(r), u16(r + 4), u16(r + 6)});
  }
  return layout;
}

MszipFolderStream::MszipFolderStream(int fd, const FolderData& folder, uint8_t dataReserve)
    : fd_(fd), folder_(folder), dataReserve_(dataReserve), readAt_(folder.offset),
      block_(cab::kBlockBytes) {
  zlibReady_ = inflateInit2(&zs_, -MAX_WBITS) == Z_OK;
  failed_ = !zlibReady_ || (folder.compression & 0x0F) != cab::kCompressMszip;
}

MszipFolderStream::~MszipFolderStream() {
  if (zlibReady_) inflateEnd(&zs_);
}

bool MszipFolderStream::nextBlock() {
  if (blocksRead_ >= folder_.blocks) return false;
  uint8_t header[cab::kDataHeaderBytes + 255];
  const size_t headerSize = cab::kDataHeaderBytes + dataReserve_;
  if (!readAt(fd_, header, headerSize, readAt_)) return false;
  const uint32_t stored = u32(header);
  const uint16_t packed = u16(header + 4);
  const uint16_t unpacked = u16(header + 6);
  if (packed < 2 || unpacked > cab::kBlockBytes) return false;
  input_.resize(packed);
  if (!readAt(fd_, input_.data(), packed, readAt_ + headerSize)) return false;
  if (stored != 0 && stored != cab::blockChecksum(input_.data(), packed, packed, unpacked))
    return false;
  if (input_[0] != 'C' || input_[1] != 'K') return false;
  // Each block is a deflate stream of its own over the previous block.
  if (blocksRead_ > 0) {
    if (inflateReset(&zs_) != Z_OK) return false;
    if (blockSize_ > 0 &&
        inflateSetDictionary(&zs_, block_.data(), static_cast<uInt>(blockSize_)) != Z_OK)
      return false;
  }
  zs_.next_in = input_.data() + 2;
  zs_.avail_in = static_cast<uInt>(packed - 2);
  zs_.next_out = block_.data();
  zs_.avail_out = static_cast<uInt>(block_.size());
  if (inflate(&zs_, Z_FINISH) != Z_STREAM_END) return false;
  if (block_.size() - zs_.avail_out != unpacked) return false;
  blockSize_ = unpacked;
  used_ = 0;
  readAt_ += headerSize + packed;
  ++blocksRead_;
  return true;
}

bool MszipFolderStream::copyTo(uint64_t offset, uint64_t length, int out) {
  if (failed_ || offset < position_) return false;
  while (length > 0) {
    if (used_ == blockSize_ && !nextBlock()) {
      failed_ = true;
      return false;
    }
    const size_t available = blockSize_ - used_;
    if (position_ < offset) {
      const size_t skip = static_cast<size_t>(std::min<uint64_t>(available, offset - position_));
      used_ += skip;
      position_ += skip;
      continue;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(available, length));
    if (!writeAll(out, block_.data() + used_, n)) {
      failed_ = true;
      return false;
    }
    used_ += n;
    position_ += n;
    length -= n;
  }
  return true;
}

}  // namespace zorel::compress
