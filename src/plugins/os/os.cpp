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

using enum ValueType;
constexpr OperationType kQuery = OperationType::kQuery;

constexpr PluginArgument kVersion{"version", kText, false,
                                  "major[.minor], e.g. 6.1 or 10.0 (one or two digits each)"};

// The OS object's methods, in the order the script's method table lists them.
constinit const PluginMethod kMethods[] = {
    {"getDefaultBrowser", MethodOf<&COSPlugin::getDefaultBrowser>, kQuery, {L"defaultBrowser"},
     {.summary = "The program that opens http links.",
      .answer = AnswerKind::kOSInfo,
      .fills = "defaultbrowser, status",
      .errors = {20024}}},
    {"getInstalledBrowsers", MethodOf<&COSPlugin::getInstalledBrowsers>, kQuery,
     {L"installedbrowser"},
     {.summary = "The installed browsers among Firefox, Chrome, IE and Edge, joined by \", \".",
      .answer = AnswerKind::kOSInfo,
      .fills = "browsers, status"}},
    {"getOSName", MethodOf<&COSPlugin::getOSName>, kQuery, {},
     {.summary = "The name \"Microsoft Windows\".",
      .answer = AnswerKind::kOSInfo,
      .fills = "osname, status"}},
    {"getOSDetail", MethodOf<&COSPlugin::getOSDetail>, kQuery, {},
     {.summary = "The release, edition and build, e.g. \"Windows 10 Professional Edition(Build "
                 "19045)\".",
      .answer = AnswerKind::kOSInfo,
      .fills = "osname",
      .errors = {20021}}},
    {"getOSEdition", MethodOf<&COSPlugin::getOSEdition>, kQuery, {},
     {.summary = "The release with its service pack: 10, 8.1, 8, 7 SP1, 7, Vista SP2, ... XP.",
      .answer = AnswerKind::kOSInfo,
      .fills = "osversion, status"}},
    {"getMajorVersion", MethodOf<&COSPlugin::getMajorVersion>, kQuery, {},
     {.summary = "The major version number (10 on Windows 10 and 11).",
      .answer = AnswerKind::kOSInfo,
      .fills = "majorversion, status"}},
    {"getMinorVersion", MethodOf<&COSPlugin::getMinorVersion>, kQuery, {},
     {.summary = "The minor version number.",
      .answer = AnswerKind::kOSInfo,
      .fills = "minorversion, status"}},
    {"getOSArchType", MethodOf<&COSPlugin::getOSArchType>, kQuery, {},
     {.summary = "\"64 Bit\" or \"32 Bit\".",
      .answer = AnswerKind::kOSInfo,
      .fills = "osarchtype, status"}},
    {"getOSLanguage", MethodOf<&COSPlugin::getOSLanguage>, kQuery, {},
     {.summary = "The system's display language as a locale name, e.g. en-US.",
      .answer = AnswerKind::kOSInfo,
      .fills = "oslang, status",
      .errors = {kSystemErrors}}},
    {"getUACStatus", MethodOf<&COSPlugin::getUACStatus>, kQuery, {},
     {.summary = "The UAC prompt level: 0 unknown or before Windows 8, 1 never notify, 2 notify "
                 "without dimming, 3 notify (default), 4 always notify.",
      .answer = AnswerKind::kOSInfo,
      .fills = "uacstatus",
      .errors = {2, kSystemErrors}}},
    {"isOfOsName", MethodOf<&COSPlugin::isOfOsName>, kQuery, {L"osname"},
     {.summary = "Whether the OS name is the one given (case ignored): errorcode 0 when it is.",
      .arguments = {{{"osName", kText, false, "e.g. Microsoft Windows"}}},
      .errors = {87, 20020}}},
    {"isOsVersionOrGreater", MethodOf<&COSPlugin::isOsVersionOrGreater>, kQuery,
     {L"versionnumber"},
     {.summary = "Whether the system is this version or later: errorcode 0 when it is.",
      .arguments = {{kVersion}},
      .errors = {87, 20016, 20020, 20023}}},
    {"isOsVersionLower", MethodOf<&COSPlugin::isOsVersionLower>, kQuery, {L"versionnumber"},
     {.summary = "Whether the system is older than this version: errorcode 0 when it is.",
      .arguments = {{kVersion}},
      .errors = {87, 20016, 20020, 20023}}},
    {"isOsVersionEqual", MethodOf<&COSPlugin::isOsVersionEqual>, kQuery, {L"versionnumber"},
     {.summary = "Whether the system is exactly this major.minor version: errorcode 0 when it is.",
      .arguments = {{kVersion}},
      .errors = {87, 20016, 20020, 20023}}},
    {"isOfType", MethodOf<&COSPlugin::isOfType>, kQuery, {L"ostype"},
     {.summary = "Whether the system has the given bitness: errorcode 0 when it has.",
      .arguments = {{{"is64bit", kNumber, false, "1 asks \"64-bit?\", anything else \"32-bit?\""}}},
      .errors = {87, 20016, 20020}}},
    {"isRavelManaged", MethodOf<&COSPlugin::isRavelManaged>, kQuery, {},
     {.summary = "Whether the enterprise management agent is installed: errorcode 0 when it is.",
      .errors = {2, 20016, 20021, kSystemErrors}}},
    {"isUnderDomain", MethodOf<&COSPlugin::isUnderDomain>, kQuery, {},
     {.summary = "Whether the machine is joined to a domain: errorcode 0 when it is.",
      .errors = {20016, 20025, kSystemErrors}}},
    {"getSystemDirectory", MethodOf<&COSPlugin::getSystemDirectory>, kQuery, {},
     {.summary = "The system folder, e.g. C:\\Windows\\system32.",
      .answer = AnswerKind::kOSValue,
      .fills = "value",
      .errors = {kSystemErrors}}},
    {"getWindowsDirectory", MethodOf<&COSPlugin::getWindowsDirectory>, kQuery, {},
     {.summary = "The Windows folder, e.g. C:\\Windows.",
      .answer = AnswerKind::kOSValue,
      .fills = "value",
      .errors = {kSystemErrors}}},
};

}  // namespace

constinit const PluginSurface COSPlugin::kSurface{
    "OS", L"plugins\\win\\env\\OS", kMethods, kErrorCodeProperty,
    "Answers questions about Windows: name, edition, version and version checks, bitness, "
    "language, UAC level, browsers, domain and management agent, folders. Changes nothing."};

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
