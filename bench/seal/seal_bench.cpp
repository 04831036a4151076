// Throughput of Seal and Unseal on a 64 MiB buffer, next to the two parts
// they are made of, each alone on the same buffer: MD5 and the cipher loop.
// Seal digests on a second thread while it enciphers, so on an idle machine
// it takes about as long as the cipher alone; Unseal verifies before it
// deciphers, so it takes about their sum.
//
//   seal_bench [MIB] [ROUNDS]     defaults: 64 MiB, best of 5 rounds

#include <openssl/evp.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sealed_cipher.h"
#include "zorel/report/sealed_container.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best wall-clock and best processor time over `rounds` runs. Processor time
// is the steadier figure on a machine that is busy with other work.
struct Timing {
  double wall = 1e30;
  double cpu = 1e30;
};

template <typename F>
Timing best(int rounds, F&& body) {
  Timing t;
  for (int r = 0; r < rounds; ++r) {
    const auto w0 = Clock::now();
    const std::clock_t c0 = std::clock();
    body();
    const double cpu = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(Clock::now() - w0).count();
    if (wall < t.wall) t.wall = wall;
    if (cpu > 0 && cpu < t.cpu) t.cpu = cpu;
  }
  return t;
}

void print(const char* what, double mib, const Timing& t, const Timing* md5) {
  std::printf("%-10s wall %8.1f MiB/s   cpu %8.1f MiB/s", what, mib / t.wall, mib / t.cpu);
  if (md5) std::printf("   (%.2f / %.2f of md5)", md5->wall / t.wall, md5->cpu / t.cpu);
  std::printf("\n");
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
  const Timing md5 = best(rounds, [&] { EVP_Digest(plain.data(), size, digest, &n, EVP_md5(), nullptr); });
  std::vector<uint8_t> enciphered(size);
  const Timing cipher = best(rounds, [&] {
    zorel::SealCipher loop(reinterpret_cast<const uint8_t*>(zorel::kSealDefaultKey),
                           zorel::kSealKeyLength);
    loop.Encipher(plain.data(), enciphered.data(), size);
  });
  int32_t rc = 0;
  const Timing seal = best(rounds, [&] {
    rc |= zorel::Seal(nullptr, 0, plain.data(), size, 1, sealed.data(), sealed.size());
  });
  const Timing unseal = best(rounds, [&] {
    size_t length = back.size();
    rc |= zorel::Unseal(nullptr, 0, sealed.data(), sealed.size(), nullptr, back.data(), &length);
  });
  if (rc != 0 || back != plain) {
    std::fprintf(stderr, "seal_bench: round trip failed (result %d)\n", rc);
    return 1;
  }

  const double m = static_cast<double>(size) / (1 << 20);
  std::printf("buffer: %zu MiB, best of %d rounds\n", mib, rounds);
  print("md5 alone", m, md5, nullptr);
  print("cipher", m, cipher, &md5);
  print("seal", m, seal, &md5);
  print("unseal", m, unseal, &md5);
  return 0;
}
