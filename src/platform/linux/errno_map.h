#pragma once
// errno to Win32 error code, in one place for the Linux backend.

#include <cstdint>

#include "zorel/platform/win_error.h"

namespace zorel::platform::detail {

// An errno without a Windows counterpart becomes ERROR_GEN_FAILURE (31),
// never success.
WinError win32FromErrno(int err);

}  // namespace zorel::platform::detail
