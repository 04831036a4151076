#pragma once
// The program's class registration in the machine's registry: the
// application-id entries, the UI message class and its type library.
//
// Nothing reads these keys on Linux (the page reaches the message object
// through the window's own bridge); they are written so that the machine
// looks as it does while the program runs, and removed again at exit.

#include <string>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {
class IRegistry;
}

namespace zorel::app {

inline constexpr const wchar_t* kAppId = L"{C4917AA4-5A31-4570-9933-D91560815862}";
inline constexpr const wchar_t* kLibId = L"{712B5C80-C251-46A0-9053-03ED92A9D626}";
inline constexpr const wchar_t* kClassId = L"{728AAD16-0A19-4001-AB75-18C8EAB08359}";
inline constexpr const wchar_t* kHandlerIid = L"{4E4950C9-70C5-4E36-BE68-6035CF1A544F}";
inline constexpr const wchar_t* kEventsIid = L"{0418805D-D527-405F-96A9-3947A76FCF98}";
inline constexpr const wchar_t* kProgId = L"ZorelBrowser.MessageTranslateImpl";
inline constexpr const wchar_t* kProgIdVersioned = L"ZorelBrowser.MessageTranslateImpl.1";

// Where registrations go: HKLM\SOFTWARE\Classes (all users) or
// HKCU\Software\Classes (this user).
enum class RegistrationScope { Machine, User };

class ServerRegistration {
 public:
  // modulePath: the program's Windows path (Z:\...\zorel), unquoted.
  ServerRegistration(platform::IRegistry& registry, std::wstring modulePath);

  // The application-id keys (AppID\{APPID} and AppID\ZorelBrowser.EXE).
  platform::WinError RegisterAppId(RegistrationScope scope);
  // Removes them; the AppID folder stays.
  platform::WinError UnregisterAppId(RegistrationScope scope);

  // The class keys (ProgIDs and CLSID\{CLSID}, which is replaced whole) and
  // the type library with its two interfaces.
  platform::WinError RegisterClass(RegistrationScope scope);
  // Removes the class keys and the type library; the CLSID folder stays.
  // Keys that are not there are no error.
  platform::WinError UnregisterClass(RegistrationScope scope);

  const std::wstring& modulePath() const { return modulePath_; }

 private:
  platform::IRegistry& registry_;
  std::wstring modulePath_;
};

// The Classes key path of a scope, under its root (HKLM or HKCU).
std::wstring ClassesPath(RegistrationScope scope);

}  // namespace zorel::app
