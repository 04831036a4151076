#pragma once
// Shared by the program starts of process.h: turning a Windows command line
// into a spawn request (process_linux.cpp), used by createProcess and by the
// detached start of services (detached_start_linux.cpp).

#include <string>

#include "process/linux/spawn_linux.h"
#include "zorel/platform/base/win_error.h"

namespace zorel::platform {
class IMachine;
}

namespace zorel::platform::detail {

// Finds the program of `line` on `machine` as createProcess does and fills
// the request's program, argv and the variables the started program reads
// (ZOREL_MACHINE, its command line). RETURNS ERROR_SUCCESS; 87 for an empty
// line or one with a NUL, 206 past 32767 characters, 2 / 5 / 193 when the
// program cannot be found or run.
WinError prepareProgramStart(IMachine& machine, const std::wstring& line, SpawnRequest* request);

}  // namespace zorel::platform::detail
