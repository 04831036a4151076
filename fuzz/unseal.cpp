// libFuzzer target: any bytes as a sealed container, and any bytes as a
// payload to seal. An input is a key choice, then the bytes:
//   byte 0  0: the default key, 1: the fallback key, n > 1: the next n - 1
//           bytes are the key
// Properties: Unseal never reads or writes outside its buffers; a container
// it accepts deciphers the same through the streaming side, and sealing the
// plain text again with the same key and value gives the container back
// (when it carries the version Seal writes); sealing the bytes as a payload
// and unsealing gives them back; a buffer one byte short is refused with
// ERROR_MORE_DATA and left untouched.

#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "zorel/report/sealed_container.h"
#include "zorel/report/sealed_stream.h"

namespace zorel::fuzz {
namespace {

struct Key {
  const char* data = nullptr;
  int32_t length = 0;
};

Key TakeKey(Parts& parts, std::string& storage) {
  const uint8_t choice = parts.Byte();
  if (choice == 0) return {};
  if (choice == 1) return {"", 0};
  const std::string_view rest = parts.Rest();
  storage.assign(rest.substr(0, choice - 1u));
  Parts skipped = parts;
  for (size_t i = 0; i < storage.size(); ++i) skipped.Byte();
  parts = skipped;
  return {storage.data(), static_cast<int32_t>(storage.size())};
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

void CheckContainer(const Key& key, const std::vector<uint8_t>& container) {
  size_t capacity = 0;
  uint32_t value = 0;
  const int32_t verified = Unseal(key.data, key.length, container.data(), container.size(),
                                  &value, nullptr, &capacity);
  if (verified != kSealOk) return;
  std::vector<uint8_t> plain(capacity + 1, 0xA5);
  size_t length = capacity;
  const int32_t opened = Unseal(key.data, key.length, container.data(), container.size(),
                                &value, plain.data(), &length);
  if (capacity == 0) {
    Require(opened == kUnsealCipherRefused, "an empty payload was deciphered");
    return;
  }
  Require(opened == kSealOk && length == capacity, "a verified container did not open");
  Require(plain[capacity] == 0xA5, "Unseal wrote past the payload");
  plain.resize(capacity);

  if (capacity > 1) {
    std::vector<uint8_t> shortBuffer(capacity - 1, 0x5A);
    size_t shortLength = shortBuffer.size();
    Require(Unseal(key.data, key.length, container.data(), container.size(), nullptr,
                   shortBuffer.data(), &shortLength) == kSealMoreData &&
                shortLength == capacity,
            "a short buffer was not refused with the payload length");
    for (uint8_t b : shortBuffer) Require(b == 0x5A, "a refused buffer was written");
  }

  UnsealStream stream(key.data, key.length);
  uint64_t streamLength = 0;
  Require(stream.Begin(container.data(), container.size(), nullptr, &streamLength) == kSealOk &&
              streamLength == capacity,
          "the stream refused a container Unseal accepted");
  std::vector<uint8_t> streamed(container.begin() + kSealHeaderSize, container.end());
  stream.Digest(streamed.data(), streamed.size());
  // Two slices: the cipher must carry its state across them.
  const size_t half = streamed.size() / 2;
  if (half) stream.Decipher(streamed.data(), streamed.data(), half);
  stream.Decipher(streamed.data() + half, streamed.data() + half, streamed.size() - half);
  Require(stream.Verify() == kSealOk && streamed == plain, "the stream deciphered otherwise");

  uint32_t version = 0;
  std::memcpy(&version, container.data() + 4, 4);
  if (version == kSealVersion) {
    std::vector<uint8_t> again(container.size());
    Require(Seal(key.data, key.length, plain.data(), plain.size(), value, again.data(),
                 again.size()) == kSealOk && again == container,
            "sealing the plain text again gave another container");
  }
}

void CheckPayload(const Key& key, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> sealed(payload.size() + kSealHeaderSize);
  const int32_t status = Seal(key.data, key.length, payload.data(), payload.size(), 0x1234u,
                              sealed.data(), sealed.size());
  if (payload.empty()) {
    Require(status == kSealCipherRefused, "an empty payload was sealed");
    return;
  }
  Require(status == kSealOk, "a payload did not seal");
  std::vector<uint8_t> plain(payload.size());
  size_t length = plain.size();
  uint32_t value = 0;
  Require(Unseal(key.data, key.length, sealed.data(), sealed.size(), &value, plain.data(),
                 &length) == kSealOk &&
              plain == payload && value == 0x1234u,
          "a sealed payload did not come back");
  if (key.length > 0 && key.data) {
    // Another key must not verify silently into the same plain text.
    std::string other(key.data, key.length);
    other[0] = static_cast<char>(other[0] ^ 0x01);
    std::vector<uint8_t> wrong(payload.size());
    size_t wrongLength = wrong.size();
    if (Unseal(other.data(), key.length, sealed.data(), sealed.size(), nullptr, wrong.data(),
               &wrongLength) == kSealOk) {
      Require(wrong != payload || payload.size() < 2, "another key deciphered the payload");
    }
  }
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel::fuzz;
  Parts parts(data, size);
  std::string keyStorage;
  const Key key = TakeKey(parts, keyStorage);
  const std::vector<uint8_t> bytes = Bytes(parts.Rest());
  CheckContainer(key, bytes);
  CheckPayload(key, bytes);
  return 0;
}
