// The start-up of `zorel ui`, in order:
//  1. the machine (created when the root holds none, so that the instance
//     lock lies in its run folder) and the instance lock; a second start
//     says so and ends with 0;
//  2. the class and type library registered for the run (all users);
//  3. the window and the page;
//  4. a registration switch, performed after the window step, or the main
//     loop until the window's close path ends it;
//  5. the class and type library removed again, from both scopes, whatever
//     way the run ended.

#include "zorel/app/ui_app.h"

#include <cstdio>
#include <filesystem>
#include <optional>

#include "zorel/app/instance.h"
#include "zorel/app/message_translate.h"
#include "zorel/app/registration.h"
#include "zorel/app/ui_manager.h"
#include "zorel/app/ui_options.h"
#include "zorel/app/window_system.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/platform/process/sync.h"

namespace zorel::app {
namespace {

namespace fs = std::filesystem;
using platform::ERROR_ALREADY_EXISTS;
using platform::ERROR_SUCCESS;
using platform::WinError;

// Registers the class for the run and removes it from both scopes when the
// run ends, so a per-user switch cannot leave the all-users keys behind.
class ClassRegistrationForRun {
 public:
  explicit ClassRegistrationForRun(ServerRegistration& registration) : registration_(registration) {
    const WinError e = registration_.RegisterClass(RegistrationScope::Machine);
    if (e != ERROR_SUCCESS) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Class registration failed (error %d)",
                                     static_cast<int>(e));
    }
  }
  ~ClassRegistrationForRun() {
    registration_.UnregisterClass(RegistrationScope::Machine);
    registration_.UnregisterClass(RegistrationScope::User);
  }

 private:
  ServerRegistration& registration_;
};

std::string errorText(WinError e) {
  std::string text = toUtf8(platform::systemErrorMessage(e));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return "error " + std::to_string(e) + (text.empty() ? "" : ": " + text);
}

int performSwitch(ServerRegistration& registration, ServerSwitch which) {
  const RegistrationScope scope = which == ServerSwitch::RegServerPerUser ||
                                          which == ServerSwitch::UnregServerPerUser
                                      ? RegistrationScope::User
                                      : RegistrationScope::Machine;
  WinError e = ERROR_SUCCESS;
  if (which == ServerSwitch::RegServer || which == ServerSwitch::RegServerPerUser) {
    e = registration.RegisterAppId(scope);
    if (e == ERROR_SUCCESS) e = registration.RegisterClass(scope);
  } else {
    e = registration.UnregisterClass(scope);
    if (e == ERROR_SUCCESS) e = registration.UnregisterAppId(scope);
  }
  if (e != ERROR_SUCCESS) {
    std::fprintf(stderr, "zorel ui: the registration failed (%s)\n", errorText(e).c_str());
    return 1;
  }
  return 0;
}

int runClaimed(platform::IMachine& machine, const UiOptions& options,
               std::chrono::steady_clock::time_point start) {
  const std::string page = PagePath(machine);
  if (page.empty() && !options.serverSwitch) {
    std::fprintf(stderr,
                 "zorel ui: the machine has no application-data folder (APPDATA), so there is no "
                 "page to show\n");
    return 1;
  }
  ServerRegistration registration(machine.registry(),
                                  machine.paths().toWindowsPath(platform::currentProgramPath()));
  ClassRegistrationForRun forRun(registration);

  CMessageTranslateImpl bridge(PreInstallCheckSettings::ForMachine(machine));
  WindowSettings settings;
  settings.uiFolder = page.empty() ? std::string() : fs::path(page).parent_path().string() + "/";
  settings.selfTestDir = options.selfTestDir;
  settings.closeDuringRun = options.closeDuringRun;
  settings.programStart = start;
  std::unique_ptr<IWindowSystem> window = CreateWindowSystem(bridge, settings);

  std::string reason;
  bool shown = window->Open(reason);
  if (shown && !page.empty()) {
    std::error_code ec;
    if (!fs::is_regular_file(page, ec)) {
      std::fprintf(stderr, "zorel ui: there is no page at %s (zorel machine init installs it)\n",
                   page.c_str());
    }
    UIManager manager(machine, bridge, options.online);
    shown = manager.Show(window->Display());
    if (!shown) reason = "the window could not be made";
  }
  if (options.serverSwitch) {
    if (shown) window->Dismiss();
    return performSwitch(registration, *options.serverSwitch);
  }
  if (!shown) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"The window could not be created: %s",
                                   fromUtf8(reason).c_str());
    std::fprintf(stderr, "zorel ui: %s\n", reason.c_str());
    return 1;
  }
  return window->Run();
}

}  // namespace

int RunUi(const std::vector<std::string>& args) {
  const auto start = std::chrono::steady_clock::now();
  UiOptions options;
  std::string reason;
  if (!ParseUiOptions(args, options, reason)) {
    std::fprintf(stderr, "zorel ui: %s\n%s", reason.c_str(), kUiUsage);
    return 2;
  }
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) {
    std::fprintf(stderr, "zorel ui: no machine is available (see zorel machine info)\n");
    return 1;
  }
  WinError e = ERROR_SUCCESS;
  std::unique_ptr<platform::INamedInstanceLock> lock = platform::claimNamedInstance(kInstanceName, e);
  if (!lock) {
    if (e != ERROR_ALREADY_EXISTS) {
      std::fprintf(stderr, "zorel ui: cannot claim the instance lock (%s)\n", errorText(e).c_str());
      return 1;
    }
    std::fprintf(stderr, "%s\n", kAlreadyRunning);
    CMessageTranslateImpl unused{PreInstallCheckSettings{}};
    std::unique_ptr<IWindowSystem> window = CreateWindowSystem(unused, WindowSettings{});
    std::string why;
    if (window->Open(why)) window->MessageBox(kWindowTitle, kAlreadyRunning);
    return 0;
  }
  int code = 1;
  try {
    code = runClaimed(*machine, options, start);
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception caught in Zorel UI winmain");
  }
  return code;
}

}  // namespace zorel::app
