#include "sealed_cipher.h"

#include <bit>
#include <cstring>

namespace zorel {

// The word loops read eight bytes as one little-endian word: lane k is the
// k-th byte.
static_assert(std::endian::native == std::endian::little);

SealCipher::SealCipher(const uint8_t* key, size_t keyLength) {
  if (key == nullptr || keyLength == 0) return;  // never keyed: produces nothing
  for (uint32_t x = 0; x < 256; ++x) permutation_[x] = x;
  uint32_t j = 0;
  for (size_t x = 0; x < 256; ++x) {
    j = (j + permutation_[x] + key[x % keyLength]) & 0xFF;
    const uint32_t t = permutation_[x];
    permutation_[x] = permutation_[j];
    permutation_[j] = t;
  }
  ready_ = true;
  // The first key-stream byte seeds the feedback byte and is used for nothing else.
  uint32_t* s = permutation_;
  i_ = 1;
  j_ = s[1];
  const uint32_t si = s[i_];
  const uint32_t sj = s[j_];
  s[i_] = sj;
  s[j_] = si;
  feedback_ = s[(si + sj) & 0xFF];
}

namespace {

// One RC4 generator step; the indices stay in registers across the loop.
inline uint32_t nextByte(uint32_t* s, uint32_t& i, uint32_t& j) {
  i = (i + 1) & 0xFF;
  const uint32_t si = s[i];
  j = (j + si) & 0xFF;
  const uint32_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[(si + sj) & 0xFF];
}

// The key-stream bytes of the next eight data bytes: lane k of `a` and `b`
// holds the first and the second byte drawn for data byte k.
inline void drawEight(uint32_t* s, uint32_t& i, uint32_t& j, uint64_t& a, uint64_t& b) {
  uint64_t wa = 0, wb = 0;
#pragma GCC unroll 8
  for (unsigned k = 0; k < 64; k += 8) {
    wa |= static_cast<uint64_t>(nextByte(s, i, j)) << k;
    wb |= static_cast<uint64_t>(nextByte(s, i, j)) << k;
  }
  a = wa;
  b = wb;
}

constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr uint64_t kHigh = 0x8080808080808080ull;
constexpr uint64_t kEveryLane = 0x0101010101010101ull;

// Lane-wise x + y and x - y modulo 256, no carry or borrow between lanes.
inline uint64_t addLanes(uint64_t x, uint64_t y) {
  return ((x & kLow7) + (y & kLow7)) ^ ((x ^ y) & kHigh);
}
inline uint64_t subLanes(uint64_t x, uint64_t y) {
  return ((x | kHigh) - (y & kLow7)) ^ ((x ^ ~y) & kHigh);
}

inline uint64_t load8(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
inline void store8(uint8_t* p, uint64_t w) { std::memcpy(p, &w, sizeof w); }

}  // namespace

bool SealCipher::Encipher(const uint8_t* in, uint8_t* out, size_t length) {
  if (!ready_ || in == nullptr || out == nullptr || length == 0) return false;
  uint32_t* s = permutation_;
  uint32_t i = i_, j = j_;
  uint64_t f = feedback_;
  size_t n = 0;
  for (; n + 8 <= length; n += 8) {
    uint64_t a, b;
    drawEight(s, i, j, a, b);
    // Lane k of x becomes p0 ^ ... ^ pk: the feedback after byte k.
    uint64_t x = load8(in + n);
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    x ^= f * kEveryLane;
    store8(out + n, addLanes(a ^ x, b));
    f = x >> 56;
  }
  for (; n < length; ++n) {
    f ^= in[n];
    const uint32_t a = nextByte(s, i, j);
    const uint32_t b = nextByte(s, i, j);
    out[n] = static_cast<uint8_t>((a ^ f) + b);
  }
  i_ = i;
  j_ = j;
  feedback_ = static_cast<uint32_t>(f);
  return true;
}

bool SealCipher::Decipher(const uint8_t* in, uint8_t* out, size_t length) {
  if (!ready_ || in == nullptr || out == nullptr || length == 0) return false;
  uint32_t* s = permutation_;
  uint32_t i = i_, j = j_;
  uint64_t f = feedback_;
  size_t n = 0;
  for (; n + 8 <= length; n += 8) {
    uint64_t a, b;
    drawEight(s, i, j, a, b);
    // Lane k of t is (c - b) ^ a, which is also the feedback after byte k,
    // so each plain byte is its lane of t XOR the lane before it.
    const uint64_t t = subLanes(load8(in + n), b) ^ a;
    store8(out + n, t ^ ((t << 8) | f));
    f = t >> 56;
  }
  for (; n < length; ++n) {
    const uint32_t a = nextByte(s, i, j);
    const uint32_t b = nextByte(s, i, j);
    const uint32_t p = ((in[n] - b) ^ a ^ static_cast<uint32_t>(f)) & 0xFF;
    f ^= p;
    out[n] = static_cast<uint8_t>(p);
  }
  i_ = i;
  j_ = j;
  feedback_ = static_cast<uint32_t>(f);
  return true;
}

}  // namespace zorel
