// COSPlugin: the description text and the checks against a required
// version, name or architecture.

#include <cwctype>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/os/os.h"
#include "zorel/plugins/os/os_texts.h"

namespace zorel {

namespace {

os_texts::OsDetailFacts DetailFacts(const platform::IMachine& machine) {
  using namespace platform;
  const IVersionInfo& version = machine.versionInfo();
  os_texts::OsDetailFacts facts;
  // Windows would retry with the basic OSVERSIONINFOW here; the platform
  // answers both from the same facts, so one failure is final.
  facts.haveVersion = version.getVersionEx(facts.version) == ERROR_SUCCESS;
  uint32_t productType = 0;
  if (version.getProductInfo(6, 2, 0, 0, productType) == ERROR_SUCCESS)
    facts.productType = productType;
  facts.nativeArchitecture = version.nativeProcessorArchitecture();
  facts.serverR2 = version.systemMetrics(SM_SERVERR2);
  facts.mediaCenter = version.systemMetrics(SM_MEDIACENTER);
  facts.starter = version.systemMetrics(SM_STARTER);
  facts.tabletPc = version.systemMetrics(SM_TABLETPC);
  return facts;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

}  // namespace

std::unique_ptr<CJSONOSInfo> COSPlugin::getOSDetail(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        const std::wstring text = os_texts::OsDetailText(DetailFacts(os_machine::Current()));
        result->osname = toUtf8(text);
        call.SetError(text.empty() ? plugin_error::kDataNotFound : plugin_error::kSuccess);
      },
      L"Exception occured during getting the OS detail.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> COSPlugin::isOfOsName(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_, plugin_error::kDataNotMatched);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 1 || args.TextAt(0).empty()) {
    call.ArgumentError(plugin_error::kInvalidParameter, L"Invalid Parameters.");
    call.UsesInputs();
    return call.Finish(std::move(result));
  }
  const std::wstring& name = args.TextAt(0);
  call.Input(name);
  if (SameTextIgnoringCase(name, L"Microsoft Windows")) {
    call.SetError(plugin_error::kSuccess);
  } else {
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s is not same as current OsName.",
                                   name.c_str());
  }
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> COSPlugin::isOsVersionOrGreater(StackFrame& args) {
  return CheckVersion(__func__, args, VersionCheck::OrGreater);
}

std::unique_ptr<CJSONReturn> COSPlugin::isOsVersionLower(StackFrame& args) {
  return CheckVersion(__func__, args, VersionCheck::Lower);
}

std::unique_ptr<CJSONReturn> COSPlugin::isOsVersionEqual(StackFrame& args) {
  return CheckVersion(__func__, args, VersionCheck::Equal);
}

std::unique_ptr<CJSONReturn> COSPlugin::CheckVersion(const char* method, StackFrame& args,
                                                     VersionCheck check) {
  PluginCall call = BeginCall(method, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 1) {
    call.ArgumentError(plugin_error::kInsufficientArguments,
                       L"Required parametes are not passed.");
    call.UsesInputs();
    return call.Finish(std::move(result));
  }
  const std::wstring& version = args.TextAt(0);
  call.Input(version);
  call.Run(
      [&] {
        call.SetError(plugin_error::kSuccess);
        int32_t major = 0, minor = 0;
        if (!os_texts::ParseVersionText(toUtf8(version), major, minor)) {
          call.SetError(plugin_error::kInvalidParameter);
          FrameworkLog::Instance().Write(LogLevel::Error, L"%s is not in the format[x.y]or[x].",
                                         version.c_str());
          return;
        }
        const platform::IMachine& machine = os_machine::Current();
        switch (check) {
          case VersionCheck::OrGreater:
            if (!os_machine::AtLeast(machine, major, minor, 0)) {
              call.SetError(plugin_error::kDataNotMatched);
              FrameworkLog::Instance().Write(LogLevel::Info,
                                             L"Current Version is not greater than %s.",
                                             version.c_str());
            }
            break;
          case VersionCheck::Lower:
            if (os_machine::AtLeast(machine, major, minor, 0)) {
              call.SetError(plugin_error::kDataNotMatched);
              FrameworkLog::Instance().Write(LogLevel::Info, L"Current Version is greater than %s.",
                                             version.c_str());
            }
            break;
          case VersionCheck::Equal: {
            platform::OsVersionInfoEx info;
            machine.versionInfo().getVersionEx(info);
            if (info.majorVersion != static_cast<uint32_t>(major) ||
                info.minorVersion != static_cast<uint32_t>(minor)) {
              call.SetError(plugin_error::kDataNotMatched);
              FrameworkLog::Instance().Write(LogLevel::Info,
                                             L"Passed Version is not equla to current Version");
            }
            break;
          }
        }
      },
      L"Exception Occured during checking version.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> COSPlugin::isOfType(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  call.UsesInputs();
  if (args.Count() < 1) {
    call.ArgumentError(plugin_error::kInvalidParameter, L"Invalid Parameters.");
    return call.Finish(std::move(result));
  }
  call.Run(
      [&] {
        // A text without leading digits, or a number beyond 32 bits, throws.
        const int32_t wanted = TextToInt(args.TextAt(0));
        call.Input(wanted == 1 ? L"64_bit" : L"32_bit");
        const bool is64 = os_machine::Current().versionInfo().is64BitOperatingSystem();
        const bool matches = (wanted == 1 && is64) || (wanted == 0 && !is64);
        call.SetError(matches ? plugin_error::kSuccess : plugin_error::kDataNotMatched);
      },
      L"Excetion Occured during finding Os_Type.");
  return call.Finish(std::move(result));
}

}  // namespace zorel
