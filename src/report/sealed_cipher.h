#pragma once
// The container's stream cipher: an RC4 key stream combined with a running
// feedback byte F that carries every earlier plain byte. One state per Seal
// or Unseal call; it is never reused. Only the sealed container uses it.
//
// Per byte, with a and b the next two key-stream bytes:
//   encipher  F ^= p;  c = (a ^ F) + b
//   decipher  p = (c - b) ^ a ^ F;  F ^= p      (so F becomes (c - b) ^ a)
// The loops work on eight bytes at a time: the key stream is drawn into
// two 64-bit words (a and b lanes) and the per-byte arithmetic runs on
// whole words, with the feedback chain as a prefix XOR across the lanes.

#include <cstddef>
#include <cstdint>

namespace zorel {

class SealCipher {
 public:
  // Runs the RC4 key schedule on keyLength (> 0) bytes of key, then draws
  // one key-stream byte as the initial feedback byte.
  SealCipher(const uint8_t* key, size_t keyLength);

  // Enciphers / deciphers `length` bytes in order, continuing from the bytes
  // already done. `in` and `out` may be the same buffer.
  // RETURNS false, writing nothing, when the state was never keyed, a
  // pointer is null or length is 0.
  bool Encipher(const uint8_t* in, uint8_t* out, size_t length);
  bool Decipher(const uint8_t* in, uint8_t* out, size_t length);

 private:
  // The RC4 state array. The entries are bytes; they are kept in 32-bit
  // slots because whole-word loads and stores keep the generator's
  // read-after-swap chain short (no partial-register merges).
  uint32_t permutation_[256];
  uint32_t i_ = 0;          // RC4 generator indices, each 0..255
  uint32_t j_ = 0;
  uint32_t feedback_ = 0;   // F, 0..255
  bool ready_ = false;      // set once the key is scheduled
};

}  // namespace zorel
