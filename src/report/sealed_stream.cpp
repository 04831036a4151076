// The cipher and digest sides of a container, and the header they share.

#include "zorel/report/sealed_stream.h"

#include <cstring>

#include "md5_digest.h"
#include "sealed_cipher.h"

namespace zorel {
namespace {

constexpr size_t kDigestOffset = 16;

// A null key means the default key, a key with a length of 0 or less the
// fallback key.
std::unique_ptr<SealCipher> makeCipher(const char* key, int32_t keyLength) {
  if (key == nullptr)
    return std::make_unique<SealCipher>(reinterpret_cast<const uint8_t*>(kSealDefaultKey),
                                        kSealKeyLength);
  if (keyLength <= 0)
    return std::make_unique<SealCipher>(reinterpret_cast<const uint8_t*>(kSealFallbackKey),
                                        kSealKeyLength);
  return std::make_unique<SealCipher>(reinterpret_cast<const uint8_t*>(key),
                                      static_cast<size_t>(keyLength));
}

void putLe32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t getLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

// ---- SealStream -------------------------------------------------------------

SealStream::SealStream(const char* key, int32_t keyLength, uint64_t payloadLength,
                       uint32_t value)
    : status_(payloadLength == 0 || payloadLength > kSealMaxPayload ? kSealCipherRefused
                                                                     : kSealOk),
      cipher_(makeCipher(key, keyLength)),
      md5_(std::make_unique<Md5Digest>()) {
  putLe32(header_ + 0, kSealMagic);
  putLe32(header_ + 4, kSealVersion);
  putLe32(header_ + 8, static_cast<uint32_t>(payloadLength));
  putLe32(header_ + 12, value);
  // The digest covers the header with a zero digest field, then the payload.
  md5_->update(header_, sizeof header_);
}

SealStream::~SealStream() = default;

bool SealStream::Encipher(const uint8_t* in, uint8_t* out, size_t length) {
  return status_ == kSealOk && cipher_->Encipher(in, out, length);
}

void SealStream::Digest(const uint8_t* enciphered, size_t length) {
  if (status_ == kSealOk) md5_->update(enciphered, length);
}

int32_t SealStream::Finish(uint8_t header[kSealHeaderSize]) {
  if (status_ != kSealOk) return status_;
  // Without a digest there is no container; the header stays unwritten.
  if (!md5_->finish(header_ + kDigestOffset)) return kSealCipherRefused;
  std::memcpy(header, header_, sizeof header_);
  return kSealOk;
}

// ---- UnsealStream -----------------------------------------------------------

UnsealStream::UnsealStream(const char* key, int32_t keyLength)
    : cipher_(makeCipher(key, keyLength)), md5_(std::make_unique<Md5Digest>()) {}

UnsealStream::~UnsealStream() = default;

int32_t UnsealStream::Begin(const uint8_t* header, uint64_t containerLength, uint32_t* value,
                            uint64_t* payloadLength) {
  if (header == nullptr || containerLength < kSealHeaderSize) return kSealInvalidData;
  uint8_t copy[kSealHeaderSize];
  std::memcpy(copy, header, sizeof copy);
  const uint32_t length = getLe32(copy + 8);
  if (containerLength - kSealHeaderSize != length || getLe32(copy) != kSealMagic)
    return kSealInvalidData;
  std::memcpy(expected_, copy + kDigestOffset, sizeof expected_);
  std::memset(copy + kDigestOffset, 0, sizeof expected_);
  md5_->update(copy, sizeof copy);
  payloadLength_ = length;
  begun_ = true;
  if (value != nullptr) *value = getLe32(copy + 12);
  if (payloadLength != nullptr) *payloadLength = length;
  return kSealOk;
}

void UnsealStream::Digest(const uint8_t* enciphered, size_t length) {
  if (begun_) md5_->update(enciphered, length);
}

bool UnsealStream::Decipher(const uint8_t* in, uint8_t* out, size_t length) {
  return begun_ && cipher_->Decipher(in, out, length);
}

int32_t UnsealStream::Verify() {
  if (!begun_) return kSealInvalidData;
  uint8_t computed[sizeof expected_];
  if (!md5_->finish(computed) || std::memcmp(computed, expected_, sizeof computed) != 0)
    return kSealInvalidData;
  return payloadLength_ == 0 ? kUnsealCipherRefused : kSealOk;
}

}  // namespace zorel
