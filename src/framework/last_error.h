#pragma once
// The thread's last system error code for the framework's "Exception
// occured ..." log lines (GetLastError on Windows): the code of the latest
// platform call that failed on this thread, 0 when none has.

#include <cstdint>

#include "zorel/platform/base/win_error.h"

namespace zorel {

inline int32_t LastSystemError() { return platform::getLastError(); }

}  // namespace zorel
