#pragma once
// The sealed container: the envelope of the check script (preinstall.enc) and
// of every request body sent to the report server.
//
// Layout, all integers little-endian:
//   0   4  magic "OVRG" (0x4752564F)
//   4   4  version, 1 (written by Seal, not checked by Unseal)
//   8   4  payload length N (unsigned)
//   12  4  value chosen by the sealer, handed back by Unseal
//   16  16 MD5 of the whole container with these 16 bytes set to zero
//   32  N  enciphered payload, as long as the plain data
// A container is valid only when it is exactly N + 32 bytes long.
//
// The cipher is an RC4 key stream with a running plain-text feedback byte, so
// a payload can only be deciphered from its first byte on. Neither function
// logs, throws or allocates a payload-sized buffer; every failure is a result
// code below. Seal digests a large payload on a second thread while it
// enciphers; sealed_stream.h gives the two sides to callers that move the
// data themselves.

#include <cstddef>
#include <cstdint>

namespace zorel {

// Result codes. 13, 122 and 234 are the Windows error values of the same
// meaning; 6000 and 6001 are the container's own.
inline constexpr int32_t kSealOk = 0;
inline constexpr int32_t kSealInvalidData = 13;         // ERROR_INVALID_DATA
inline constexpr int32_t kSealInsufficientBuffer = 122; // ERROR_INSUFFICIENT_BUFFER
inline constexpr int32_t kSealMoreData = 234;           // ERROR_MORE_DATA
inline constexpr int32_t kSealCipherRefused = 6000;     // Seal: nothing to encipher
inline constexpr int32_t kUnsealCipherRefused = 6001;   // Unseal: nothing to decipher

inline constexpr size_t kSealHeaderSize = 32;
inline constexpr uint32_t kSealMagic = 0x4752564F;  // "OVRG" read little-endian
inline constexpr uint32_t kSealVersion = 1;
// The largest payload: its length must fit the 32-bit length field.
inline constexpr size_t kSealMaxPayload = 0xFFFFFFFFu;

// The two built-in key strings, 38 bytes each, used without a terminator.
// kSealDefaultKey serves a null key pointer; kSealFallbackKey a key pointer
// with a length of 0 or less.
inline constexpr char kSealDefaultKey[] = "{A18F2C7D-3B40-4cde-8E15-B97A60D2F3C4}";
inline constexpr char kSealFallbackKey[] = "{5D2B94A1-C7E0-4F38-A6D4-31E8B0C59A27}";
inline constexpr int32_t kSealKeyLength = 38;
static_assert(sizeof(kSealDefaultKey) == kSealKeyLength + 1);
static_assert(sizeof(kSealFallbackKey) == kSealKeyLength + 1);

// Seals plainLength bytes of `plain` into `out` (plainLength + 32 bytes).
//   key, keyLength  null key: the default key; keyLength <= 0: the fallback
//                   key; otherwise keyLength bytes of key.
//   value           stored in the header for the unsealer.
// plain may be out + 32: the payload is then sealed in place.
// RETURNS 0; 122 when outCapacity < plainLength + 32 (out untouched); 6000
// when plain or out is null, plainLength is 0, or plainLength does not fit
// the 32-bit length field (the header is not written).
int32_t Seal(const char* key, int32_t keyLength, const uint8_t* plain, size_t plainLength,
             uint32_t value, uint8_t* out, size_t outCapacity);

// Verifies `container` and deciphers its payload into `plainOut`.
//   value          optional; receives the header's value once the container
//                  verifies.
//   plainCapacity  optional in/out: on entry the capacity of plainOut, on
//                  return the payload length N. Without it the container is
//                  only verified.
//   plainOut       optional; without it the caller learns N only.
// RETURNS 0; 13 when the container is null, shorter than 32 bytes, its digest
// does not match, its size is not N + 32 or its magic is wrong; 234 when the
// capacity is below N (N is still reported); 6001 when plainOut is given and
// N is 0. The caller's container is never modified (the digest is checked on
// a private copy of the header) and plainOut is written only on success;
// nothing is written after the N plain bytes.
int32_t Unseal(const char* key, int32_t keyLength, const uint8_t* container,
               size_t containerLength, uint32_t* value, uint8_t* plainOut,
               size_t* plainCapacity);

// "ERROR_INVALID_DATA" and friends; empty for codes without a platform name.
const char* SealResultName(int32_t code);
// One line saying what the code means, for messages to people.
const char* SealResultMeaning(int32_t code);

}  // namespace zorel
