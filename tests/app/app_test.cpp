// The application layer without a window: switch words and arguments, the
// registration keys on a temporary machine, page addresses, the bridge's
// value rules, and the display events UIManager relies on.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "../platform/machine/temp_machine.h"
#include "zorel/app/display_ctrl.h"
#include "zorel/app/message_translate.h"
#include "zorel/app/registration.h"
#include "zorel/app/ui_manager.h"
#include "zorel/app/ui_options.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::testing {
namespace {

using app::ServerSwitch;
using namespace zorel::platform;

TEST(UiArguments, SwitchWordsAndOptions) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    std::optional<ServerSwitch> expected;
  } cases[] = {
      {{"/RegServer"}, true, ServerSwitch::RegServer},
      {{"-UNREGSERVER"}, true, ServerSwitch::UnregServer},
      {{"-regserverperuser"}, true, ServerSwitch::RegServerPerUser},
      {{"/UnregServerPerUser"}, true, ServerSwitch::UnregServerPerUser},
      {{"/unregserver", "/regserver"}, true, ServerSwitch::UnregServer},  // the first decides
      {{"--offline", "-RegServer", "--online"}, true, ServerSwitch::RegServer},
      {{"/x/unregserver"}, false, std::nullopt},  // a host path, not a switch
      {{"--regserver"}, false, std::nullopt},
      {{"/RegServerX"}, false, std::nullopt},
      {{"/Reg Server"}, false, std::nullopt},
      {{"-"}, false, std::nullopt},
      {{"/"}, false, std::nullopt},
      {{"--self-test"}, false, std::nullopt},            // no folder
      {{"--close-during-run"}, false, std::nullopt},     // only with --self-test
      {{"--self-test", "d", "--close-during-run"}, true, std::nullopt},
      {{}, true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    app::UiOptions options;
    std::string reason;
    EXPECT_EQ(app::ParseUiOptions(c.args, options, reason), c.ok) << reason;
    if (c.ok) {
      EXPECT_EQ(options.serverSwitch, c.expected);
    }
    if (!c.ok) {
      EXPECT_FALSE(reason.empty());
    }
  }
}

std::wstring text(IRegistry& registry, RegKey root, const std::wstring& key, const std::wstring& name = L"") {
  std::wstring value;
  return readString(registry, root, key, name, &value) == 0 ? value : L"<missing>";
}

bool exists(IRegistry& registry, RegKey root, const std::wstring& key) {
  RegKey k = kRegNoKey;
  if (registry.openKey(root, key, 0, KEY_READ, &k) != 0) return false;
  registry.closeKey(k);
  return true;
}

// Every key and value the class registration writes, in each scope, and
// what its removal leaves.
TEST(Registration, ClassAndApplicationIdKeysInEachScope) {
  TempMachine machine;
  IRegistry& registry = machine->registry();
  const std::wstring module = L"Z:\\opt\\it's here\\zorel";
  app::ServerRegistration registration(registry, module);
  const struct {
    app::RegistrationScope scope;
    RegKey root;
    RegKey other;
    std::wstring classes;
  } scopes[] = {{app::RegistrationScope::Machine, kHkeyLocalMachine, kHkeyCurrentUser, L"SOFTWARE\\Classes\\"},
                {app::RegistrationScope::User, kHkeyCurrentUser, kHkeyLocalMachine, L"Software\\Classes\\"}};
  const std::wstring clsid = L"CLSID\\{728AAD16-0A19-4001-AB75-18C8EAB08359}";
  const std::wstring lib = L"TypeLib\\{712B5C80-C251-46A0-9053-03ED92A9D626}";
  for (const auto& s : scopes) {
    SCOPED_TRACE(s.classes.size());
    const std::wstring& c = s.classes;
    ASSERT_EQ(registration.RegisterClass(s.scope), 0);
    ASSERT_EQ(registration.RegisterAppId(s.scope), 0);
    const std::map<std::pair<std::wstring, std::wstring>, std::wstring> expected = {
        {{L"ZorelBrowser.MessageTranslateImpl.1", L""}, L"MessageTranslateImpl Class"},
        {{L"ZorelBrowser.MessageTranslateImpl.1\\CLSID", L""}, L"{728AAD16-0A19-4001-AB75-18C8EAB08359}"},
        {{L"ZorelBrowser.MessageTranslateImpl\\CurVer", L""}, L"ZorelBrowser.MessageTranslateImpl.1"},
        {{clsid, L"AppID"}, L"{C4917AA4-5A31-4570-9933-D91560815862}"},
        {{clsid, L"LocalizedString"}, L"@" + module + L",-113"},
        {{clsid + L"\\LocalServer32", L""}, L"\"" + module + L"\""},
        {{clsid + L"\\VersionIndependentProgID", L""}, L"ZorelBrowser.MessageTranslateImpl"},
        {{clsid + L"\\TypeLib", L""}, L"{712B5C80-C251-46A0-9053-03ED92A9D626}"},
        {{lib + L"\\1.0", L""}, L"Zorel Message Handler 1.0"},
        {{lib + L"\\1.0\\0\\win64", L""}, module},
        {{lib + L"\\1.0\\FLAGS", L""}, L"0"},
        {{lib + L"\\1.0\\HELPDIR", L""}, L"Z:\\opt\\it's here"},
        {{L"Interface\\{4E4950C9-70C5-4E36-BE68-6035CF1A544F}\\ProxyStubClsid32", L""},
         L"{00020424-0000-0000-C000-000000000046}"},
        {{L"Interface\\{0418805D-D527-405F-96A9-3947A76FCF98}\\ProxyStubClsid32", L""},
         L"{00020420-0000-0000-C000-000000000046}"},
        {{L"Interface\\{0418805D-D527-405F-96A9-3947A76FCF98}\\TypeLib", L"Version"}, L"1.0"},
        {{L"AppID\\{C4917AA4-5A31-4570-9933-D91560815862}", L""}, L"ZorelBrowser"},
        {{L"AppID\\ZorelBrowser.EXE", L"AppID"}, L"{C4917AA4-5A31-4570-9933-D91560815862}"},
    };
    for (const auto& [where, value] : expected) {
      EXPECT_EQ(text(registry, s.root, c + where.first, where.second), value) << std::string(where.first.begin(), where.first.end());
      EXPECT_FALSE(exists(registry, s.other, (s.root == kHkeyLocalMachine ? L"Software\\Classes\\" : L"SOFTWARE\\Classes\\") + where.first));
    }
    uint32_t elevation = 0;
    EXPECT_EQ(readDword(registry, s.root, c + clsid + L"\\Elevation", L"Enabled", &elevation), 0);
    EXPECT_EQ(elevation, 1u);
    EXPECT_TRUE(exists(registry, s.root, c + clsid + L"\\Programmable"));

    // Registering again replaces the class key: a stray subkey goes.
    ASSERT_EQ(writeValueAt(registry, s.root, c + clsid + L"\\Stray", L"", REG_SZ, regSz(L"x")), 0);
    ASSERT_EQ(registration.RegisterClass(s.scope), 0);
    EXPECT_FALSE(exists(registry, s.root, c + clsid + L"\\Stray"));

    ASSERT_EQ(registration.UnregisterClass(s.scope), 0);
    ASSERT_EQ(registration.UnregisterClass(s.scope), 0);  // nothing there: no error
    for (const wchar_t* gone : {L"ZorelBrowser.MessageTranslateImpl", L"ZorelBrowser.MessageTranslateImpl.1",
                                L"CLSID\\{728AAD16-0A19-4001-AB75-18C8EAB08359}",
                                L"TypeLib\\{712B5C80-C251-46A0-9053-03ED92A9D626}",
                                L"Interface\\{4E4950C9-70C5-4E36-BE68-6035CF1A544F}"}) {
      EXPECT_FALSE(exists(registry, s.root, c + gone));
    }
    EXPECT_TRUE(exists(registry, s.root, c + L"CLSID"));
    EXPECT_TRUE(exists(registry, s.root, c + L"AppID\\ZorelBrowser.EXE"));
    ASSERT_EQ(registration.UnregisterAppId(s.scope), 0);
    EXPECT_FALSE(exists(registry, s.root, c + L"AppID\\ZorelBrowser.EXE"));
    EXPECT_TRUE(exists(registry, s.root, c + L"AppID"));
  }
}

TEST(PageAddress, EscapesTheHostPathAsAFileUri) {
  const struct {
    std::string path;
    bool online;
    std::string expected;
  } cases[] = {
      {"/m/landing.html", true, "file:///m/landing.html?mode=1"},
      {"/m/landing.html", false, "file:///m/landing.html?mode=0"},
      {"/a b/#1/%41/landing.html", false, "file:///a%20b/%231/%2541/landing.html?mode=0"},
      {"/r\xc3\xa9sum\xc3\xa9/x?y;z.html", true, "file:///r%C3%A9sum%C3%A9/x%3Fy%3Bz.html?mode=1"},
      {"/k/it's (1)+[2]~!$&*,=:@_-.html", true, "file:///k/it's%20(1)+%5B2%5D~!$&*,=:@_-.html?mode=1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(app::PageAddress(c.path, c.online), c.expected);
  }
}

TEST(BridgeValues, StringsPassNullIsEmptyOthersAreRefused) {
  using K = app::BridgeValueKind;
  const struct {
    K kind;
    std::string text;
    std::optional<std::string> expected;
  } cases[] = {
      {K::String, "{\"operationid\":1}", "{\"operationid\":1}"},
      {K::String, "", ""},
      {K::String, std::string("a\0b", 3), std::string("a\0b", 3)},
      {K::Null, "ignored", ""},
      {K::Undefined, "", ""},
      {K::Other, "5", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(app::BridgeRequestText(c.kind, c.text), c.expected);
}

class FakeDisplay : public app::IDisplayCtrl {
 public:
  bool Display(const std::string& url) override {
    url_ = url;
    return true;
  }
  bool RegisterCallback(app::DisplayEvent id, app::DisplayCallback function) override {
    return callbacks_.Register(id, std::move(function));
  }
  app::DisplayCallbacks callbacks_;
  std::string url_;
};

// Closing raises the controller's cancel only when the page made it: a
// window closed before any request creates none. Callbacks: the first
// registration wins, and one may register another while being raised.
TEST(DisplayEvents, ClosingCancelsOnlyAnExistingController) {
  TempMachine machine;
  app::CMessageTranslateImpl bridge(PreInstallCheckSettings::ForMachine(*machine));
  FakeDisplay display;
  app::UIManager manager(*machine, bridge, false);
  ASSERT_TRUE(manager.Show(display));
  EXPECT_FALSE(manager.Show(display)) << "a second Show";
  EXPECT_THAT(display.url_, ::testing::EndsWith("/Resource/UI/en-us/landing.html?mode=0"));
  EXPECT_THAT(display.url_, ::testing::StartsWith("file:///"));

  int closings = 0;
  EXPECT_FALSE(display.RegisterCallback(app::DisplayEvent::Closing, [&](int) { ++closings; }));
  display.callbacks_.Raise(app::DisplayEvent::Closing);
  EXPECT_EQ(closings, 0) << "the first registration stays";
  EXPECT_FALSE(bridge.HasController());

  EXPECT_EQ(bridge.ProcessJSON(""), "");
  EXPECT_TRUE(bridge.HasController());
  display.callbacks_.Raise(app::DisplayEvent::Closing);  // cancels: nothing runs, no effect

  int completes = 0;
  display.RegisterCallback(app::DisplayEvent::DocumentComplete, [&](int argument) {
    EXPECT_EQ(argument, 0);
    ++completes;
    display.RegisterCallback(app::DisplayEvent::DocumentComplete, [&](int) { completes += 100; });
  });
  display.callbacks_.Raise(app::DisplayEvent::DocumentComplete);
  display.callbacks_.Raise(app::DisplayEvent::DocumentComplete);
  EXPECT_EQ(completes, 2);
}

}  // namespace
}  // namespace zorel::testing
