// Throughput of Seal and Unseal on a 64 MiB buffer, next to MD5 alone on the
// same buffer, which bounds both: each has to hash every byte once and
// Unseal must verify before it deciphers.
//
//   seal_bench [MIB] [ROUNDS]     defaults: 64 MiB, best of 5 rounds

#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zorel/report/sealed_container.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double bestSeconds(int rounds, F&& body) {
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto t0 = Clock::now();
    body();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (mib == 0 || mib > 4095 || rounds <= 0) {
    std::fprintf(stderr, "usage: seal_bench [MIB 1..4095] [ROUNDS]\n");
    return 1;
  }
  const size_t size = mib << 20;
  std::vector<uint8_t> plain(size), sealed(size + zorel::kSealHeaderSize), back(size);
  uint64_t x = 0x243F6A8885A308D3ull;
  for (auto& b : plain) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    b = static_cast<uint8_t>(x >> 32);
  }

  unsigned char digest[16];
  unsigned int n = 0;
  const double md5 = bestSeconds(rounds, [&] { EVP_Digest(plain.data(), size, digest, &n, EVP_md5(), nullptr); });
  int32_t rc = 0;
  const double seal = bestSeconds(rounds, [&] {
    rc |= zorel::Seal(nullptr, 0, plain.data(), size, 1, sealed.data(), sealed.size());
  });
  const double unseal = bestSeconds(rounds, [&] {
    size_t length = back.size();
    rc |= zorel::Unseal(nullptr, 0, sealed.data(), sealed.size(), nullptr, back.data(), &length);
  });
  if (rc != 0 || back != plain) {
    std::fprintf(stderr, "seal_bench: round trip failed (result %d)\n", rc);
    return 1;
  }

  const double m = static_cast<double>(size) / (1 << 20);
  std::printf("buffer: %zu MiB, best of %d rounds\n", mib, rounds);
  std::printf("md5 alone: %8.1f MiB/s\n", m / md5);
  std::printf("seal:      %8.1f MiB/s  (%.2f of md5)\n", m / seal, md5 / seal);
  std::printf("unseal:    %8.1f MiB/s  (%.2f of md5)\n", m / unseal, md5 / unseal);
  return 0;
}
