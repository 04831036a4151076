#pragma once
// The service control manager: the services of the machine, their
// configuration and their run state.
//
// Windows: advapi32's OpenSCManagerW, OpenServiceW, QueryServiceConfigW,
// QueryServiceStatus, EnumServicesStatusExW, EnumDependentServicesW,
// ChangeServiceConfigW, StartServiceW, ControlService, CreateServiceW,
// DeleteService and CloseServiceHandle, talking to services.exe.
// Linux emulation: the configuration is the registry's
// HKLM\SYSTEM\CurrentControlSet\Services\<name> values as Windows keeps them
// (Type, Start, ErrorControl, ImagePath, DisplayName, ObjectName,
// DependOnService, DependOnGroup, Group, Tag, DeleteFlag). A key is a service
// when it has a Type value; names compare without case and enumerate in key
// order. Win32 services have Type bit 0x10 or 0x20 set, drivers are types 1
// and 2 (listed, always stopped, never started).
//
// A started Win32 service is a real host process: its ImagePath, expanded
// with the machine's environment, started detached (process.h) in System32.
// Its run state (pid, start time, boot id) is kept by this manager alone in
// the machine root (<root>/services/state, one "name<TAB>pid<TAB>start
// time<TAB>boot id" line per running service, replaced whole by rename) and
// every operation that changes it holds one cross-process lock
// (<root>/services/lock, flock), so two programs starting one service make
// one process. The state is the process's: no process, a zombie, another
// start time or another boot make it SERVICE_STOPPED (and the record is
// dropped; that pid is never signalled), a process stopped by SIGSTOP is
// SERVICE_PAUSED, anything else SERVICE_RUNNING.
//
// Our services have no control handler to report progress through, so every
// control completes before it returns and the pending states (2, 3, 5, 6) are
// never seen: STOP sends SIGTERM to the service's process group (SIGCONT
// after it when paused), SIGKILL after WaitToKillServiceTimeout (REG_SZ
// milliseconds under HKLM\SYSTEM\CurrentControlSet\Control, default 5000)
// and returns once the process has ended; PAUSE and CONTINUE send SIGSTOP
// and SIGCONT to the group and return once the process shows the change (at
// most 1 s).
//
// Every call returns a Win32 error code, as the function it mirrors sets
// GetLastError: 6 for a handle that is not open (or of the wrong kind), 5
// for a handle opened without the right the call needs.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IMachine;

// Service error codes (winerror.h) beyond win_error.h.
inline constexpr WinError ERROR_DEPENDENT_SERVICES_RUNNING = 1051;
inline constexpr WinError ERROR_INVALID_SERVICE_CONTROL = 1052;
inline constexpr WinError ERROR_SERVICE_ALREADY_RUNNING = 1056;
inline constexpr WinError ERROR_SERVICE_DISABLED = 1058;
inline constexpr WinError ERROR_CIRCULAR_DEPENDENCY = 1059;
inline constexpr WinError ERROR_SERVICE_NOT_ACTIVE = 1062;
inline constexpr WinError ERROR_SERVICE_DEPENDENCY_FAIL = 1068;
inline constexpr WinError ERROR_SERVICE_MARKED_FOR_DELETE = 1072;
inline constexpr WinError ERROR_SERVICE_EXISTS = 1073;
inline constexpr WinError ERROR_SERVICE_DEPENDENCY_DELETED = 1075;
inline constexpr WinError ERROR_DUPLICATE_SERVICE_NAME = 1078;

// Service types.
inline constexpr uint32_t SERVICE_KERNEL_DRIVER = 0x01;
inline constexpr uint32_t SERVICE_FILE_SYSTEM_DRIVER = 0x02;
inline constexpr uint32_t SERVICE_DRIVER = 0x0B;
inline constexpr uint32_t SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr uint32_t SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr uint32_t SERVICE_WIN32 = 0x30;
inline constexpr uint32_t SERVICE_TYPE_ALL = 0x3B;
// Start types.
inline constexpr uint32_t SERVICE_BOOT_START = 0;
inline constexpr uint32_t SERVICE_SYSTEM_START = 1;
inline constexpr uint32_t SERVICE_AUTO_START = 2;
inline constexpr uint32_t SERVICE_DEMAND_START = 3;
inline constexpr uint32_t SERVICE_DISABLED = 4;
inline constexpr uint32_t SERVICE_ERROR_NORMAL = 1;
inline constexpr uint32_t SERVICE_NO_CHANGE = 0xFFFFFFFF;
// Current states.
inline constexpr uint32_t SERVICE_STOPPED = 1;
inline constexpr uint32_t SERVICE_START_PENDING = 2;
inline constexpr uint32_t SERVICE_STOP_PENDING = 3;
inline constexpr uint32_t SERVICE_RUNNING = 4;
inline constexpr uint32_t SERVICE_CONTINUE_PENDING = 5;
inline constexpr uint32_t SERVICE_PAUSE_PENDING = 6;
inline constexpr uint32_t SERVICE_PAUSED = 7;
// Enumeration state filters.
inline constexpr uint32_t SERVICE_ACTIVE = 1;
inline constexpr uint32_t SERVICE_INACTIVE = 2;
inline constexpr uint32_t SERVICE_STATE_ALL = 3;
// Controls.
inline constexpr uint32_t SERVICE_CONTROL_STOP = 1;
inline constexpr uint32_t SERVICE_CONTROL_PAUSE = 2;
inline constexpr uint32_t SERVICE_CONTROL_CONTINUE = 3;
inline constexpr uint32_t SERVICE_CONTROL_INTERROGATE = 4;
// Controls a running service accepts (dwControlsAccepted).
inline constexpr uint32_t SERVICE_ACCEPT_STOP = 0x1;
inline constexpr uint32_t SERVICE_ACCEPT_PAUSE_CONTINUE = 0x2;
// Access rights of the manager and of a service.
inline constexpr uint32_t SC_MANAGER_CONNECT = 0x0001;
inline constexpr uint32_t SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr uint32_t SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
inline constexpr uint32_t SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr uint32_t SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr uint32_t SERVICE_CHANGE_CONFIG = 0x0002;
inline constexpr uint32_t SERVICE_QUERY_STATUS = 0x0004;
inline constexpr uint32_t SERVICE_ENUMERATE_DEPENDENTS = 0x0008;
inline constexpr uint32_t SERVICE_START = 0x0010;
inline constexpr uint32_t SERVICE_STOP = 0x0020;
inline constexpr uint32_t SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr uint32_t SERVICE_INTERROGATE = 0x0080;
inline constexpr uint32_t SERVICE_DELETE_ACCESS = 0x00010000;  // DELETE
inline constexpr uint32_t SERVICE_ALL_ACCESS = 0xF01FF;

// The longest service name CreateServiceW accepts.
inline constexpr size_t kMaxServiceNameChars = 256;

// An SC_HANDLE. Zero is no handle.
enum class ScHandle : uint64_t {};
inline constexpr ScHandle kNoScHandle{0};

// SERVICE_STATUS_PROCESS.
struct ServiceStatus {
  uint32_t serviceType = 0;
  uint32_t currentState = 0;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceSpecificExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
  uint32_t processId = 0;  // 0 unless running or paused
  uint32_t serviceFlags = 0;
};

// QUERY_SERVICE_CONFIGW.
struct ServiceConfig {
  uint32_t serviceType = 0;
  uint32_t startType = 0;
  uint32_t errorControl = 0;
  std::wstring binaryPathName;  // ImagePath as stored (not expanded)
  std::wstring loadOrderGroup;  // Group
  uint32_t tagId = 0;           // Tag
  // DependOnService entries, then each DependOnGroup entry prefixed "+".
  std::vector<std::wstring> dependencies;
  std::wstring serviceStartName;  // ObjectName
  std::wstring displayName;
};

// ENUM_SERVICE_STATUS_PROCESSW.
struct ServiceEntry {
  std::wstring serviceName;
  std::wstring displayName;
  ServiceStatus status;
};

// What CreateServiceW is given.
struct ServiceCreateRequest {
  std::wstring serviceName;
  std::wstring displayName;  // empty: the service name
  uint32_t desiredAccess = SERVICE_ALL_ACCESS;
  uint32_t serviceType = SERVICE_WIN32_OWN_PROCESS;
  uint32_t startType = SERVICE_DEMAND_START;
  uint32_t errorControl = SERVICE_ERROR_NORMAL;
  std::wstring binaryPathName;
  std::wstring loadOrderGroup;
  std::vector<std::wstring> dependencies;
  std::wstring serviceStartName;  // empty: LocalSystem
};

// What ChangeServiceConfigW changes: SERVICE_NO_CHANGE and empty optionals
// leave a field as it is.
struct ServiceConfigChange {
  uint32_t serviceType = SERVICE_NO_CHANGE;
  uint32_t startType = SERVICE_NO_CHANGE;
  uint32_t errorControl = SERVICE_NO_CHANGE;
  std::optional<std::wstring> binaryPathName;
  std::optional<std::wstring> displayName;
};

class IServiceManager {
 public:
  virtual ~IServiceManager() = default;

  // OpenSCManagerW on the local machine's active database.
  virtual WinError openManager(uint32_t desiredAccess, ScHandle* manager) = 0;
  // OpenServiceW. Unknown name: ERROR_SERVICE_DOES_NOT_EXIST (1060); empty,
  // over 256 characters, or holding "/" or "\": ERROR_INVALID_NAME (123).
  virtual WinError openService(ScHandle manager, std::wstring_view name, uint32_t desiredAccess,
                               ScHandle* service) = 0;
  // CloseServiceHandle. The key of a service marked for deletion goes with
  // the last handle of this manager to it, once the service is stopped.
  virtual WinError closeHandle(ScHandle handle) = 0;

  // QueryServiceConfigW. Needs SERVICE_QUERY_CONFIG.
  virtual WinError queryConfig(ScHandle service, ServiceConfig* config) = 0;
  // QueryServiceStatusEx. Needs SERVICE_QUERY_STATUS.
  virtual WinError queryStatus(ScHandle service, ServiceStatus* status) = 0;
  // EnumServicesStatusExW: the services of the given types (SERVICE_WIN32,
  // SERVICE_DRIVER, SERVICE_TYPE_ALL) in the given states, in key order.
  // Needs SC_MANAGER_ENUMERATE_SERVICE.
  virtual WinError enumServices(ScHandle manager, uint32_t serviceType, uint32_t serviceState,
                                std::vector<ServiceEntry>* services) = 0;
  // EnumDependentServicesW: the direct and indirect dependents in the given
  // states, each listed before the services it depends on. Needs
  // SERVICE_ENUMERATE_DEPENDENTS.
  virtual WinError enumDependents(ScHandle service, uint32_t serviceState,
                                  std::vector<ServiceEntry>* dependents) = 0;

  // ChangeServiceConfigW. Boot or system start for a Win32 service: 87;
  // marked for deletion: 1072. Needs SERVICE_CHANGE_CONFIG.
  virtual WinError changeConfig(ScHandle service, const ServiceConfigChange& change) = 0;
  // StartServiceW (no arguments). Running or paused: 1056; disabled or a
  // driver: 1058; marked for deletion: 1072. Each DependOnService entry that
  // is not running is started first: a missing one 1075, one that fails
  // 1068, a cycle 1059. The program's own start errors (2, 5, 193) are the
  // answer. Needs SERVICE_START.
  virtual WinError startService(ScHandle service) = 0;
  // ControlService: STOP, PAUSE, CONTINUE or INTERROGATE, completed before
  // it returns; *status (may be null) gets the state after it. Not running:
  // 1062; STOP while a dependent runs: 1051; another control: 1052. Needs
  // SERVICE_STOP, SERVICE_PAUSE_CONTINUE or SERVICE_INTERROGATE.
  virtual WinError controlService(ScHandle service, uint32_t control, ServiceStatus* status) = 0;
  // CreateServiceW: writes Type, Start, ErrorControl, ImagePath
  // (REG_EXPAND_SZ), DisplayName, ObjectName and, when given, Group and
  // DependOnService. Existing name: 1073; display name in use: 1078; invalid
  // name: 123; boot or system start for a Win32 service, or a start type
  // above 4: 87. Needs SC_MANAGER_CREATE_SERVICE.
  virtual WinError createService(ScHandle manager, const ServiceCreateRequest& request,
                                 ScHandle* service) = 0;
  // DeleteService: marks the service (DeleteFlag 1); its key goes once it
  // is stopped and the handles to it are closed. Again: 1072. Needs DELETE.
  virtual WinError deleteService(ScHandle service) = 0;
};

// The service control manager of `machine` (which must outlive it).
std::unique_ptr<IServiceManager> createServiceManager(IMachine& machine);

}  // namespace zorel::platform
