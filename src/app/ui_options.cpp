#include "zorel/app/ui_options.h"

#include <cctype>

namespace zorel::app {
namespace {

bool sameWord(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && !b[i];
}

}  // namespace

std::optional<ServerSwitch> ParseServerSwitch(const std::string& argument) {
  if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) return std::nullopt;
  const std::string word = argument.substr(1);
  const struct {
    const char* word;
    ServerSwitch value;
  } table[] = {{"RegServer", ServerSwitch::RegServer},
               {"UnregServer", ServerSwitch::UnregServer},
               {"RegServerPerUser", ServerSwitch::RegServerPerUser},
               {"UnregServerPerUser", ServerSwitch::UnregServerPerUser}};
  for (const auto& entry : table) {
    if (sameWord(word, entry.word)) return entry.value;
  }
  return std::nullopt;
}

bool ParseUiOptions(const std::vector<std::string>& args, UiOptions& options, std::string& reason) {
  bool closeDuringRun = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--online" || a == "--offline") {
      options.online = a == "--online";
    } else if (a == "--self-test" && i + 1 < args.size() && !args[i + 1].empty()) {
      options.selfTestDir = args[++i];
    } else if (a == "--close-during-run") {
      closeDuringRun = true;
    } else if (const std::optional<ServerSwitch> s = ParseServerSwitch(a)) {
      if (!options.serverSwitch) options.serverSwitch = s;
    } else {
      reason = "unexpected argument '" + a + "'";
      return false;
    }
  }
  if (closeDuringRun && options.selfTestDir.empty()) {
    reason = "--close-during-run needs --self-test DIR";
    return false;
  }
  options.closeDuringRun = closeDuringRun;
  return true;
}

}  // namespace zorel::app
