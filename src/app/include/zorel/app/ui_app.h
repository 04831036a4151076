#pragma once
// `zorel ui`: the program's start-up, run and exit around the window.

#include <string>
#include <vector>

namespace zorel::app {

// Parses args (see kUiUsage), claims the machine's instance lock, registers
// the class for the run, shows the window or performs a registration
// switch, and removes the class registration again. RETURNS the exit code:
// 0; 1 when the window could not be made, a switch failed or the machine
// has no APPDATA; 2 for bad arguments. A refused second start is 0.
int RunUi(const std::vector<std::string>& args);

}  // namespace zorel::app
