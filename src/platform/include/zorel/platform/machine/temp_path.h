#pragma once
// The account's temporary folder.
//
// Windows: GetTempPathW.
// Linux emulation: the machine root's TEMP folder once a machine is in use;
// before that, $TMPDIR, else /tmp.

#include <string>

namespace zorel::platform {

// Host path of the temporary folder, ending in '/'. Empty when none can be had.
std::string hostTempFolder();

}  // namespace zorel::platform
