#include "zorel/report/sealed_container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "container_test_util.h"
#include "zorel/report/sealed_stream.h"

namespace zorel {
namespace {

using test::Bytes;
using test::le32;
using test::md5Of;
using test::putLe32;
using test::randomBytes;
using test::redigest;

constexpr uint8_t kFill = 0xA5;  // preset into outputs to see what was written

Bytes sealWith(const char* key, int32_t keyLength, const Bytes& plain, uint32_t value) {
  Bytes out(plain.size() + 32);
  EXPECT_EQ(Seal(key, keyLength, plain.data(), plain.size(), value, out.data(), out.size()), kSealOk);
  return out;
}

Bytes seal(const Bytes& plain, uint32_t value = 1) { return sealWith(nullptr, 0, plain, value); }

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Unseals with the default key into a buffer of exactly N bytes.
int32_t unsealAll(const Bytes& c, Bytes* plain, uint32_t* value = nullptr) {
  plain->assign(c.size() >= 32 ? c.size() - 32 : 1, kFill);
  size_t length = plain->size();
  const int32_t rc = Unseal(nullptr, 0, c.data(), c.size(), value, plain->data(), &length);
  if (rc == kSealOk) plain->resize(length);
  return rc;
}

// ---- Seal ------------------------------------------------------------------

TEST(SealTest, FiveBytesGiveA37ByteContainerWithItsHeader) {
  const Bytes plain = text("hello");
  Bytes out(64, kFill);
  ASSERT_EQ(Seal(nullptr, 0, plain.data(), plain.size(), 7, out.data(), out.size()), kSealOk);
  EXPECT_EQ(std::memcmp(out.data(), "OVRG", 4), 0);
  EXPECT_EQ(le32(out, 0), 0x4752564Fu);
  EXPECT_EQ(le32(out, 4), 1u);
  EXPECT_EQ(le32(out, 8), 5u);
  EXPECT_EQ(le32(out, 12), 7u);
  // The digest is the MD5 of the 37 bytes with the digest field zeroed.
  Bytes container(out.begin(), out.begin() + 37);
  const Bytes digest(container.begin() + 16, container.begin() + 32);
  std::memset(container.data() + 16, 0, 16);
  EXPECT_EQ(digest, md5Of(container));
  // The payload is enciphered, and nothing past the container was touched.
  EXPECT_NE(Bytes(out.begin() + 32, out.begin() + 37), plain);
  EXPECT_EQ(Bytes(out.begin() + 37, out.end()), Bytes(27, kFill));
}

TEST(SealTest, CapacityBelowDataPlus32IsRefusedAndOutputUntouched) {
  const Bytes plain = text("hello");
  Bytes out(37, kFill);
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), 5, 1, out.data(), 36), kSealInsufficientBuffer);
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), 5, 1, out.data(), 0), kSealInsufficientBuffer);
  EXPECT_EQ(out, Bytes(37, kFill));
  // Exactly plainLength + 32 is enough.
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), 5, 1, out.data(), 37), kSealOk);
}

TEST(SealTest, HugeLengthCannotWrapAroundTheCapacityCheck) {
  // plainLength + 32 wraps to 15 in size_t; the check must still refuse.
  Bytes plain(16), out(64, kFill);
  const size_t huge = std::numeric_limits<size_t>::max() - 16;
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), huge, 1, out.data(), out.size()), kSealInsufficientBuffer);
  EXPECT_EQ(out, Bytes(64, kFill));
}

TEST(SealTest, PayloadBeyondTheLengthFieldIsRefusedBeforeAnyWrite) {
  // 2^32 bytes cannot be described by the 32-bit length field. The capacity
  // claims are never touched because the call refuses first.
  Bytes plain(16), out(64, kFill);
  const size_t tooLong = size_t{1} << 32;
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), tooLong, 1, out.data(), tooLong + 32), kSealCipherRefused);
  EXPECT_EQ(out, Bytes(64, kFill));
}

TEST(SealTest, NothingToEncipherReturns6000WithoutWritingTheHeader) {
  const Bytes plain = text("abc");
  Bytes out(64, kFill);
  EXPECT_EQ(Seal(nullptr, 0, nullptr, 3, 1, out.data(), out.size()), kSealCipherRefused);
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), 0, 1, out.data(), out.size()), kSealCipherRefused);
  EXPECT_EQ(Seal(nullptr, 0, plain.data(), 3, 1, nullptr, out.size()), kSealCipherRefused);
  EXPECT_EQ(out, Bytes(64, kFill));
}

TEST(SealTest, LargeDataRoundTripsAcrossSliceBoundaries) {
  for (size_t n : {size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{3 * 65536 + 7}}) {
    SCOPED_TRACE(n);
    const Bytes plain = randomBytes(n, static_cast<uint32_t>(n));
    const Bytes c = seal(plain, 0xFFFFFFFFu);
    Bytes back;
    uint32_t value = 0;
    ASSERT_EQ(unsealAll(c, &back, &value), kSealOk);
    EXPECT_EQ(back, plain);
    EXPECT_EQ(value, 0xFFFFFFFFu);
  }
}

// The streams give Seal's bytes and Unseal's verdicts however the payload is
// cut into slices, and sealing in place (plain == out + 32) gives them too.
TEST(SealStreamTest, AnySlicingGivesTheSameContainerAndVerdict) {
  const Bytes plain = randomBytes(3 * 65536 + 13, 99);
  const Bytes expected = seal(plain, 5);
  for (size_t slice : {size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{65536 + 3}}) {
    SCOPED_TRACE(slice);
    SealStream sealer(nullptr, 0, plain.size(), 5);
    Bytes c(plain.size() + 32, kFill);
    for (size_t at = 0; at < plain.size(); at += slice) {
      const size_t n = std::min(slice, plain.size() - at);
      ASSERT_TRUE(sealer.Encipher(plain.data() + at, c.data() + 32 + at, n));
      sealer.Digest(c.data() + 32 + at, n);
    }
    ASSERT_EQ(sealer.Finish(c.data()), kSealOk);
    EXPECT_TRUE(c == expected);

    for (const bool tamper : {false, true}) {
      Bytes t = expected;
      if (tamper) t[32 + plain.size() / 2] ^= 1;
      UnsealStream unsealer(nullptr, 0);
      uint64_t length = 0;
      uint32_t value = 0;
      ASSERT_EQ(unsealer.Begin(t.data(), t.size(), &value, &length), kSealOk);
      ASSERT_EQ(length, plain.size());
      EXPECT_EQ(value, 5u);
      for (size_t at = 0; at < length; at += slice) {
        const size_t n = std::min<size_t>(slice, length - at);
        unsealer.Digest(t.data() + 32 + at, n);
        ASSERT_TRUE(unsealer.Decipher(t.data() + 32 + at, t.data() + 32 + at, n));
      }
      EXPECT_EQ(unsealer.Verify(), tamper ? kSealInvalidData : kSealOk);
      if (!tamper) {
        EXPECT_TRUE(Bytes(t.begin() + 32, t.end()) == plain);
      }
    }
  }
  Bytes inPlace(plain.size() + 32);
  std::copy(plain.begin(), plain.end(), inPlace.begin() + 32);
  ASSERT_EQ(Seal(nullptr, 0, inPlace.data() + 32, plain.size(), 5, inPlace.data(), inPlace.size()),
            kSealOk);
  EXPECT_TRUE(inPlace == expected);
}

TEST(SealStreamTest, UnsealBeginRefusesHeadersNoContainerHas) {
  const Bytes good = seal(text("hello"), 1);
  Bytes badMagic = good;
  badMagic[0] ^= 1;
  struct Case {
    const char* what;
    const Bytes* header;
    uint64_t length;
  } cases[] = {
      {"length below the header", &good, 31},
      {"length not N + 32", &good, good.size() + 1},
      {"wrong magic", &badMagic, good.size()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UnsealStream unsealer(nullptr, 0);
    uint64_t length = 77;
    EXPECT_EQ(unsealer.Begin(c.header->data(), c.length, nullptr, &length), kSealInvalidData);
    EXPECT_EQ(length, 77u);
    EXPECT_FALSE(unsealer.Decipher(good.data(), Bytes(5).data(), 5));
  }
}

// ---- Unseal: lengths and optional outputs -----------------------------------

TEST(UnsealTest, ExactCapacityGivesTheBytesBackAndNothingPastThem) {
  const Bytes c = seal(text("hello"), 7);
  Bytes plain(16, kFill);
  size_t length = 5;
  uint32_t value = 0xdeadbeef;
  ASSERT_EQ(Unseal(nullptr, 0, c.data(), c.size(), &value, plain.data(), &length), kSealOk);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(value, 7u);
  EXPECT_EQ(Bytes(plain.begin(), plain.begin() + 5), text("hello"));
  EXPECT_EQ(Bytes(plain.begin() + 5, plain.end()), Bytes(11, kFill));
}

TEST(UnsealTest, SmallCapacityReturns234AndReportsTheLength) {
  const Bytes c = seal(text("hello"), 7);
  Bytes plain(16, kFill);
  size_t length = 4;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), nullptr, plain.data(), &length), kSealMoreData);
  EXPECT_EQ(length, 5u);
  EXPECT_EQ(plain, Bytes(16, kFill));
}

TEST(UnsealTest, WithoutCapacityOnlyVerifiesAndWithoutBufferReportsTheLength) {
  const Bytes c = seal(text("hello"), 9);
  uint32_t value = 0;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), &value, nullptr, nullptr), kSealOk);
  EXPECT_EQ(value, 9u);
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), nullptr, nullptr, nullptr), kSealOk);
  size_t length = 0;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), nullptr, nullptr, &length), kSealOk);
  EXPECT_EQ(length, 5u);
}

TEST(UnsealTest, EmptyPayloadWithCorrectDigestReturns6001OnlyWhenDecipheringIsAsked) {
  const Bytes c = test::emptyContainer(3);
  Bytes plain(8, kFill);
  size_t length = plain.size();
  uint32_t value = 0;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), &value, plain.data(), &length), kUnsealCipherRefused);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(value, 3u);
  EXPECT_EQ(plain, Bytes(8, kFill));
  length = 99;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), nullptr, nullptr, &length), kSealOk);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), nullptr, nullptr, nullptr), kSealOk);
}

TEST(UnsealTest, LeavesTheCallersContainerUnchanged) {
  const Bytes original = seal(text("keep me"), 2);
  Bytes c = original, plain;
  ASSERT_EQ(unsealAll(c, &plain), kSealOk);
  EXPECT_EQ(c, original);
  c[35] ^= 1;
  const Bytes damaged = c;
  ASSERT_EQ(unsealAll(c, &plain), kSealInvalidData);
  EXPECT_EQ(c, damaged);
}

// ---- Unseal: what makes a container invalid ----------------------------------

// Flips `mask` at position `at` and expects 13 with value and plain untouched.
void expectRejectedAfterFlip(const Bytes& good, size_t at, uint8_t mask) {
  Bytes c = good;
  c[at] ^= mask;
  Bytes plain(good.size(), kFill);
  size_t length = plain.size();
  uint32_t value = 0xdeadbeef;
  EXPECT_EQ(Unseal(nullptr, 0, c.data(), c.size(), &value, plain.data(), &length), kSealInvalidData)
      << "byte " << at << " ^ " << int(mask);
  EXPECT_EQ(value, 0xdeadbeef);
  EXPECT_EQ(length, good.size());
  EXPECT_EQ(plain, Bytes(good.size(), kFill));
}

TEST(UnsealTest, AnySingleByteChangeOfASmallContainerIsRejected) {
  const Bytes good = seal(text("hello"), 7);
  for (size_t at = 0; at < good.size(); ++at)
    for (uint8_t mask : {0x01, 0x80, 0xFF, 0x5A}) expectRejectedAfterFlip(good, at, mask);
}

TEST(UnsealTest, SampledSingleByteChangesOfALargeContainerAreRejected) {
  const Bytes good = seal(randomBytes(1 << 20, 11), 1);
  std::vector<size_t> positions;
  for (size_t at = 0; at < 64; ++at) positions.push_back(at);  // the header and first payload bytes
  for (size_t k = 1; k <= 100; ++k) positions.push_back(k * (good.size() / 101));
  positions.push_back(good.size() - 1);
  for (size_t at : positions) expectRejectedAfterFlip(good, at, 0x01);
}

TEST(UnsealTest, ShortContainersAreInvalid) {
  const Bytes good = seal(text("hello"));
  Bytes plain(64, kFill);
  for (size_t n = 0; n < 32; ++n) {
    size_t length = plain.size();
    EXPECT_EQ(Unseal(nullptr, 0, good.data(), n, nullptr, plain.data(), &length), kSealInvalidData) << n;
    EXPECT_EQ(length, plain.size());
  }
  size_t length = plain.size();
  EXPECT_EQ(Unseal(nullptr, 0, nullptr, 37, nullptr, plain.data(), &length), kSealInvalidData);
  EXPECT_EQ(plain, Bytes(64, kFill));
}

TEST(UnsealTest, TruncatedOrOversizedContainersAreInvalidEvenWithACorrectDigest) {
  const Bytes good = seal(text("hello world"));
  Bytes plain;
  Bytes cut(good.begin(), good.end() - 1);  // length field says 11, 10 bytes follow
  EXPECT_EQ(unsealAll(cut, &plain), kSealInvalidData);
  redigest(cut);
  EXPECT_EQ(unsealAll(cut, &plain), kSealInvalidData);
  Bytes longer = good;  // one byte of trailing data
  longer.push_back(0);
  EXPECT_EQ(unsealAll(longer, &plain), kSealInvalidData);
  redigest(longer);
  EXPECT_EQ(unsealAll(longer, &plain), kSealInvalidData);
  Bytes lying = good;  // length field far beyond the data
  putLe32(lying, 8, 0xFFFFFFFFu);
  redigest(lying);
  EXPECT_EQ(unsealAll(lying, &plain), kSealInvalidData);
}

TEST(UnsealTest, WrongMagicIsInvalidButAnyVersionIsAccepted) {
  const Bytes good = seal(text("hello"), 7);
  Bytes magic = good;
  magic[3] = 'H';
  redigest(magic);
  Bytes plain;
  EXPECT_EQ(unsealAll(magic, &plain), kSealInvalidData);
  for (uint32_t version : {0u, 2u, 0xFFFFFFFFu}) {
    Bytes c = good;
    putLe32(c, 4, version);
    redigest(c);
    ASSERT_EQ(unsealAll(c, &plain), kSealOk) << version;
    EXPECT_EQ(plain, text("hello"));
  }
}

TEST(UnsealTest, GarbageNeverPassesAndNeverCrashes) {
  Bytes plain(5000, kFill);
  for (uint32_t seed = 0; seed < 500; ++seed) {
    Bytes junk = randomBytes(seed * 7 % 4000, seed);
    if (seed % 3 == 0 && junk.size() >= 32) std::memcpy(junk.data(), "OVRG", 4);
    size_t length = plain.size();
    EXPECT_EQ(Unseal(nullptr, 0, junk.data(), junk.size(), nullptr, plain.data(), &length), kSealInvalidData);
  }
  EXPECT_EQ(plain, Bytes(5000, kFill));
}

// ---- Keys ----------------------------------------------------------------------

TEST(SealKeyTest, NullKeyAndZeroLengthKeyUseDifferentKeys) {
  const Bytes plain = text("the same plain text");
  const Bytes byNull = sealWith(nullptr, 0, plain, 1);
  const Bytes byEmpty = sealWith("ignored", 0, plain, 1);
  EXPECT_NE(Bytes(byNull.begin() + 32, byNull.end()), Bytes(byEmpty.begin() + 32, byEmpty.end()));
  // The digest does not depend on the key: the wrong key verifies but yields other bytes.
  Bytes out(plain.size(), kFill);
  size_t length = out.size();
  EXPECT_EQ(Unseal("x", 0, byNull.data(), byNull.size(), nullptr, out.data(), &length), kSealOk);
  EXPECT_NE(out, plain);
  EXPECT_EQ(Unseal("x", -5, byEmpty.data(), byEmpty.size(), nullptr, out.data(), &length), kSealOk);
  EXPECT_EQ(out, plain);
}

TEST(SealKeyTest, BuiltInKeysAreTheTwoKeyStrings) {
  const Bytes plain = text("key check");
  EXPECT_EQ(sealWith(kSealDefaultKey, 38, plain, 1), sealWith(nullptr, 123, plain, 1));
  EXPECT_EQ(sealWith(kSealFallbackKey, 38, plain, 1), sealWith("anything", -1, plain, 1));
  EXPECT_EQ(std::string(kSealDefaultKey), "{A18F2C7D-3B40-4cde-8E15-B97A60D2F3C4}");
  EXPECT_EQ(std::string(kSealFallbackKey), "{5D2B94A1-C7E0-4F38-A6D4-31E8B0C59A27}");
}

TEST(SealKeyTest, CallerKeyUsesExactlyKeyLengthBytes) {
  const Bytes plain = text("caller key");
  const Bytes ab = sealWith("ab", 2, plain, 1);
  EXPECT_EQ(sealWith("abc", 2, plain, 1), ab);
  EXPECT_NE(sealWith("abc", 3, plain, 1), ab);
  // Letter case matters.
  EXPECT_NE(sealWith("AB", 2, plain, 1), ab);
  Bytes out(plain.size());
  size_t length = out.size();
  ASSERT_EQ(Unseal("abz", 2, ab.data(), ab.size(), nullptr, out.data(), &length), kSealOk);
  EXPECT_EQ(out, plain);
}

}  // namespace
}  // namespace zorel
