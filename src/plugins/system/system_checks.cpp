// CSystemPlugin: the minimum-requirement checks and Internet connectivity.

#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/system/internet_state.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/system/system.h"
#include "zorel/plugins/system/system_texts.h"

namespace zorel {

namespace {

// E_INVALIDARG as a 32-bit value: the checks' "no argument" answer.
constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
const wchar_t kProcessorKey[] = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

platform::IMachine& Machine() {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) throw std::runtime_error("no machine");
  return *machine;
}

}  // namespace

std::unique_ptr<CJSONReturn> CSystemPlugin::checkForCPUSpeed(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 1) {
    call.ArgumentError(kInvalidArg,
                       L"Invalid Number of arguement during quering CPU speed available.");
    call.Input(L"$GEN1003$ ").Input(L"");
    return call.Finish(std::move(result));
  }
  // A text that is not a number ends the call here (the object manager
  // answers the script with an empty text).
  const float required = args.FloatAt(0);
  uint32_t actual = 0;
  call.Run(
      [&] {
        platform::IRegistry& registry = Machine().registry();
        platform::RegKey key = platform::kRegNoKey;
        platform::WinError e = registry.openKey(platform::kHkeyLocalMachine, kProcessorKey, 0,
                                                platform::KEY_READ, &key);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          FrameworkLog::Instance().Write(LogLevel::Error, L"Not able to read the registry key.");
          return;
        }
        uint32_t type = 0, value = 0, size = sizeof value;
        e = registry.queryValue(key, L"~MHz", &type, reinterpret_cast<uint8_t*>(&value), &size);
        registry.closeKey(key);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Not able to read the registry key value.");
          return;
        }
        actual = value;
      },
      L"Exception occured on getting the CPU speed.");
  if (required > static_cast<float>(actual) || actual == 0) {
    call.SetError(plugin_error::kCpuTooSlow);
    FrameworkLog::Instance().Write(LogLevel::Error, L"System CPU speed is less than querying one.");
  }
  call.Input(system_texts::CpuExpectedText(required))
      .Input(system_texts::CpuActualText(actual));
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::checkForDiskSpace(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONMemoryInfo>();
  if (args.Count() < 1) {
    call.ArgumentError(kInvalidArg, L"Invalid Number of arguement during quering space available.");
    call.Input(L"$GEN1004$ ").Input(L"");
    return call.Finish(std::move(result));
  }
  const int32_t required = args.IntAt(0);  // a failed conversion ends the call
  int64_t available = 0;
  call.Run(
      [&] {
        const std::wstring root = SystemDriveRoot(call);
        platform::DiskSpace space;
        if (!root.empty() &&
            Machine().systemInfo().diskFreeSpace(root, space) == platform::ERROR_SUCCESS)
          available = static_cast<int64_t>(space.freeBytesAvailableToCaller /
                                           system_texts::kBytesPerMb);
        if (available <= 0) {
          call.SetError(plugin_error::kDataNotFound);
          FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to get the directory space");
        } else if (available < required) {
          call.SetError(plugin_error::kOsDriveTooFull);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Available disk size is less than size you query");
        } else {
          call.SetError(plugin_error::kSuccess);
        }
      },
      L"Process failde due to exception during getting the Available size for OsDrive ");
  call.Input(system_texts::DiskExpectedText(required))
      .Input(system_texts::DiskActualText(available));
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> CSystemPlugin::checkForMemorySize(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_, kInvalidArg);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 1) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Emptyt arguement for checking memory");
    call.Input(L" $GEN1002$").Input(L"");
    return call.Finish(std::move(result));
  }
  platform::IMachine& machine = Machine();
  uint64_t kilobytes = 0;
  float installed = 0;
  if (machine.systemInfo().physicallyInstalledMemoryKb(kilobytes) == platform::ERROR_SUCCESS) {
    installed = static_cast<float>(kilobytes) / system_texts::kKbPerGb;
  } else {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to read the Installed primary memory");
  }
  // The requirements: {"6.1": 2048, "10.0": 4096}, MB per Windows version.
  args.AddNamedArguments(toUtf8(args.TextAt(0)));
  platform::OsVersionInfoEx version;
  machine.versionInfo().getVersionEx(version);
  const std::string key =
      std::to_string(version.majorVersion) + "." + std::to_string(version.minorVersion);
  float requiredMb = -1;
  args.GetNamedFloat(key, requiredMb);  // a value that is not a number ends the call
  float requiredGb = -1;
  if (requiredMb == -1) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Current version is not present in the input.");
  } else {
    requiredGb = requiredMb / 1024.0f;
    if (installed >= requiredGb) {
      call.SetError(plugin_error::kSuccess);
    } else {
      call.SetError(plugin_error::kDataNotFound);
      FrameworkLog::Instance().Write(LogLevel::Error, L"Current Memory is less than required.");
    }
  }
  call.Input(system_texts::MemoryExpectedText(requiredGb))
      .Input(system_texts::MemoryActualText(installed));
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> CSystemPlugin::isInternetConnected(StackFrame&) {
  // The answer is the call's own; the plug-in's errorcode property keeps
  // what the last other method left in it.
  int32_t answer = 0;
  PluginCall call = BeginCall(__func__, answer, plugin_error::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  call.Run(
      [&] {
        if (!internet_) return;
        uint32_t flags = 0;
        if (internet_->getConnectedState(&flags) &&
            (flags & platform::INTERNET_CONNECTION_OFFLINE) == 0) {
          call.SetError(plugin_error::kSuccess);
          return;
        }
        // Reported offline: Windows is asked to dial the report server, and
        // the machine still counts as offline for this check.
        internet_->checkConnection(probeUrl_);
      },
      L"Exception occured during checking the Internet connection.");
  return call.Finish(std::move(result));
}

}  // namespace zorel
