#pragma once
// The command line of `zorel ui`.

#include <optional>
#include <string>
#include <vector>

namespace zorel::app {

enum class ServerSwitch { RegServer, UnregServer, RegServerPerUser, UnregServerPerUser };

// A whole argument "-" or "/" followed by one of the switch words, in any
// case. Only the whole argument counts: a host path such as /x/regserver
// is no switch.
std::optional<ServerSwitch> ParseServerSwitch(const std::string& argument);

struct UiOptions {
  std::optional<bool> online;    // --online / --offline; unset: test the connection
  std::string selfTestDir;       // --self-test DIR
  bool closeDuringRun = false;   // --close-during-run (with --self-test)
  std::optional<ServerSwitch> serverSwitch;  // the first switch given
};

inline constexpr const char* kUiUsage =
    "usage: zorel ui [--online | --offline] [--self-test DIR [--close-during-run]] [SWITCH]\n"
    "  SWITCH: -RegServer, -UnregServer, -RegServerPerUser or -UnregServerPerUser ('/' also)\n";

// False with a reason for any argument that is neither an option nor a switch.
bool ParseUiOptions(const std::vector<std::string>& args, UiOptions& options, std::string& reason);

}  // namespace zorel::app
