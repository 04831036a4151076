#pragma once
// Reading the MSZIP folders of a lone cabinet (one that belongs to no set)
// with zlib's inflate, which decodes about twice as fast as libmspack's.
// Extraction takes this path for such folders and falls back to libmspack
// for everything else (sets, other compression types) and whenever this
// reader meets something it does not accept, so a damaged cabinet fails
// with libmspack's own error.
//
// An MSZIP block is "CK" and a deflate stream that ends in the block; the
// block before it (at most 32 KiB) is that stream's dictionary.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace zorel::compress {

struct FolderData {
  uint64_t offset = 0;  // of the folder's first data block in the file
  uint16_t blocks = 0;
  uint16_t compression = 0;  // typeCompress; the low 4 bits are the method
};

struct CabinetLayout {
  uint8_t dataReserve = 0;  // bytes reserved in each data block's header
  std::vector<FolderData> folders;
};

// The folder records of the cabinet open as `fd`; nullopt when it is not a
// cabinet this reader takes (part of a set, or a header it cannot read).
std::optional<CabinetLayout> readCabinetLayout(int fd);

// One folder's data, decoded front to back.
class MszipFolderStream {
 public:
  MszipFolderStream(int fd, const FolderData& folder, uint8_t dataReserve);
  ~MszipFolderStream();
  MszipFolderStream(const MszipFolderStream&) = delete;
  MszipFolderStream& operator=(const MszipFolderStream&) = delete;

  // How far the folder's data has been decoded and handed out.
  uint64_t position() const { return position_; }

  // Writes bytes [offset, offset + length) of the folder's data to `out`
  // (skipping what lies before offset). RETURNS false when offset is
  // behind position(), a block is damaged (checksum, signature, sizes,
  // deflate data) or a read or write fails; the stream is then unusable.
  bool copyTo(uint64_t offset, uint64_t length, int out);

 private:
  bool nextBlock();

  int fd_;
  FolderData folder_;
  uint8_t dataReserve_;
  uint64_t readAt_;
  unsigned blocksRead_ = 0;
  uint64_t position_ = 0;  // folder offset of block_[used_]
  z_stream zs_{};
  bool zlibReady_ = false;
  bool failed_ = false;
  std::vector<uint8_t> input_;
  std::vector<uint8_t> block_;  // the current block's output
  size_t blockSize_ = 0, used_ = 0;
};

}  // namespace zorel::compress
