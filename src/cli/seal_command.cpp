#include <cstdio>

#include "commands.h"

namespace zorel::cli {

// Placeholder until the sealed container lands.
int runSeal(const Args&) {
  std::fprintf(stderr, "zorel seal: not available in this build\n");
  return 1;
}

int runUnseal(const Args&) {
  std::fprintf(stderr, "zorel unseal: not available in this build\n");
  return 1;
}

}  // namespace zorel::cli
