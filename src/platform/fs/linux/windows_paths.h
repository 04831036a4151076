#pragma once
// The Windows paths of files.h on the Linux backend: mapped through the
// current machine's paths (paths.h).

#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform::detail {

// The host path of a Windows path of the current machine.
// RETURNS 0; the mapper's code; ERROR_PATH_NOT_FOUND without a machine.
// A failure is also the thread's last error.
WinError mapWindowsPath(std::wstring_view path, std::string& host);

// Whether a host path is what a drive root (C:\, Z:\) maps to.
bool isDriveRoot(const std::string& host);

}  // namespace zorel::platform::detail
