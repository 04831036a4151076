#pragma once
// Pieces of the machine backend shared between its files.

#include <string>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
class ISystemInfo;
}

namespace zorel::platform::detail {

// Folder of the named objects' lock files: <root>/run of the machine root
// from the environment (even before the machine exists), else the host's
// temporary folder.
std::string lockFolder();

// Host temporary folder without a machine: $TMPDIR, else /tmp; ends in '/'.
std::string hostFallbackTempFolder();

// Writes what Windows writes at every boot from the hardware: the HARDWARE
// keys (refreshHardwareKeys) and NUMBER_OF_PROCESSORS of the machine's
// environment.
WinError startMachine(IRegistry& registry, const ISystemInfo& system);

// The message file eventcreate registers its sources with: a PE data file
// whose message table formats every id from 1 to 1000 as "%1". The build
// generates it beside zorel-wintools.
inline constexpr const char* kEventCreateMessageFile = "eventcreate_msg.dll";

// Makes reg.exe, regedit.exe, cmd.exe, regsvr32.exe and eventcreate.exe in
// System32 and SysWOW64, and regedit.exe in the Windows folder, names
// (symbolic links) for the zorel-wintools host program, and copies the
// message file beside it into System32; leaves them alone when it cannot
// be found.
void linkSystemTools(const std::string& machineRoot);

// Copies what the program's installer leaves on a machine (the sealed check
// script and the window's page) into a machine being built at machineRoot.
// Missing pieces are skipped.
void installProgramFiles(const std::string& machineRoot);

// Host path of zorel-wintools: $ZOREL_WINTOOLS, beside the running program,
// or where the build put it. Empty when none exists.
std::string wintoolsPath();

}  // namespace zorel::platform::detail
