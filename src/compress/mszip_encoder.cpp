#include "mszip_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "cab_format.h"

namespace zorel::cab {

namespace {

// One final stored deflate block after "CK": BFINAL=1, BTYPE=00, LEN, ~LEN,
// the bytes.
void storeBlock(uint8_t* bytes, const uint8_t* data, size_t length) {
  bytes[2] = 0x01;
  bytes[3] = uint8_t(length);
  bytes[4] = uint8_t(length >> 8);
  bytes[5] = uint8_t(~length);
  bytes[6] = uint8_t(~length >> 8);
  if (length) std::memcpy(bytes + 7, data, length);
}

}  // namespace

struct MszipEncoder::Stream {
  z_stream z{};
  bool ready = false;
  // Where a block is encoded before it is copied out at its own size; kept,
  // so no block pays for clearing a fresh buffer.
  std::vector<uint8_t> scratch;
  ~Stream() {
    if (ready) deflateEnd(&z);
  }
};

MszipEncoder::MszipEncoder(MszipOptions options) : options_(options) {
  if (options_.threads < 1) options_.threads = 1;
  if (options_.threads > 2) options_.threads = 2;
  for (auto& stream : streams_) stream = std::make_unique<Stream>();
  for (auto& stream : fastStreams_) stream = std::make_unique<Stream>();
}

namespace {

// Bits per byte of the bytes counted in |tables| (summed), |count| in all.
double entropyBits(const uint32_t (&tables)[4][256], size_t count) {
  double bits = 0;
  for (int b = 0; b < 256; ++b) {
    const uint32_t n = tables[0][b] + tables[1][b] + tables[2][b] + tables[3][b];
    if (n) {
      const double p = double(n) / double(count);
      bits -= p * std::log2(p);
    }
  }
  return bits;
}

// Counts bytes [from, to) of |data| into four tables, so that neighbouring
// equal bytes do not wait on each other's count.
void countBytes(uint32_t (&tables)[4][256], const uint8_t* data, size_t from, size_t to) {
  size_t i = from;
  for (; i + 4 <= to; i += 4) {
    tables[0][data[i]]++;
    tables[1][data[i + 1]]++;
    tables[2][data[i + 2]]++;
    tables[3][data[i + 3]]++;
  }
  for (; i < to; ++i) tables[0][data[i]]++;
}

// The byte values that mark an anchor for hasRepeats: two, so about one
// position in 128 of random data, found with memchr. A histogram flat
// enough to look random has both of them in every few hundred bytes.
constexpr uint8_t kAnchors[] = {0x5A, 0xA5};

}  // namespace

bool MszipEncoder::looksRandom(const uint8_t* data, size_t length) {
  constexpr size_t kSample = 4096;
  if (length < kSample) return false;
  uint32_t tables[4][256] = {};
  // Text and records give themselves away in the first 4 KiB; a sample of
  // random bytes that small reads about 7.95 bits.
  countBytes(tables, data, 0, kSample);
  if (entropyBits(tables, kSample) < 7.8) return false;
  countBytes(tables, data, kSample, length);
  return entropyBits(tables, length) > 7.9;
}

bool MszipEncoder::hasRepeats(const uint8_t* data, size_t length, const uint8_t* history,
                              size_t historyLength) {
  std::vector<uint64_t> stretches;
  stretches.reserve((length + historyLength) / 64);
  // An anchor depends on content only, so the same content gives the same
  // anchors wherever it is.
  auto collect = [&stretches](const uint8_t* bytes, size_t count) {
    if (count < 9) return;
    for (uint8_t anchor : kAnchors) {
      const uint8_t* end = bytes + count - 8;
      for (const uint8_t* at = bytes;
           (at = static_cast<const uint8_t*>(std::memchr(at, anchor, size_t(end - at)))) != nullptr;
           ++at) {
        uint64_t stretch;
        std::memcpy(&stretch, at, sizeof stretch);
        stretches.push_back(stretch);
      }
    }
  };
  collect(history, historyLength);
  collect(data, length);
  std::sort(stretches.begin(), stretches.end());
  return std::adjacent_find(stretches.begin(), stretches.end()) != stretches.end();
}

MszipEncoder::~MszipEncoder() = default;

bool MszipEncoder::tune(Stream& stream) const {
  // zlib's own limits for levels 4 to 9 (good, lazy, nice, chain), the
  // chain then replaced.
  static constexpr int kLimits[6][4] = {{4, 4, 16, 16},     {8, 16, 32, 32},
                                        {8, 16, 128, 128},  {8, 32, 128, 256},
                                        {32, 128, 258, 1024}, {32, 258, 258, 4096}};
  if (options_.maxChain <= 0 || options_.level < 4 || options_.level > 9) return true;
  const int* limits = kLimits[options_.level - 4];
  return deflateTune(&stream.z, limits[0], limits[1], limits[2], options_.maxChain) == Z_OK;
}

bool MszipEncoder::encodeBlock(Stream& normal, Stream& fast, const uint8_t* data,
                               size_t length, const uint8_t* history,
                               size_t historyLength, std::string& out) {
  bool random = options_.level > 1 && looksRandom(data, length);
  if (random && !hasRepeats(data, length, history, historyLength)) {
    out.resize(7 + length);
    auto* bytes = reinterpret_cast<uint8_t*>(out.data());
    bytes[0] = 'C';
    bytes[1] = 'K';
    storeBlock(bytes, data, length);
    return true;
  }
  normal.scratch.resize(kMaxEncodedBytes);
  uint8_t* bytes = normal.scratch.data();
  bytes[0] = 'C';
  bytes[1] = 'K';
  bool deflated = false;
  Stream& stream = random ? fast : normal;
  if (!stream.ready) {
    // Raw deflate (no zlib wrapper), full 32 KiB window.
    if (deflateInit2(&stream.z, random ? 1 : options_.level, Z_DEFLATED, -15, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
      return false;
    }
    stream.ready = true;
  } else if (deflateReset(&stream.z) != Z_OK) {
    return false;
  }
  // A reset restores the level's limits, so the tuning is applied each time.
  if (!random && !tune(stream)) return false;
  if (historyLength > 0 &&
      deflateSetDictionary(&stream.z, history, uInt(historyLength)) != Z_OK) {
    return false;
  }
  stream.z.next_in = const_cast<Bytef*>(data);
  stream.z.avail_in = uInt(length);
  stream.z.next_out = bytes + 2;
  // Anything longer than a stored block is no use: cap the output there.
  stream.z.avail_out = uInt(5 + length);
  int rc = deflate(&stream.z, Z_FINISH);
  size_t size = 0;
  if (rc == Z_STREAM_END) {
    size = 2 + stream.z.total_out;
    deflated = true;
  }
  if (!deflated) {
    storeBlock(bytes, data, length);
    size = 7 + length;
  }
  out.assign(reinterpret_cast<const char*>(bytes), size);
  return true;
}

bool MszipEncoder::encode(const uint8_t* data, size_t length,
                          const uint8_t* history, size_t historyLength,
                          std::vector<std::string>& out) {
  size_t count = (length + kBlockBytes - 1) / kBlockBytes;
  out.resize(count);
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&](Stream& stream, Stream& fast) {
    for (size_t i = next++; i < count && !failed; i = next++) {
      size_t offset = i * kBlockBytes;
      size_t size = std::min<size_t>(kBlockBytes, length - offset);
      const uint8_t* dict = history;
      size_t dictLength = historyLength;
      if (i > 0) {
        dict = data + offset - kBlockBytes;
        dictLength = kBlockBytes;
      }
      if (!options_.dictionary) dictLength = 0;
      if (dictLength > kDictionaryBytes) {
        dict += dictLength - kDictionaryBytes;
        dictLength = kDictionaryBytes;
      }
      if (!encodeBlock(stream, fast, data + offset, size, dict, dictLength, out[i])) {
        failed = true;
      }
    }
  };
  if (options_.threads > 1 && count > 1) {
    std::thread helper(work, std::ref(*streams_[1]), std::ref(*fastStreams_[1]));
    work(*streams_[0], *fastStreams_[0]);
    helper.join();
  } else {
    work(*streams_[0], *fastStreams_[0]);
  }
  return !failed;
}

}  // namespace zorel::cab
