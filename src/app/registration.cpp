// The registration keys, written as the program's registry scripts list
// them. Values hold the module path as it is; quoting is only added where a
// command line is stored (LocalServer32).

#include "zorel/app/registration.h"

#include <initializer_list>

#include "zorel/platform/registry/registry.h"

namespace zorel::app {
namespace {

using namespace zorel::platform;

constexpr const wchar_t* kClassName = L"MessageTranslateImpl Class";
constexpr const wchar_t* kProjectName = L"ZorelBrowser";
constexpr const wchar_t* kModuleName = L"ZorelBrowser.EXE";
constexpr const wchar_t* kTypeLibName = L"Zorel Message Handler 1.0";
constexpr const wchar_t* kDualProxy = L"{00020424-0000-0000-C000-000000000046}";
constexpr const wchar_t* kDispProxy = L"{00020420-0000-0000-C000-000000000046}";

RegKey rootOf(RegistrationScope scope) {
  return scope == RegistrationScope::Machine ? kHkeyLocalMachine : kHkeyCurrentUser;
}

// Collects the first failure of a sequence of writes.
// One transaction for the whole sequence: a dozen keys cost one write.
class Writer {
 public:
  Writer(IRegistry& registry, RegistrationScope scope)
      : registry_(registry), root_(rootOf(scope)), classes_(ClassesPath(scope)),
        batch_(registry.beginBatch() == ERROR_SUCCESS) {}
  ~Writer() {
    if (batch_) registry_.commitBatch();
  }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void Text(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    Keep(writeValueAt(registry_, root_, classes_ + L"\\" + key, name, REG_SZ, regSz(text)));
  }
  void Dword(const std::wstring& key, const std::wstring& name, uint32_t number) {
    Keep(writeValueAt(registry_, root_, classes_ + L"\\" + key, name, REG_DWORD, regDword(number)));
  }
  void Key(const std::wstring& key) {
    RegKey opened = kRegNoKey;
    const WinError e = registry_.createKey(root_, classes_ + L"\\" + key, REG_OPTION_NON_VOLATILE,
                                           KEY_WRITE, &opened, nullptr);
    if (e == ERROR_SUCCESS) registry_.closeKey(opened);
    Keep(e);
  }
  // Deletes key with everything below it; a missing key is no error.
  void Remove(const std::wstring& key) {
    const WinError e = registry_.deleteTree(root_, classes_ + L"\\" + key);
    if (e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND) Keep(e);
  }
  // Commits; the first failure of the sequence or of the commit.
  WinError Finish() {
    if (batch_) {
      batch_ = false;
      Keep(registry_.commitBatch());
    }
    return error_;
  }

 private:
  void Keep(WinError e) {
    if (error_ == ERROR_SUCCESS) error_ = e;
  }
  IRegistry& registry_;
  RegKey root_;
  std::wstring classes_;
  bool batch_;
  WinError error_ = ERROR_SUCCESS;
};

std::wstring folderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

std::wstring ClassesPath(RegistrationScope scope) {
  return scope == RegistrationScope::Machine ? L"SOFTWARE\\Classes" : L"Software\\Classes";
}

ServerRegistration::ServerRegistration(platform::IRegistry& registry, std::wstring modulePath)
    : registry_(registry), modulePath_(std::move(modulePath)) {}

WinError ServerRegistration::RegisterAppId(RegistrationScope scope) {
  Writer w(registry_, scope);
  w.Text(std::wstring(L"AppID\\") + kAppId, L"", kProjectName);
  w.Text(std::wstring(L"AppID\\") + kModuleName, L"AppID", kAppId);
  return w.Finish();
}

WinError ServerRegistration::UnregisterAppId(RegistrationScope scope) {
  Writer w(registry_, scope);
  w.Remove(std::wstring(L"AppID\\") + kAppId);
  w.Remove(std::wstring(L"AppID\\") + kModuleName);
  return w.Finish();
}

WinError ServerRegistration::RegisterClass(RegistrationScope scope) {
  Writer w(registry_, scope);
  for (const wchar_t* progId : {kProgIdVersioned, kProgId}) {
    w.Text(progId, L"", kClassName);
    w.Text(std::wstring(progId) + L"\\CLSID", L"", kClassId);
  }
  w.Text(std::wstring(kProgId) + L"\\CurVer", L"", kProgIdVersioned);

  const std::wstring clsid = std::wstring(L"CLSID\\") + kClassId;
  w.Remove(clsid);  // the class's own key is replaced, not merged
  w.Text(clsid, L"", kClassName);
  w.Text(clsid, L"AppID", kAppId);
  w.Text(clsid, L"LocalizedString", L"@" + modulePath_ + L",-113");
  w.Text(clsid + L"\\ProgID", L"", kProgIdVersioned);
  w.Text(clsid + L"\\VersionIndependentProgID", L"", kProgId);
  w.Key(clsid + L"\\Programmable");
  w.Text(clsid + L"\\LocalServer32", L"", L"\"" + modulePath_ + L"\"");
  w.Text(clsid + L"\\TypeLib", L"", kLibId);
  w.Dword(clsid + L"\\Elevation", L"Enabled", 1);

  const std::wstring lib = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
  w.Text(lib, L"", kTypeLibName);
  w.Text(lib + L"\\0\\win64", L"", modulePath_);
  w.Text(lib + L"\\FLAGS", L"", L"0");
  w.Text(lib + L"\\HELPDIR", L"", folderOf(modulePath_));
  const struct {
    const wchar_t* iid;
    const wchar_t* name;
    const wchar_t* proxy;
  } interfaces[] = {{kHandlerIid, L"IZorelMessageHandler", kDualProxy},
                    {kEventsIid, L"_IZorelMessageHandlerEvents", kDispProxy}};
  for (const auto& i : interfaces) {
    const std::wstring key = std::wstring(L"Interface\\") + i.iid;
    w.Text(key, L"", i.name);
    w.Text(key + L"\\ProxyStubClsid32", L"", i.proxy);
    w.Text(key + L"\\TypeLib", L"", kLibId);
    w.Text(key + L"\\TypeLib", L"Version", L"1.0");
  }
  return w.Finish();
}

WinError ServerRegistration::UnregisterClass(RegistrationScope scope) {
  Writer w(registry_, scope);
  w.Remove(kProgIdVersioned);
  w.Remove(kProgId);
  w.Remove(std::wstring(L"CLSID\\") + kClassId);
  w.Remove(std::wstring(L"TypeLib\\") + kLibId);
  w.Remove(std::wstring(L"Interface\\") + kHandlerIid);
  w.Remove(std::wstring(L"Interface\\") + kEventsIid);
  return w.Finish();
}

}  // namespace zorel::app
