#include "zorel/report/sealed_container.h"

#include <cstring>

#include "md5_digest.h"
#include "sealed_cipher.h"

namespace zorel {
namespace {

constexpr size_t kDigestOffset = 16;
// Seal enciphers and hashes in slices of this size, so each slice is hashed
// while it is still in cache.
constexpr size_t kSliceSize = 64 * 1024;

// Key selection shared by both directions: a null key means the default key,
// a key with a length of 0 or less the fallback key.
SealCipher makeCipher(const char* key, int32_t keyLength) {
  if (key == nullptr)
    return SealCipher(reinterpret_cast<const uint8_t*>(kSealDefaultKey), kSealKeyLength);
  if (keyLength <= 0)
    return SealCipher(reinterpret_cast<const uint8_t*>(kSealFallbackKey), kSealKeyLength);
  return SealCipher(reinterpret_cast<const uint8_t*>(key), static_cast<size_t>(keyLength));
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

int32_t Seal(const char* key, int32_t keyLength, const uint8_t* plain, size_t plainLength,
             uint32_t value, uint8_t* out, size_t outCapacity) {
  SealCipher cipher = makeCipher(key, keyLength);
  // Compared without adding to plainLength, so a huge length cannot wrap
  // around and pass the check.
  if (outCapacity < kSealHeaderSize || outCapacity - kSealHeaderSize < plainLength)
    return kSealInsufficientBuffer;
  if (plain == nullptr || out == nullptr || plainLength == 0 || plainLength > kSealMaxPayload)
    return kSealCipherRefused;

  uint8_t header[kSealHeaderSize] = {};
  putLe32(header + 0, kSealMagic);
  putLe32(header + 4, kSealVersion);
  putLe32(header + 8, static_cast<uint32_t>(plainLength));
  putLe32(header + 12, value);

  // The digest covers the header with a zero digest field, then the payload.
  Md5Digest md5;
  md5.update(header, sizeof header);
  uint8_t* payload = out + kSealHeaderSize;
  for (size_t done = 0; done < plainLength;) {
    const size_t n = plainLength - done < kSliceSize ? plainLength - done : kSliceSize;
    if (!cipher.Encipher(plain + done, payload + done, n)) return kSealCipherRefused;
    md5.update(payload + done, n);
    done += n;
  }
  // Without a digest there is no container; the header stays unwritten.
  if (!md5.finish(header + kDigestOffset)) return kSealCipherRefused;
  std::memcpy(out, header, sizeof header);
  return kSealOk;
}

int32_t Unseal(const char* key, int32_t keyLength, const uint8_t* container,
               size_t containerLength, uint32_t* value, uint8_t* plainOut,
               size_t* plainCapacity) {
  SealCipher cipher = makeCipher(key, keyLength);
  if (container == nullptr || containerLength < kSealHeaderSize) return kSealInvalidData;

  // Verify on a private copy of the header so the caller's bytes stay as they were.
  uint8_t header[kSealHeaderSize];
  std::memcpy(header, container, sizeof header);
  uint8_t saved[Md5Digest::kSize];
  std::memcpy(saved, header + kDigestOffset, sizeof saved);
  std::memset(header + kDigestOffset, 0, Md5Digest::kSize);

  Md5Digest md5;
  md5.update(header, sizeof header);
  md5.update(container + kSealHeaderSize, containerLength - kSealHeaderSize);
  uint8_t computed[Md5Digest::kSize];
  if (!md5.finish(computed) || std::memcmp(computed, saved, sizeof saved) != 0)
    return kSealInvalidData;

  const uint32_t payloadLength = getLe32(header + 8);
  if (containerLength - kSealHeaderSize != payloadLength || getLe32(header) != kSealMagic)
    return kSealInvalidData;

  if (value != nullptr) *value = getLe32(header + 12);
  if (plainCapacity == nullptr) return kSealOk;  // verified only
  const size_t capacity = *plainCapacity;
  *plainCapacity = payloadLength;
  if (plainOut == nullptr) return kSealOk;  // the caller asked for the length
  if (capacity < payloadLength) return kSealMoreData;
  if (!cipher.Decipher(container + kSealHeaderSize, plainOut, payloadLength))
    return kUnsealCipherRefused;
  return kSealOk;
}

const char* SealResultName(int32_t code) {
  switch (code) {
    case kSealInvalidData: return "ERROR_INVALID_DATA";
    case kSealInsufficientBuffer: return "ERROR_INSUFFICIENT_BUFFER";
    case kSealMoreData: return "ERROR_MORE_DATA";
    default: return "";
  }
}

const char* SealResultMeaning(int32_t code) {
  switch (code) {
    case kSealOk: return "success";
    case kSealInvalidData:
      return "not a valid sealed container (shorter than 32 bytes, digest mismatch, "
             "size not equal to the payload length + 32, or wrong magic)";
    case kSealInsufficientBuffer: return "the output buffer is smaller than the data + 32 bytes";
    case kSealMoreData: return "the plain-data buffer is smaller than the payload";
    case kSealCipherRefused: return "the cipher refused the input (no data to seal)";
    case kUnsealCipherRefused: return "the cipher refused the input (the payload is empty)";
    default: return "unknown result code";
  }
}

}  // namespace zorel
