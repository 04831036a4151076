#pragma once
// UIManager: decides between online and offline mode, builds the page
// address and has the display show it.

#include <optional>
#include <string>

#include "zorel/app/display_ctrl.h"

namespace zorel::platform {
class IMachine;
}

namespace zorel::app {

class CMessageTranslateImpl;

// The page's Windows path below %APPDATA%.
inline constexpr const wchar_t* kPageBelowAppData = L"\\prynesecurity\\zorel\\Resource\\UI\\en-us\\landing.html";

// The host path of landing.html on the machine; empty when the machine has
// no APPDATA or it does not map to a host folder.
std::string PagePath(platform::IMachine& machine);

// A "file://" URI for an absolute host path, escaped as GLib's
// g_filename_to_uri escapes it (blanks, '#', '%', '?', non-ASCII bytes and
// the like as %XX).
std::string FileUri(const std::string& hostPath);

// The page address: FileUri(pagePath) + "?mode=1" or "?mode=0".
std::string PageAddress(const std::string& pagePath, bool online);

class UIManager {
 public:
  // forcedMode: --online / --offline; unset: the connection test decides.
  UIManager(platform::IMachine& machine, CMessageTranslateImpl& bridge,
            std::optional<bool> forcedMode);

  // Sets the online flag once, registers the Closing callback and has
  // `display` show the page. False on a second call, when the page address
  // cannot be formed, or when the display could not be made.
  bool Show(IDisplayCtrl& display);

  bool online() const { return online_; }
  const std::string& address() const { return address_; }

 private:
  platform::IMachine& machine_;
  CMessageTranslateImpl& bridge_;
  std::optional<bool> forcedMode_;
  IDisplayCtrl* display_ = nullptr;
  bool online_ = false;
  std::string address_;
};

}  // namespace zorel::app
