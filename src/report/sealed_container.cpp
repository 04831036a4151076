#include "zorel/report/sealed_container.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "zorel/report/sealed_stream.h"

namespace zorel {
namespace {

// Seal enciphers and digests in slices of this size, so each slice is
// digested while it is still in a cache.
constexpr size_t kSliceSize = 256 * 1024;
// From this payload size on, a second thread digests each slice as soon as
// it is enciphered; below it a thread costs more than it saves.
constexpr size_t kDigestThreadFrom = 2 * kSliceSize;

// Runs the payload through both sides of `stream`, the digest on a thread
// of its own when the payload is large and a thread can be had.
// RETURNS false when the cipher refused a slice.
bool sealPayload(SealStream& stream, const uint8_t* plain, uint8_t* payload, size_t length) {
  std::atomic<size_t> enciphered{0};
  std::thread digester;
  if (length >= kDigestThreadFrom) {
    try {
      digester = std::thread([&] {
        for (size_t digested = 0; digested < length;) {
          const size_t ready = enciphered.load(std::memory_order_acquire);
          if (ready == digested) {
            enciphered.wait(digested, std::memory_order_acquire);
            continue;
          }
          stream.Digest(payload + digested, ready - digested);
          digested = ready;
        }
      });
    } catch (...) {
      // No thread: the slices are digested here, one after the other.
    }
  }
  bool ok = true;
  for (size_t done = 0; done < length;) {
    const size_t n = length - done < kSliceSize ? length - done : kSliceSize;
    ok = stream.Encipher(plain + done, payload + done, n);
    done = ok ? done + n : length;  // a refusal ends the digest thread too
    if (digester.joinable()) {
      enciphered.store(done, std::memory_order_release);
      enciphered.notify_one();
    } else if (ok) {
      stream.Digest(payload + done - n, n);
    }
  }
  if (digester.joinable()) digester.join();
  return ok;
}

}  // namespace

int32_t Seal(const char* key, int32_t keyLength, const uint8_t* plain, size_t plainLength,
             uint32_t value, uint8_t* out, size_t outCapacity) {
  // Compared without adding to plainLength, so a huge length cannot wrap
  // around and pass the check.
  if (outCapacity < kSealHeaderSize || outCapacity - kSealHeaderSize < plainLength)
    return kSealInsufficientBuffer;
  if (plain == nullptr || out == nullptr || plainLength == 0 || plainLength > kSealMaxPayload)
    return kSealCipherRefused;

  SealStream stream(key, keyLength, plainLength, value);
  if (!sealPayload(stream, plain, out + kSealHeaderSize, plainLength)) return kSealCipherRefused;
  // The header is written last: a failed digest leaves it unwritten.
  uint8_t header[kSealHeaderSize];
  const int32_t rc = stream.Finish(header);
  if (rc == kSealOk) std::copy(header, header + kSealHeaderSize, out);
  return rc;
}

int32_t Unseal(const char* key, int32_t keyLength, const uint8_t* container,
               size_t containerLength, uint32_t* value, uint8_t* plainOut,
               size_t* plainCapacity) {
  if (container == nullptr || containerLength < kSealHeaderSize) return kSealInvalidData;
  // The digest is checked before anything is deciphered, so plainOut is
  // written only for a container that holds. The stream reads the header
  // through a copy: the caller's bytes stay as they were.
  UnsealStream stream(key, keyLength);
  uint32_t headerValue = 0;
  uint64_t payloadLength = 0;
  if (stream.Begin(container, containerLength, &headerValue, &payloadLength) != kSealOk)
    return kSealInvalidData;
  stream.Digest(container + kSealHeaderSize, containerLength - kSealHeaderSize);
  const int32_t verdict = stream.Verify();
  if (verdict == kSealInvalidData) return kSealInvalidData;

  if (value != nullptr) *value = headerValue;
  if (plainCapacity == nullptr) return kSealOk;  // verified only
  const size_t capacity = *plainCapacity;
  *plainCapacity = static_cast<size_t>(payloadLength);
  if (plainOut == nullptr) return kSealOk;  // the caller asked for the length
  if (capacity < payloadLength) return kSealMoreData;
  if (verdict != kSealOk ||
      !stream.Decipher(container + kSealHeaderSize, plainOut, static_cast<size_t>(payloadLength)))
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
