#pragma once
// The sealed container (sealed_container.h) taken apart for callers that
// move the payload themselves, slice by slice: a cipher side and a digest
// side that may run on two threads at once, so a container is sealed or
// unsealed in about the time of the slower of the two instead of their sum.
//
// Each side must see the payload in order, in slices of any size. The two
// sides share no state: one thread may encipher while another digests, as
// long as every byte is enciphered before it is digested (sealing) or
// digested before it is deciphered in place (unsealing). The caller does
// that hand-over; Finish / Verify come after both sides are done.
//
// The bytes produced are exactly those of Seal and Unseal.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zorel/report/sealed_container.h"

namespace zorel {

class Md5Digest;
class SealCipher;

class SealStream {
 public:
  // key and keyLength as for Seal. payloadLength is the whole payload.
  SealStream(const char* key, int32_t keyLength, uint64_t payloadLength, uint32_t value);
  ~SealStream();
  SealStream(const SealStream&) = delete;
  SealStream& operator=(const SealStream&) = delete;

  // kSealOk, or kSealCipherRefused for a payload of 0 bytes or one beyond
  // the 32-bit length field (then neither side does anything).
  int32_t Status() const { return status_; }

  // Cipher side: enciphers the next `length` payload bytes. in may be out.
  // RETURNS false when the status is not kSealOk or a pointer is null.
  bool Encipher(const uint8_t* in, uint8_t* out, size_t length);

  // Digest side: the next `length` enciphered bytes.
  void Digest(const uint8_t* enciphered, size_t length);

  // Once the whole payload went through both sides: the 32-byte header,
  // digest included. RETURNS kSealOk, or kSealCipherRefused (header not
  // written) when the status was not kSealOk or the digest failed.
  int32_t Finish(uint8_t header[kSealHeaderSize]);

 private:
  int32_t status_;
  std::unique_ptr<SealCipher> cipher_;
  std::unique_ptr<Md5Digest> md5_;
  uint8_t header_[kSealHeaderSize] = {};
};

class UnsealStream {
 public:
  // key and keyLength as for Unseal.
  UnsealStream(const char* key, int32_t keyLength);
  ~UnsealStream();
  UnsealStream(const UnsealStream&) = delete;
  UnsealStream& operator=(const UnsealStream&) = delete;

  // Reads the first 32 bytes of a container that is containerLength bytes
  // long, and starts the digest with them.
  //   value          optional; the header's value.
  //   payloadLength  the payload length N.
  // RETURNS kSealOk; kSealInvalidData when the container is shorter than 32
  // bytes, its magic is wrong or its length is not N + 32 (a container
  // that would fail Unseal whatever its digest).
  int32_t Begin(const uint8_t* header, uint64_t containerLength, uint32_t* value,
                uint64_t* payloadLength);

  // Digest side: the next `length` enciphered payload bytes.
  void Digest(const uint8_t* enciphered, size_t length);

  // Cipher side: deciphers the next `length` payload bytes. in may be out.
  // What it gives means nothing until Verify says the container holds.
  // RETURNS false before a successful Begin, for null pointers or length 0.
  bool Decipher(const uint8_t* in, uint8_t* out, size_t length);

  // Once every payload byte was digested: kSealOk when the digest matches,
  // else kSealInvalidData. A container with a matching digest and no payload
  // gives kUnsealCipherRefused, as Unseal does when asked to decipher it.
  int32_t Verify();

 private:
  std::unique_ptr<SealCipher> cipher_;
  std::unique_ptr<Md5Digest> md5_;
  uint8_t expected_[16] = {};
  uint64_t payloadLength_ = 0;
  bool begun_ = false;
};

}  // namespace zorel
