#include "md5_digest.h"

#include <openssl/evp.h>

namespace zorel {

Md5Digest::Md5Digest() : ctx_(EVP_MD_CTX_new()), ok_(false) {
  ok_ = ctx_ != nullptr && EVP_DigestInit_ex(ctx_, EVP_md5(), nullptr) == 1;
}

Md5Digest::~Md5Digest() { EVP_MD_CTX_free(ctx_); }

void Md5Digest::update(const uint8_t* data, size_t length) {
  if (ok_ && length > 0) ok_ = EVP_DigestUpdate(ctx_, data, length) == 1;
}

bool Md5Digest::finish(uint8_t digest[kSize]) {
  unsigned int written = 0;
  if (ok_) ok_ = EVP_DigestFinal_ex(ctx_, digest, &written) == 1 && written == kSize;
  return ok_;
}

}  // namespace zorel
