// The session pages' view token.

#include "view_token.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <fstream>
#include <sstream>

#include "server_options.h"

namespace zorel::reportserver {
namespace {

bool sameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

bool loadViewToken(const std::string& dataDir, const std::string& given, std::string& token,
                   bool& generated, std::string& error) {
  generated = false;
  if (!given.empty()) {
    token = given;
    return true;
  }
  const std::string path = dataDir + "/view.token";
  std::ifstream in(path, std::ios::binary);
  if (in) {
    std::ostringstream text;
    text << in.rdbuf();
    token = text.str();
    while (!token.empty() && std::isspace(static_cast<unsigned char>(token.back()))) token.pop_back();
    if (!isUsableViewToken(token)) {
      error = path + " holds no usable view token";
      return false;
    }
    ::chmod(path.c_str(), 0600);
    return true;
  }
  unsigned char bytes[24];
  if (RAND_bytes(bytes, sizeof bytes) != 1) {
    error = "no random bytes for a view token";
    return false;
  }
  static const char kHex[] = "0123456789abcdef";
  token.clear();
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 0xf];
  }
  // Created owner-only from the start, never widened and narrowed after.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot create " + path;
    return false;
  }
  const std::string line = token + "\n";
  const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  if (::close(fd) != 0 || !written) {
    ::unlink(path.c_str());
    error = "cannot write " + path;
    return false;
  }
  generated = true;
  return true;
}

bool requestCarriesToken(const std::string& token, const std::string& authorization,
                         const std::string* queryToken) {
  if (queryToken && sameText(*queryToken, token)) return true;
  // The scheme is case-insensitive; one or more blanks follow it.
  if (authorization.size() < 7) return false;
  std::string scheme = authorization.substr(0, 6);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme != "bearer" || authorization[6] != ' ') return false;
  size_t at = 6;
  while (at < authorization.size() && authorization[at] == ' ') ++at;
  return sameText(authorization.substr(at), token);
}

}  // namespace zorel::reportserver
