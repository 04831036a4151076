#pragma once
// MSZIP block compression: each block is "CK" followed by a complete raw
// deflate stream of up to 32 768 bytes. A block may refer back into the
// block before it (the decoder keeps that history); the last 8 KiB of the
// previous block are used as the deflate dictionary when asked, which finds
// nearly every match a whole block would, at less cost per block. A block
// that cannot shrink is stored; one that looks random (a flat byte
// histogram and no stretch of it seen twice) is stored without trying.
// Blocks of one batch are deflated by up to two threads; each block's bytes
// depend only on its data and its dictionary, so the output is the same
// whatever the scheduling.

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
  // The longest hash chain deflate follows for a match, for levels 4 to 9
  // (their other search limits stay zlib's); 0 keeps the level's own.
  // Most of a level's time goes into these chains.
  int maxChain = 0;
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
  // The tail of the previous block given to deflate as its dictionary.
  static constexpr size_t kDictionaryBytes = 8192;

  // True when the byte histogram of `data` is almost flat (over 7.9 bits
  // per byte), so only repeated stretches could still shrink it.
  static bool looksRandom(const uint8_t* data, size_t length);
  // True when some 8-byte stretch of `data` recurs in `data` or in
  // `history`. Stretches are compared where the content itself marks an
  // anchor (two byte values, one position in 128 of random data), so a
  // repeat is found wherever it lies; random bytes never meet the same
  // stretch twice.
  static bool hasRepeats(const uint8_t* data, size_t length, const uint8_t* history,
                         size_t historyLength);

 private:
  struct Stream;
  // Applies options_.maxChain to a stream just initialised or reset.
  bool tune(Stream& stream) const;
  bool encodeBlock(Stream& stream, Stream& fast, const uint8_t* data, size_t length,
                   const uint8_t* history, size_t historyLength,
                   std::string& out);

  MszipOptions options_;
  std::unique_ptr<Stream> streams_[2];
  // Level-1 streams for random-looking blocks with repeats in them: deflate
  // at a high level spends most of its time failing to shrink the rest.
  std::unique_ptr<Stream> fastStreams_[2];
};

}  // namespace zorel::cab
