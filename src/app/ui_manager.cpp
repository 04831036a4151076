#include "zorel/app/ui_manager.h"

#include "zorel/app/message_translate.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/report/report_settings.h"
#include "zorel/session/online_flag.h"

namespace zorel::app {

std::string PagePath(platform::IMachine& machine) {
  std::wstring appData;
  std::string host;
  if (machine.environment().getVariable(L"APPDATA", appData) != 0 || appData.empty()) return {};
  if (machine.paths().toHostPath(appData + kPageBelowAppData, host) != 0) return {};
  return host;
}

std::string FileUri(const std::string& hostPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (unsigned char c : hostPath) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       std::string_view("!$&'()*+,-./:=@_~").find(static_cast<char>(c)) !=
                           std::string_view::npos;
    if (plain) {
      uri.push_back(static_cast<char>(c));
    } else {
      uri.push_back('%');
      uri.push_back(kHex[c >> 4]);
      uri.push_back(kHex[c & 15]);
    }
  }
  return uri;
}

std::string PageAddress(const std::string& pagePath, bool online) {
  return FileUri(pagePath) + (online ? "?mode=1" : "?mode=0");
}

UIManager::UIManager(platform::IMachine& machine, CMessageTranslateImpl& bridge,
                     std::optional<bool> forcedMode)
    : machine_(machine), bridge_(bridge), forcedMode_(forcedMode) {}

bool UIManager::Show(IDisplayCtrl& display) {
  if (display_) return false;
  display_ = &display;
  const std::string page = PagePath(machine_);
  if (page.empty()) return false;
  if (forcedMode_) {
    online_ = *forcedMode_;
    if (!online_) {
      FrameworkLog::Instance().Write(LogLevel::Info, L"Internet is not connected, going offline mode");
    }
  } else {
    // Logs the offline line itself.
    online_ = TestInternetConnection(fromUtf8(ReportServerSettings::FromEnvironment().baseAddress));
  }
  SetOnlineFlag(online_);
  address_ = PageAddress(page, online_);
  CMessageTranslateImpl* bridge = &bridge_;
  display.RegisterCallback(DisplayEvent::Closing, [bridge](int) { bridge->CancelIfStarted(); });
  return display.Display(address_);
}

}  // namespace zorel::app
