#include "mszip_encoder.h"

#include <zlib.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "cab_format.h"

namespace zorel::cab {

struct MszipEncoder::Stream {
  z_stream z{};
  bool ready = false;
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

// True when the byte histogram is almost flat (over 7.9 bits per byte), so
// only long repeats could still shrink the block; level 1 finds those.
bool MszipEncoder::looksRandom(const uint8_t* data, size_t length) {
  if (length < 4096) return false;
  uint32_t counts[256] = {};
  for (size_t i = 0; i < length; ++i) counts[data[i]]++;
  double bits = 0;
  for (uint32_t count : counts) {
    if (count) {
      double p = double(count) / double(length);
      bits -= p * std::log2(p);
    }
  }
  return bits > 7.9;
}

MszipEncoder::~MszipEncoder() = default;

bool MszipEncoder::encodeBlock(Stream& normal, Stream& fast, const uint8_t* data,
                               size_t length, const uint8_t* history,
                               size_t historyLength, std::string& out) {
  out.resize(kMaxEncodedBytes);
  auto* bytes = reinterpret_cast<uint8_t*>(out.data());
  bytes[0] = 'C';
  bytes[1] = 'K';
  bool deflated = false;
  bool random = options_.level > 1 && looksRandom(data, length);
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
  if (rc == Z_STREAM_END) {
    out.resize(2 + stream.z.total_out);
    deflated = true;
  }
  if (!deflated) {
    // One final stored block: BFINAL=1, BTYPE=00, LEN, ~LEN, the bytes.
    bytes[2] = 0x01;
    bytes[3] = uint8_t(length);
    bytes[4] = uint8_t(length >> 8);
    bytes[5] = uint8_t(~length);
    bytes[6] = uint8_t(~length >> 8);
    if (length) std::memcpy(bytes + 7, data, length);
    out.resize(7 + length);
  }
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
