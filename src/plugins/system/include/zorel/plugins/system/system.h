#pragma once
// CSystemPlugin: the script's "System" object. It reports the machine's
// hardware and clock (processor, memory and page file, file system, system
// drive sizes, date, time, time zone), checks minimum requirements
// (processor speed, free space on the system drive, installed memory per
// Windows version) and Internet connectivity.
//
// Getters write operation records of type 2, the checks type 0; component
// "System". The checks record an "expected" and an "actual" text. The
// methods, their record types and input keys are the rows of kSurface.

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONCPUInfo;
class CJSONFileSystemInfo;
class CJSONMemoryInfo;
class CJSONReturn;
class CJSONTimeInfo;
class PluginCall;

namespace platform {
class IInternetState;
}

class CSystemPlugin : public CMethodDispatcher {
 public:
  // The script-visible surface: component "System" and its methods.
  static const PluginSurface kSurface;
  // Construction arguments are not read. internet answers the
  // connectivity questions (the host's by default); probeUrl is where
  // isInternetConnected forces a connection when the machine reports itself
  // offline (by default the report server's base address).
  explicit CSystemPlugin(StackFrame& args);
  CSystemPlugin(StackFrame& args, std::shared_ptr<const platform::IInternetState> internet,
                std::wstring probeUrl);

  std::unique_ptr<CJSONCPUInfo> getCPUName(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getTotalRAM(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getFreeRAM(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getUsedRAM(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getTotalVirtualMemory(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getFreeVirtualMemory(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getUsedVirtualMemory(StackFrame& args);
  std::unique_ptr<CJSONFileSystemInfo> getFileSystem(StackFrame& args);
  std::unique_ptr<CJSONTimeInfo> getTimeZone(StackFrame& args);
  std::unique_ptr<CJSONTimeInfo> getDate(StackFrame& args);
  std::unique_ptr<CJSONTimeInfo> getTime(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getSystemSpace(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> getSystemFreeSpace(StackFrame& args);
  std::unique_ptr<CJSONMemoryInfo> checkForDiskSpace(StackFrame& args);
  std::unique_ptr<CJSONReturn> checkForCPUSpeed(StackFrame& args);
  std::unique_ptr<CJSONReturn> checkForMemorySize(StackFrame& args);
  std::unique_ptr<CJSONReturn> isInternetConnected(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

 private:
  enum class MemoryFact { TotalRam, FreeRam, UsedRam, TotalVirtual, FreeVirtual, UsedVirtual };
  // The memory and drive-space getters; `method` names the one called.
  std::unique_ptr<CJSONMemoryInfo> MemoryGetter(const char* method, MemoryFact fact);
  enum class SpaceFact { Total, Available };
  std::unique_ptr<CJSONMemoryInfo> SpaceGetter(const char* method, SpaceFact fact);
  // The system drive root (C:\), or empty after setting the error and
  // logging why.
  std::wstring SystemDriveRoot(PluginCall& call);

  int32_t errorcode_ = 0;  // published as the property "errorcode"
  std::shared_ptr<const platform::IInternetState> internet_;
  std::wstring probeUrl_;
};

// The factory's creation function for "System".
std::unique_ptr<CMethodDispatcher> CreateSystemPlugin(StackFrame& args);

}  // namespace zorel
