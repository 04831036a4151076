// svchost: stands in for the service host the default machine's services
// run in. It hosts nothing: it waits until the service control manager
// ends it (SIGTERM, or SIGINT from a terminal) and exits 0. Its arguments
// ("-k <group>") are accepted and not read.

#include <signal.h>

#include "wintools.h"

namespace zorel::wintools {

int svchostMain(const Args&) {
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGTERM);
  sigaddset(&ending, SIGINT);
  // Blocked, the signals wait for sigwait instead of ending the program
  // with a signal status.
  ::sigprocmask(SIG_BLOCK, &ending, nullptr);
  int received = 0;
  while (::sigwait(&ending, &received) != 0) {
  }
  return 0;
}

}  // namespace zorel::wintools
