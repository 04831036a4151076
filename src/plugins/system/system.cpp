// CSystemPlugin: registration and the getters (processor, memory, file
// system, clock, system drive sizes).

#include "zorel/plugins/system/system.h"

#include <ctime>
#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/system/internet_state.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/system/system_texts.h"
#include "zorel/report/report_settings.h"

namespace zorel {

namespace {

platform::IMachine& Machine() {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) throw std::runtime_error("no machine");
  return *machine;
}

std::tm LocalNow(const platform::ISystemInfo& info, int* error = nullptr) {
  std::tm local{};
  const int e = info.localTime(std::time(nullptr), local);
  if (error) *error = e;
  return local;
}

}  // namespace

namespace {

using enum ValueType;
constexpr OperationType kGetter = OperationType::kCollect;
constexpr OperationType kCheck = OperationType::kQuery;

// The System object's methods, in the order the script's method table lists them.
constinit const PluginMethod kMethods[] = {
    {"getCPUName", MethodOf<&CSystemPlugin::getCPUName>, kGetter, {L"cpuname"},
     {.summary = "The processor's brand text.",
      .answer = AnswerKind::kCPUInfo,
      .fills = "cpuname, status",
      .errors = {20028}}},
    {"getTotalRAM", MethodOf<&CSystemPlugin::getTotalRAM>, kGetter, {L"memorysize"},
     {.summary = "The installed memory, e.g. \"8.00 GB(s)\".",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "memorysize, status",
      .errors = {kSystemErrors}}},
    {"getFreeRAM", MethodOf<&CSystemPlugin::getFreeRAM>, kGetter, {L"freememorysize"},
     {.summary = "The available physical memory.",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "freememorysize, status",
      .errors = {kSystemErrors}}},
    {"getUsedRAM", MethodOf<&CSystemPlugin::getUsedRAM>, kGetter, {L"usedmemorysize"},
     {.summary = "The physical memory in use.",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "usedmemorysize, status",
      .errors = {kSystemErrors}}},
    {"getTotalVirtualMemory", MethodOf<&CSystemPlugin::getTotalVirtualMemory>, kGetter,
     {L"totalvirtualmemory"},
     {.summary = "The commit limit (memory plus page file).",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "memorysize, status",
      .errors = {kSystemErrors}}},
    {"getFreeVirtualMemory", MethodOf<&CSystemPlugin::getFreeVirtualMemory>, kGetter,
     {L"freevirtualmemory"},
     {.summary = "The commit space still available.",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "freememorysize, status",
      .errors = {kSystemErrors}}},
    {"getUsedVirtualMemory", MethodOf<&CSystemPlugin::getUsedVirtualMemory>, kGetter,
     {L"usedvirtualmemory"},
     {.summary = "The commit space in use.",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "usedmemorysize, status",
      .errors = {kSystemErrors}}},
    {"getFileSystem", MethodOf<&CSystemPlugin::getFileSystem>, kGetter, {L"filesystem"},
     {.summary = "The file system of a volume, e.g. NTFS.",
      .arguments = {{{"volumeRoot", kText, false, "the volume's root, e.g. C:\\ (the last "
                                                  "argument is the one read)"}}},
      .answer = AnswerKind::kFileSystemInfo,
      .fills = "filesystem, status",
      .errors = {kSystemErrors}}},
    {"getTimeZone", MethodOf<&CSystemPlugin::getTimeZone>, kGetter, {L"timezone"},
     {.summary = "The local time zone's name.",
      .answer = AnswerKind::kTimeInfo,
      .fills = "timezone, status",
      .errors = {kSystemErrors}}},
    {"getDate", MethodOf<&CSystemPlugin::getDate>, kGetter, {L"date"},
     {.summary = "Today's local date as day/month/year without leading zeros, e.g. 5/12/2016.",
      .answer = AnswerKind::kTimeInfo,
      .fills = "date, status"}},
    {"getTime", MethodOf<&CSystemPlugin::getTime>, kGetter, {L"time"},
     {.summary = "The local time as hours:minutes:seconds without leading zeros, e.g. 9:5:7.",
      .answer = AnswerKind::kTimeInfo,
      .fills = "time, status",
      .errors = {20016}}},
    {"getSystemSpace", MethodOf<&CSystemPlugin::getSystemSpace>, kGetter, {},
     {.summary = "The size of the Windows drive, e.g. \"237.84\" (GB).",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "memorysize",
      .errors = {3, 20016, 20021, kSystemErrors}}},
    {"getSystemFreeSpace", MethodOf<&CSystemPlugin::getSystemFreeSpace>, kGetter, {},
     {.summary = "The free space of the Windows drive (GB).",
      .answer = AnswerKind::kMemoryInfo,
      .fills = "freememorysize",
      .errors = {3, 20016, 20021, kSystemErrors}}},
    {"checkForDiskSpace", MethodOf<&CSystemPlugin::checkForDiskSpace>, kCheck,
     {L"expected", L"actual"},
     {.summary = "Whether the Windows drive has at least this much free space: errorcode 0 "
                 "when it has.",
      .arguments = {{{"requiredMB", kNumber, false, "free space needed, in MB (2^20 bytes)"}}},
      .answer = AnswerKind::kMemoryInfo,
      .errors = {20016, 20021, 20034}}},
    {"checkForCPUSpeed", MethodOf<&CSystemPlugin::checkForCPUSpeed>, kCheck,
     {L"expected", L"actual"},
     {.summary = "Whether the processor runs at least this fast: errorcode 0 when it does.",
      .arguments = {{{"requiredMHz", kNumber, false, "the clock speed needed, in MHz"}}},
      .errors = {20016, 20021, 20033, kSystemErrors}}},
    {"checkForMemorySize", MethodOf<&CSystemPlugin::checkForMemorySize>, kCheck,
     {L"expected", L"actual"},
     {.summary = "Whether the installed memory reaches what the running Windows version needs: "
                 "errorcode 0 when it does.",
      .arguments = {{{"requiredMB", kObject, false,
                      "Windows version (major.minor) to MB needed, e.g. {\"6.1\": 1024, "
                      "\"10.0\": 2048}; a version not listed answers -2147024809"}}},
      .errors = {-2147024809, 20016, 20021}}},
    {"isInternetConnected", MethodOf<&CSystemPlugin::isInternetConnected>, kCheck, {},
     {.summary = "Whether the machine is online (the report server can be reached): errorcode "
                 "0 when it is.",
      .errors = {20016}}},
};

}  // namespace

constinit const PluginSurface CSystemPlugin::kSurface{
    "System", L"plugins\\win\\env\\System", kMethods, kErrorCodeProperty,
    "Answers questions about the hardware and the running system: processor, memory, disk "
    "space, file system, time, and checks against minimum requirements."};

CSystemPlugin::CSystemPlugin(StackFrame& args)
    : CSystemPlugin(args, platform::hostInternetState(),
                    fromUtf8(ReportServerSettings::FromEnvironment().baseAddress)) {}

CSystemPlugin::CSystemPlugin(StackFrame&, std::shared_ptr<const platform::IInternetState> internet,
                             std::wstring probeUrl)
    : internet_(std::move(internet)), probeUrl_(std::move(probeUrl)) {
  RegisterSurface(kSurface);
  BindProperty("errorcode", errorcode_);
}

std::unique_ptr<CJSONCPUInfo> CSystemPlugin::getCPUName(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONCPUInfo>();
  std::wstring name;
  call.Run([&] { name = Machine().systemInfo().processorBrandString(); },
           L"Exception occured during reading the CPU name.");
  if (call.Succeeded()) {
    if (name.empty()) {
      call.SetError(plugin_error::kCpuNameFailed);
    } else {
      result->cpuname = toUtf8(name);
      result->status = true;
    }
  }
  call.Input(name);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getTotalRAM(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::TotalRam);
}
std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getFreeRAM(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::FreeRam);
}
std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getUsedRAM(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::UsedRam);
}
std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getTotalVirtualMemory(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::TotalVirtual);
}
std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getFreeVirtualMemory(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::FreeVirtual);
}
std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getUsedVirtualMemory(StackFrame&) {
  return MemoryGetter(__func__, MemoryFact::UsedVirtual);
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::MemoryGetter(const char* method, MemoryFact fact) {
  // The log line of a failed system call, by fact.
  static const wchar_t* const kFailures[] = {
      L"getTotalRAM - Error while calling GetPhysicallyInstalledSystemMemory API",
      L"getFreeRAM - Error while calling GlobalMemoryStatusEx API",
      L"getUsedRAM - Error while calling GlobalMemoryStatusEx API",
      L"getTotalVirtualMemory - Error while calling GlobalMemoryStatusEx API",
      L"getFreeVirtualMemory - Error while calling GlobalMemoryStatusEx API",
      L"getUsedVirtualMemory - Error while calling GlobalMemoryStatusEx API",
  };
  PluginCall call = BeginCall(method, errorcode_);
  auto result = std::make_unique<CJSONMemoryInfo>();

  const platform::ISystemInfo& info = Machine().systemInfo();
  platform::WinError e = platform::ERROR_SUCCESS;
  float gigabytes = 0;
  if (fact == MemoryFact::TotalRam) {
    uint64_t kilobytes = 0;
    e = info.physicallyInstalledMemoryKb(kilobytes);
    gigabytes = static_cast<float>(kilobytes) / system_texts::kKbPerGb;
  } else {
    platform::MemoryStatus status;
    e = info.globalMemoryStatus(status);
    uint64_t bytes = 0;
    switch (fact) {
      case MemoryFact::FreeRam: bytes = status.availPhys; break;
      case MemoryFact::UsedRam: bytes = status.totalPhys - status.availPhys; break;
      case MemoryFact::TotalVirtual: bytes = status.totalPageFile; break;
      case MemoryFact::FreeVirtual: bytes = status.availPageFile; break;
      case MemoryFact::UsedVirtual: bytes = status.totalPageFile - status.availPageFile; break;
      case MemoryFact::TotalRam: break;
    }
    gigabytes = static_cast<float>(bytes) / system_texts::kBytesPerGb;
  }
  if (e != platform::ERROR_SUCCESS) {
    // The failed system call ends the method before its record is written.
    errorcode_ = e;
    result->status = false;
    result->errorcode = e;
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s", kFailures[static_cast<int>(fact)]);
    return result;
  }
  const std::wstring text = system_texts::GbText(gigabytes);
  switch (fact) {
    case MemoryFact::TotalRam:
    case MemoryFact::TotalVirtual: result->memorysize = toUtf8(text); break;
    case MemoryFact::FreeRam:
    case MemoryFact::FreeVirtual: result->freememorysize = toUtf8(text); break;
    case MemoryFact::UsedRam:
    case MemoryFact::UsedVirtual: result->usedmemorysize = toUtf8(text); break;
  }
  result->status = true;
  call.Input(text);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONFileSystemInfo> CSystemPlugin::getFileSystem(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONFileSystemInfo>();
  if (args.Count() < 1) {
    // No volume was named: nothing to ask the file system about.
    call.ArgumentError(plugin_error::kInvalidParameter, L"Invalid Parameters.");
    call.UsesInputs();
    return call.Finish(std::move(result));
  }
  const std::wstring root = args.PopText();
  platform::VolumeInformation volume;
  const platform::WinError e = Machine().systemInfo().volumeInformation(root, volume);
  if (e != platform::ERROR_SUCCESS) {
    errorcode_ = e;
    result->status = false;
    result->errorcode = e;
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"getFileSystem - Error while calling GetVolumeInformation API");
    return result;
  }
  // GetVolumeInformationW's buffer holds 20 characters with the NUL.
  const std::wstring name = volume.fileSystemName.substr(0, 19);
  result->filesystem = toUtf8(name);
  result->status = true;
  call.Input(name);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONTimeInfo> CSystemPlugin::getTimeZone(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONTimeInfo>();
  const platform::ISystemInfo& info = Machine().systemInfo();
  int error = 0;
  LocalNow(info, &error);
  call.SetError(error);
  // strftime's buffer of 255 characters.
  const std::wstring name = info.timeZoneName().substr(0, 254);
  result->timezone = toUtf8(name);
  result->status = true;
  call.Input(name);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONTimeInfo> CSystemPlugin::getDate(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONTimeInfo>();
  int error = 0;
  const std::tm local = LocalNow(Machine().systemInfo(), &error);
  if (error != 0) throw std::runtime_error("could not convert calendar time to local time");
  const std::wstring text = system_texts::DateText(local);
  result->date = toUtf8(text);
  result->status = true;
  call.Input(text);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONTimeInfo> CSystemPlugin::getTime(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONTimeInfo>();
  int error = 0;
  const std::tm local = LocalNow(Machine().systemInfo(), &error);
  if (error != 0) throw std::runtime_error("could not convert calendar time to local time");
  const std::wstring text = system_texts::TimeText(local);
  result->time = toUtf8(text);
  result->status = true;
  call.Input(text);
  return call.Finish(std::move(result));
}

std::wstring CSystemPlugin::SystemDriveRoot(PluginCall& call) {
  std::wstring root;
  call.Run(
      [&] {
        const std::wstring windows = Machine().specialFolders().windowsDirectory();
        if (windows.empty()) {
          call.SetError(platform::ERROR_PATH_NOT_FOUND);
          FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to get the Window directory");
          return;
        }
        root = system_texts::DriveRootOf(windows);
        if (root.empty()) {
          call.SetError(plugin_error::kDataNotFound);
          FrameworkLog::Instance().Write(LogLevel::Error, L"window directory name is not proper.");
        }
      },
      L"Process failde due to exception during getting the window directory");
  return root;
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getSystemSpace(StackFrame&) {
  return SpaceGetter(__func__, SpaceFact::Total);
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::getSystemFreeSpace(StackFrame&) {
  return SpaceGetter(__func__, SpaceFact::Available);
}

std::unique_ptr<CJSONMemoryInfo> CSystemPlugin::SpaceGetter(const char* method, SpaceFact fact) {
  const bool total = fact == SpaceFact::Total;
  PluginCall call = BeginCall(method, errorcode_);
  auto result = std::make_unique<CJSONMemoryInfo>();
  std::wstring text = L"0";
  call.Run(
      [&] {
        const std::wstring root = SystemDriveRoot(call);
        platform::DiskSpace space;
        const platform::WinError e = root.empty()
                                         ? platform::ERROR_PATH_NOT_FOUND
                                         : Machine().systemInfo().diskFreeSpace(root, space);
        const float gigabytes =
            static_cast<float>(total ? space.totalBytes : space.freeBytesAvailableToCaller) /
            system_texts::kBytesPerGb;
        if (e != platform::ERROR_SUCCESS || !(gigabytes > 0)) {
          call.SetError(plugin_error::kApiFailed);
          FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to get the directory space");
          return;
        }
        call.SetError(plugin_error::kSuccess);
        text = system_texts::Format("%.2f", static_cast<double>(gigabytes));
      },
      L"Process failde due to exception during getting the Available size for OsDrive ");
  const std::string member = toUtf8(text + L" GB(s)");
  if (total) result->memorysize = member;
  else result->freememorysize = member;
  return call.Finish(std::move(result));
}

std::unique_ptr<CMethodDispatcher> CreateSystemPlugin(StackFrame& args) {
  return std::make_unique<CSystemPlugin>(args);
}

}  // namespace zorel
