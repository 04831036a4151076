#pragma once
// MSZIP block compression: each block is "CK" followed by a complete raw
// deflate stream of up to 32 768 bytes. A block may refer back into the
// block before it (the decoder keeps that history), so the previous block
// is used as the deflate dictionary when asked. An incompressible block is
// stored. Blocks of one batch are deflated by up to two threads; each
// block's bytes depend only on its data and its dictionary, so the output is
// the same whatever the scheduling.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zorel::cab {

struct MszipOptions {
  int level = 6;           // zlib level 1..9
  bool dictionary = true;  // refer back into the previous block
  int threads = 2;         // 1 or 2
};

class MszipEncoder {
 public:
  explicit MszipEncoder(MszipOptions options = {});
  ~MszipEncoder();
  MszipEncoder(const MszipEncoder&) = delete;
  MszipEncoder& operator=(const MszipEncoder&) = delete;

  // Encodes `length` bytes of one folder as consecutive blocks of 32 768
  // bytes (the last may be shorter). `history` is the folder's block just
  // before `data` (empty at the folder's start). Block i goes to out[i];
  // `out` is resized to the block count. False when zlib fails.
  bool encode(const uint8_t* data, size_t length, const uint8_t* history,
              size_t historyLength, std::vector<std::string>& out);

  // The largest encoded block: "CK" plus a stored deflate block.
  static constexpr size_t kMaxEncodedBytes = 2 + 5 + 32768;

 private:
  struct Stream;
  static bool looksRandom(const uint8_t* data, size_t length);
  bool encodeBlock(Stream& stream, Stream& fast, const uint8_t* data, size_t length,
                   const uint8_t* history, size_t historyLength,
                   std::string& out);

  MszipOptions options_;
  std::unique_ptr<Stream> streams_[2];
  // Level-1 streams for blocks that look random: deflate at a high level
  // spends most of its time failing to shrink them.
  std::unique_ptr<Stream> fastStreams_[2];
};

}  // namespace zorel::cab
