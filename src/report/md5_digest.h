#pragma once
// Incremental MD5 (RFC 1321) through OpenSSL's EVP interface, for the
// container digest. A failed OpenSSL call makes the digest unusable rather
// than wrong: finish() then returns false.

#include <cstddef>
#include <cstdint>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace zorel {

class Md5Digest {
 public:
  static constexpr size_t kSize = 16;

  Md5Digest();
  ~Md5Digest();
  Md5Digest(const Md5Digest&) = delete;
  Md5Digest& operator=(const Md5Digest&) = delete;

  void update(const uint8_t* data, size_t length);
  // Writes the 16-byte digest. RETURNS false when any OpenSSL call failed.
  bool finish(uint8_t digest[kSize]);

 private:
  EVP_MD_CTX* ctx_;
  bool ok_;
};

}  // namespace zorel
