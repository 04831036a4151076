#pragma once
// The container's stream cipher: an RC4 key stream combined with a running
// feedback byte F that carries every earlier plain byte. One state per Seal
// or Unseal call; it is never reused. Only the sealed container uses it.

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
  uint8_t permutation_[256];  // the RC4 state array
  uint8_t i_ = 0;             // RC4 generator indices, 0 after scheduling
  uint8_t j_ = 0;
  uint8_t feedback_ = 0;      // F
  bool ready_ = false;        // set once the key is scheduled
};

}  // namespace zorel
