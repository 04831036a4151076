#pragma once
// The thread's last system error code for the framework's "Exception
// occured ..." log lines (GetLastError on Windows).

#include <cstdint>

namespace zorel {

// The platform layer reports errors by return value and keeps no per-thread
// last error yet, so there is nothing truthful to show beyond 0.
inline int32_t LastSystemError() { return 0; }

}  // namespace zorel
