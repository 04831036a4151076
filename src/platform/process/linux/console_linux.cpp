// Ctrl-C as a flag, and terminal detection.

#include "zorel/platform/process/console.h"

#include <signal.h>
#include <unistd.h>

namespace zorel::platform {
namespace {

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

}  // namespace

void installInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() { return interrupted != 0; }

void ignoreInterrupts() { ::signal(SIGINT, SIG_IGN); }

bool streamIsTerminal(int stream) {
  return stream >= 0 && stream <= 2 && ::isatty(stream) == 1;
}

}  // namespace zorel::platform
