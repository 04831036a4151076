// MSZIP blocks of data deflate cannot shrink, of random data that repeats
// itself, and of text: each block must decode to its data (with the block
// before it as history), random data is stored as it is, and a repeat is
// never lost to the shortcut that stores random-looking blocks.

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "cab_format.h"
#include "mszip_encoder.h"

namespace zorel::cab {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes randomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = uint8_t(random());
  return bytes;
}

Bytes repeated(const Bytes& unit, size_t size) {
  Bytes bytes;
  while (bytes.size() < size) bytes.insert(bytes.end(), unit.begin(), unit.end());
  bytes.resize(size);
  return bytes;
}

Bytes text(size_t size) {
  static const char* const words[] = {"service ", "registry ", "product ", "install ",
                                      "error=17\r\n", "version "};
  std::mt19937 random(7);
  Bytes bytes;
  while (bytes.size() < size) {
    const std::string word = words[random() % 6];
    bytes.insert(bytes.end(), word.begin(), word.end());
  }
  bytes.resize(size);
  return bytes;
}

// The block's data, decoded as a reader does: "CK", then raw deflate with
// the previous block as history.
Bytes decode(const std::string& block, const Bytes& history) {
  if (block.size() < 2 || block[0] != 'C' || block[1] != 'K') return {};
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return {};
  if (!history.empty()) inflateSetDictionary(&z, history.data(), uInt(history.size()));
  Bytes out(kBlockBytes + 1);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data() + 2));
  z.avail_in = uInt(block.size() - 2);
  z.next_out = out.data();
  z.avail_out = uInt(out.size());
  const int rc = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return rc == Z_STREAM_END ? out : Bytes{};
}

TEST(MszipEncoder, RandomBlocksAreStoredAndRepeatsStillShrink) {
  const Bytes noise = randomBytes(kBlockBytes, 1);
  const size_t stored = 2 + 5 + kBlockBytes;
  Bytes seenBefore(noise.end() - 8192, noise.end());
  const Bytes rest = randomBytes(kBlockBytes - 8192, 5);
  seenBefore.insert(seenBefore.end(), rest.begin(), rest.end());
  const struct {
    const char* what;
    Bytes history;
    Bytes data;
    size_t atMost;  // encoded bytes
    size_t atLeast;
  } cases[] = {
      // Nothing in it repeats: stored as it is, without a deflate attempt.
      {"random", {}, noise, stored, stored},
      {"random after random", randomBytes(kBlockBytes, 2), noise, stored, stored},
      // Flat histograms, but a 3000-byte stretch comes back again and again.
      {"repeating random", {}, repeated(randomBytes(3000, 3), kBlockBytes), 5000, 0},
      // The block opens with the last 8 KiB of the block before it, which
      // the dictionary holds.
      {"random seen before", noise, seenBefore, stored - 6000, 0},
      {"text", {}, text(kBlockBytes), kBlockBytes / 3, 0},
  };
  MszipEncoder encoder({5, true, 1, 16});
  for (const auto& c : cases) {
    std::vector<std::string> blocks;
    ASSERT_TRUE(encoder.encode(c.data.data(), c.data.size(), c.history.data(), c.history.size(),
                               blocks))
        << c.what;
    ASSERT_EQ(blocks.size(), 1u) << c.what;
    EXPECT_LE(blocks[0].size(), c.atMost) << c.what;
    EXPECT_GE(blocks[0].size(), c.atLeast) << c.what;
    EXPECT_EQ(decode(blocks[0], c.history), c.data) << c.what;
  }
}

}  // namespace
}  // namespace zorel::cab
