#pragma once
// The framework worker process's side: serves the requests of a
// WorkerFrameworkLib with one FrameworkLib until told to quit or until the
// controller's end of the channel closes.

#include "zorel/platform/process/child_process.h"

namespace zorel {

// RETURNS the process exit code, 0, after "quit" or once the channel closes
// (or carries a broken message). Exits the process at once when the channel closes while
// a call still runs (the controller has gone; nobody waits for the answer).
int RunFrameworkWorker(platform::IMessageChannel& channel);

}  // namespace zorel
