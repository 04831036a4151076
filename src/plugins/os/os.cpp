// COSPlugin: registration, the machine it answers from, and the simple
// getters (name, edition, version numbers, architecture, folders).

#include "zorel/plugins/os/os.h"

#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

namespace os_machine {

platform::IMachine& Current() {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) throw std::runtime_error("no machine");
  return *machine;
}

bool AtLeast(const platform::IMachine& machine, uint32_t major, uint32_t minor,
             uint16_t servicePack) {
  using namespace platform;
  OsVersionInfoEx wanted;
  // VerifyVersionInfoW takes the numbers as 16-bit values.
  wanted.majorVersion = static_cast<uint16_t>(major);
  wanted.minorVersion = static_cast<uint16_t>(minor);
  wanted.servicePackMajor = servicePack;
  uint64_t conditions = 0;
  conditions = verSetConditionMask(conditions, VER_MAJORVERSION, VER_GREATER_EQUAL);
  conditions = verSetConditionMask(conditions, VER_MINORVERSION, VER_GREATER_EQUAL);
  conditions = verSetConditionMask(conditions, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return machine.versionInfo().verifyVersionInfo(
             wanted, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, conditions) ==
         ERROR_SUCCESS;
}

}  // namespace os_machine

namespace {

constexpr OperationType kQuery = OperationType::kQuery;

// The OS object's methods, in the order the script's method table lists them.
constinit const PluginMethod kMethods[] = {
    {"getDefaultBrowser", MethodOf<&COSPlugin::getDefaultBrowser>, kQuery, {L"defaultBrowser"}},
    {"getInstalledBrowsers", MethodOf<&COSPlugin::getInstalledBrowsers>, kQuery,
     {L"installedbrowser"}},
    {"getOSName", MethodOf<&COSPlugin::getOSName>, kQuery},
    {"getOSDetail", MethodOf<&COSPlugin::getOSDetail>, kQuery},
    {"getOSEdition", MethodOf<&COSPlugin::getOSEdition>, kQuery},
    {"getMajorVersion", MethodOf<&COSPlugin::getMajorVersion>, kQuery},
    {"getMinorVersion", MethodOf<&COSPlugin::getMinorVersion>, kQuery},
    {"getOSArchType", MethodOf<&COSPlugin::getOSArchType>, kQuery},
    {"getOSLanguage", MethodOf<&COSPlugin::getOSLanguage>, kQuery},
    {"getUACStatus", MethodOf<&COSPlugin::getUACStatus>, kQuery},
    {"isOfOsName", MethodOf<&COSPlugin::isOfOsName>, kQuery, {L"osname"}},
    {"isOsVersionOrGreater", MethodOf<&COSPlugin::isOsVersionOrGreater>, kQuery,
     {L"versionnumber"}},
    {"isOsVersionLower", MethodOf<&COSPlugin::isOsVersionLower>, kQuery, {L"versionnumber"}},
    {"isOsVersionEqual", MethodOf<&COSPlugin::isOsVersionEqual>, kQuery, {L"versionnumber"}},
    {"isOfType", MethodOf<&COSPlugin::isOfType>, kQuery, {L"ostype"}},
    {"isRavelManaged", MethodOf<&COSPlugin::isRavelManaged>, kQuery},
    {"isUnderDomain", MethodOf<&COSPlugin::isUnderDomain>, kQuery},
    {"getSystemDirectory", MethodOf<&COSPlugin::getSystemDirectory>, kQuery},
    {"getWindowsDirectory", MethodOf<&COSPlugin::getWindowsDirectory>, kQuery},
};

}  // namespace

constinit const PluginSurface COSPlugin::kSurface{"OS", L"plugins\\win\\env\\OS", kMethods};

COSPlugin::COSPlugin(StackFrame&) {
  RegisterSurface(kSurface);
  BindProperty("errorcode", errorcode_);
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getOSName(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  result->osname = "Microsoft Windows";
  result->status = true;
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getOSEdition(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        struct Step {
          uint32_t major, minor;
          uint16_t servicePack;
          const char* name;
        };
        static const Step kSteps[] = {
            {10, 0, 0, "10"},        {6, 3, 0, "8.1"},       {6, 2, 0, "8"},
            {6, 1, 1, "7 SP1"},      {6, 1, 0, "7"},         {6, 0, 2, "Vista SP2"},
            {6, 0, 1, "Vista SP1"},  {6, 0, 0, "Vista"},     {5, 1, 3, "XP SP3"},
            {5, 1, 2, "XP SP2"},     {5, 1, 1, "XP SP1"},    {5, 1, 0, "XP"},
        };
        const platform::IMachine& machine = os_machine::Current();
        for (const Step& step : kSteps) {
          if (os_machine::AtLeast(machine, step.major, step.minor, step.servicePack)) {
            result->osversion = step.name;
            break;
          }
        }
        result->status = true;
      },
      L"Exception occured during getting the OS edition.");
  return call.Finish(std::move(result));
}

namespace {

// at-least(10,0,0) gives 10.0, at-least(6,3,0) 6.3, else what
// GetVersionExW reports (0 when it cannot).
void VersionNumbers(const platform::IMachine& machine, int32_t& major, int32_t& minor) {
  if (os_machine::AtLeast(machine, 10, 0, 0)) {
    major = 10;
    minor = 0;
  } else if (os_machine::AtLeast(machine, 6, 3, 0)) {
    major = 6;
    minor = 3;
  } else {
    platform::OsVersionInfoEx info;
    machine.versionInfo().getVersionEx(info);
    major = static_cast<int32_t>(info.majorVersion);
    minor = static_cast<int32_t>(info.minorVersion);
  }
}

}  // namespace

std::unique_ptr<CJSONOSInfo> COSPlugin::getMajorVersion(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        int32_t major = 0, minor = 0;
        VersionNumbers(os_machine::Current(), major, minor);
        result->majorversion = major;
        result->status = true;
      },
      L"Exception occured during getting the major version.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getMinorVersion(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        int32_t major = 0, minor = 0;
        VersionNumbers(os_machine::Current(), major, minor);
        result->minorversion = minor;
        result->status = true;
      },
      L"Exception occured during getting the minor version.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getOSArchType(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        result->osarchtype =
            os_machine::Current().versionInfo().is64BitOperatingSystem() ? "64 Bit" : "32 Bit";
        result->status = true;
      },
      L"Exception occured during getting the OS architecture.");
  return call.Finish(std::move(result));
}

namespace {

// The folder getters answer the thread's last error when they fail; when
// no platform call failed that is 0, and a failure must not read as
// success, so "API failed" stays.
void UseLastError(PluginCall& call) {
  if (const platform::WinError e = platform::getLastError()) call.SetError(e);
}

}  // namespace

std::unique_ptr<CJSONOSReturnVal> COSPlugin::getSystemDirectory(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSReturnVal>();
  if (!call.Run([&] { result->SetValue(os_machine::Current().specialFolders().systemDirectory()); },
                L"Exception occured while getting system directory."))
    UseLastError(call);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSReturnVal> COSPlugin::getWindowsDirectory(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSReturnVal>();
  if (!call.Run(
          [&] { result->SetValue(os_machine::Current().specialFolders().windowsDirectory()); },
          L"Exception occured while getting windows directory."))
    UseLastError(call);
  return call.Finish(std::move(result));
}

std::unique_ptr<CMethodDispatcher> CreateOSPlugin(StackFrame& args) {
  return std::make_unique<COSPlugin>(args);
}

}  // namespace zorel
