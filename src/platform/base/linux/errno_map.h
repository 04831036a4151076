#pragma once
// errno to Win32 error code, in one place for the Linux backend.

#include <cstdint>
#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

// An errno without a Windows counterpart becomes ERROR_GEN_FAILURE (31),
// never success. A nonzero result of either function is also stored as the
// thread's last error (setLastError).
WinError win32FromErrno(int err);

// For a failed call on hostPath: ENOENT is ERROR_FILE_NOT_FOUND only when the
// folder above exists, as on Windows; a missing folder on the way (or
// ENOTDIR) is ERROR_PATH_NOT_FOUND; anything else maps as win32FromErrno.
WinError missingFileError(const std::string& hostPath, int err);

}  // namespace zorel::platform::detail
