#pragma once
// Helpers shared by the container tests: an MD5 computed straight through
// OpenSSL (not through the library under test) and header editing that keeps
// a container's digest correct.

#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace zorel::test {

using Bytes = std::vector<uint8_t>;

inline Bytes md5Of(const Bytes& data) {
  Bytes digest(16);
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), digest.data(), &n, EVP_md5(), nullptr);
  return digest;
}

inline uint32_t le32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

inline void putLe32(Bytes& b, size_t at, uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

// Recomputes the digest field of `c` so that only the edited fields differ.
inline void redigest(Bytes& c) {
  std::memset(c.data() + 16, 0, 16);
  const Bytes d = md5Of(c);
  std::memcpy(c.data() + 16, d.data(), 16);
}

// A header-only container: magic, version 1, payload length 0, `value`.
inline Bytes emptyContainer(uint32_t value) {
  Bytes c(32, 0);
  putLe32(c, 0, 0x4752564F);
  putLe32(c, 4, 1);
  putLe32(c, 12, value);
  redigest(c);
  return c;
}

inline Bytes randomBytes(size_t n, uint32_t seed) {
  Bytes b(n);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& v : b) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    v = static_cast<uint8_t>(x >> 24);
  }
  return b;
}

}  // namespace zorel::test
