// Self-signed certificate generation through OpenSSL's key and X.509 APIs.

#include "self_signed.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace zorel::reportserver {

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct FileClose {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string openSslError(const char* what) {
  char text[256] = {};
  ERR_error_string_n(ERR_get_error(), text, sizeof(text));
  return std::string(what) + ": " + text;
}

bool addExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (!ext) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// Writes through a temporary file renamed into place, so a half-written PEM
// is never read by a later start.
template <typename Writer>
bool writePem(const std::string& path, bool privateFile, Writer write, std::string& error) {
  const std::string temp = path + ".tmp";
  std::unique_ptr<std::FILE, FileClose> f(std::fopen(temp.c_str(), "wb"));
  if (!f) {
    error = "cannot write " + temp;
    return false;
  }
  if (privateFile) {
    std::filesystem::permissions(temp, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write);
  }
  if (!write(f.get())) {
    error = openSslError(("cannot encode " + path).c_str());
    return false;
  }
  f.reset();
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    error = "cannot rename " + temp + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool ensureSelfSignedCertificate(const std::string& certFile, const std::string& keyFile,
                                 std::string& error) {
  std::error_code ec;
  if (std::filesystem::exists(certFile, ec) && std::filesystem::exists(keyFile, ec)) return true;

  std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_EC_gen("P-256"));
  if (!key) {
    error = openSslError("key generation failed");
    return false;
  }
  std::unique_ptr<X509, X509Free> cert(X509_new());
  if (!cert) {
    error = openSslError("X509_new failed");
    return false;
  }
  X509* x = cert.get();
  bool ok = X509_set_version(x, 2) == 1;  // version 3
  ok = ok && ASN1_INTEGER_set(X509_get_serialNumber(x), 1) == 1;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(x), -3600) != nullptr;
  ok = ok && X509_gmtime_adj(X509_getm_notAfter(x), 10L * 365 * 24 * 3600) != nullptr;
  ok = ok && X509_set_pubkey(x, key.get()) == 1;
  X509_NAME* name = X509_get_subject_name(x);
  ok = ok && X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                        reinterpret_cast<const unsigned char*>("zorel test"),
                                        -1, -1, 0) == 1;
  ok = ok && X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                        reinterpret_cast<const unsigned char*>("localhost"),
                                        -1, -1, 0) == 1;
  ok = ok && X509_set_issuer_name(x, name) == 1;
  // Its own trust anchor: a CA certificate that also serves TLS.
  ok = ok && addExtension(x, NID_basic_constraints, "critical,CA:TRUE");
  ok = ok && addExtension(x, NID_key_usage, "critical,digitalSignature,keyCertSign");
  ok = ok && addExtension(x, NID_ext_key_usage, "serverAuth");
  ok = ok && addExtension(x, NID_subject_key_identifier, "hash");
  ok = ok && addExtension(x, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1");
  ok = ok && X509_sign(x, key.get(), EVP_sha256()) > 0;
  if (!ok) {
    error = openSslError("certificate creation failed");
    return false;
  }
  return writePem(keyFile, true,
                  [&](std::FILE* f) {
                    return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr,
                                                nullptr) == 1;
                  },
                  error) &&
         writePem(certFile, false, [&](std::FILE* f) { return PEM_write_X509(f, x) == 1; },
                  error);
}

}  // namespace zorel::reportserver
