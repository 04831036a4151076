#include <cstdio>

#include "commands.h"

namespace zorel::cli {

// Placeholder until the machine root lands.
int runMachine(const Args&) {
  std::fprintf(stderr, "zorel machine: not available in this build\n");
  return 1;
}

}  // namespace zorel::cli
