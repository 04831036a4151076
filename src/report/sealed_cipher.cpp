#include "sealed_cipher.h"

namespace zorel {

SealCipher::SealCipher(const uint8_t* key, size_t keyLength) {
  if (key == nullptr || keyLength == 0) return;  // never keyed: produces nothing
  for (int x = 0; x < 256; ++x) permutation_[x] = static_cast<uint8_t>(x);
  uint8_t j = 0;
  for (size_t x = 0; x < 256; ++x) {
    j = static_cast<uint8_t>(j + permutation_[x] + key[x % keyLength]);
    const uint8_t t = permutation_[x];
    permutation_[x] = permutation_[j];
    permutation_[j] = t;
  }
  i_ = 0;
  j_ = 0;
  ready_ = true;
  // The first key-stream byte seeds the feedback byte and is used for nothing else.
  uint8_t* s = permutation_;
  i_ = static_cast<uint8_t>(i_ + 1);
  j_ = static_cast<uint8_t>(j_ + s[i_]);
  const uint8_t t = s[i_];
  s[i_] = s[j_];
  s[j_] = t;
  feedback_ = s[static_cast<uint8_t>(s[i_] + s[j_])];
}

namespace {

// One RC4 generator step on state kept in locals, so the compiler can hold
// the indices in registers across the data loop.
inline uint8_t nextByte(uint8_t* s, uint8_t& i, uint8_t& j) {
  i = static_cast<uint8_t>(i + 1);
  const uint8_t si = s[i];
  j = static_cast<uint8_t>(j + si);
  const uint8_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[static_cast<uint8_t>(si + sj)];
}

}  // namespace

bool SealCipher::Encipher(const uint8_t* in, uint8_t* out, size_t length) {
  if (!ready_ || in == nullptr || out == nullptr || length == 0) return false;
  uint8_t* s = permutation_;
  uint8_t i = i_, j = j_, f = feedback_;
  for (size_t n = 0; n < length; ++n) {
    f = static_cast<uint8_t>(f ^ in[n]);
    const uint8_t a = nextByte(s, i, j);
    const uint8_t b = nextByte(s, i, j);
    out[n] = static_cast<uint8_t>((a ^ f) + b);
  }
  i_ = i;
  j_ = j;
  feedback_ = f;
  return true;
}

bool SealCipher::Decipher(const uint8_t* in, uint8_t* out, size_t length) {
  if (!ready_ || in == nullptr || out == nullptr || length == 0) return false;
  uint8_t* s = permutation_;
  uint8_t i = i_, j = j_, f = feedback_;
  for (size_t n = 0; n < length; ++n) {
    const uint8_t a = nextByte(s, i, j);
    const uint8_t b = nextByte(s, i, j);
    const uint8_t p = static_cast<uint8_t>(static_cast<uint8_t>(in[n] - b) ^ a ^ f);
    f = static_cast<uint8_t>(f ^ p);
    out[n] = p;
  }
  i_ = i;
  j_ = j;
  feedback_ = f;
  return true;
}

}  // namespace zorel
