// Service: its method table, construction and every method but collect
// (service_collect.cpp).

#include "zorel/plugins/service/service.h"

#include <cwctype>
#include <exception>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

namespace p = platform;

namespace {

using enum ValueType;
constexpr OperationType kQuery = OperationType::kQuery;
constexpr OperationType kChange = OperationType::kChange;
constexpr OperationType kCollect = OperationType::kCollect;

// Every method answers "return" true and errorcode 0 for yes / done; a
// missing required property answers 87 with "status" false.
constinit const PluginMethod kMethods[] = {
    {"isPresent", MethodOf<&Service::isPresent>, kQuery, {L"name", L"startuptype", L"status"},
     {.summary = "Whether the service exists, and when startuptype or status is set, whether "
                 "it has them.",
      .reads = "name, startuptype, status",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30001, 30002, kSystemErrors}}},
    {"setStatus", MethodOf<&Service::setStatus>, kChange, {L"name", L"status"},
     {.summary = "Asks the service to stop (1), run (4), pause (7) or restart (8); does not "
                 "wait.",
      .reads = "name, status",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30005, kSystemErrors}}},
    {"setStartUpType", MethodOf<&Service::setStartUpType>, kChange, {L"name", L"startuptype"},
     {.summary = "Sets the service's startup type.",
      .reads = "name, startuptype",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, kSystemErrors}}},
    {"checkStatus", MethodOf<&Service::checkStatus>, kCollect, {L"name", L"status"},
     {.summary = "Whether the service is in the state given by status.",
      .reads = "name, status",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30006, kSystemErrors}}},
    {"checkStartUpType", MethodOf<&Service::checkStartUpType>, kCollect,
     {L"name", L"startuptype"},
     {.summary = "Whether the service has the startup type given by startuptype.",
      .reads = "name, startuptype",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30007, kSystemErrors}}},
    {"create", MethodOf<&Service::create>, kChange,
     {L"name", L"displayname", L"path", L"startuptype"},
     {.summary = "Creates an own-process service running path.",
      .reads = "name, displayname, path, startuptype",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1073, 20016, kSystemErrors}}},
    {"deleteService", MethodOf<&Service::deleteService>, kChange, {L"name"},
     {.summary = "Stops the service when it runs, then deletes it.",
      .reads = "name",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30008, kSystemErrors}}},
    {"collect", MethodOf<&Service::collect>, kCollect, {},
     {.summary = "Writes every Win32 service with its configuration to SERVICE_TABLE.",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {20016, kSystemErrors}}},
    {"hasDependency", MethodOf<&Service::hasDependency>, kQuery,
     {L"name", L"dependentname", L"dependentstatus"},
     {.summary = "Whether the named service depends on this one and is in the given state.",
      .arguments = {{{"dependentName", kText, false, "the dependent service's name"},
                     {"dependentStatus", kNumber, false, "its state, numbered as status"}}},
      .reads = "name",
      .answer = AnswerKind::kService,
      .fills = "status, return",
      .errors = {87, 1060, 20016, 30003, 30004, 30009, 30010, kSystemErrors}}},
};

constinit const PluginProperty kProperties[] = {
    {"name", kText, "the service (key) name"},
    {"displayname", kText, "the display name, for create"},
    {"path", kText, "the binary path with its arguments, for create"},
    {"startuptype", kText, "0 manual, 1 automatic, 2 disabled, 3 boot, 4 system"},
    {"status", kText, "1 stopped, 2 start pending, 3 stop pending, 4 running, 5 continue "
                      "pending, 6 pause pending, 7 paused; setStatus also 8 (restart)"},
    {"errorcode", kNumber, kErrorCodeMeaning},
};

constexpr int32_t kYes = 1;  // the service manager's "yes / done"
constexpr uint32_t kQueryAccess = p::SERVICE_QUERY_CONFIG | p::SERVICE_QUERY_STATUS;
constexpr uint32_t kServiceAllAccess = p::SERVICE_ALL_ACCESS;  // 0xF01FF
constexpr uint32_t kFullAccess = 0xF003F;  // what create, delete and collect ask for

template <class... Args>
void Error(const wchar_t* format, Args... args) {
  FrameworkLog::Instance().Write(LogLevel::Error, format, args...);
}
template <class... Args>
void Info(const wchar_t* format, Args... args) {
  FrameworkLog::Instance().Write(LogLevel::Info, format, args...);
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The part of a binary path create checks: lower-cased, cut after the
// first of ".exe", ".dll", ".sys", ".ini" (the arguments dropped).
std::wstring CheckedImage(const std::wstring& path) {
  const std::wstring lower = Lower(path);
  for (const wchar_t* ext : {L".exe", L".dll", L".sys", L".ini"}) {
    const size_t at = lower.find(ext);
    if (at != std::wstring::npos) return lower.substr(0, at + 4);
  }
  return lower;
}

int32_t HostPathStatus(const std::wstring& windowsPath) {
  p::IMachine* machine = p::currentMachine();
  if (!machine) return 0;
  std::string host;
  p::WinError e = machine->paths().toHostPath(windowsPath, host);
  uint32_t attributes = 0;
  if (e == p::ERROR_SUCCESS) e = p::getFileAttributes(host, attributes);
  if (e == p::ERROR_FILE_NOT_FOUND || e == p::ERROR_PATH_NOT_FOUND) return 0;
  return static_cast<int32_t>(e);
}

std::shared_ptr<p::IServiceManager> MachineServiceManager() {
  p::IMachine* machine = p::currentMachine();
  if (!machine) return nullptr;
  return p::createServiceManager(*machine);
}

}  // namespace

constinit const PluginSurface Service::kSurface{
    "Service", kComponentPath, kMethods, kProperties,
    "Checks, starts, stops, configures, creates, deletes and collects Windows services."};

Service::Service(StackFrame& args) : Service(args, MachineServiceManager(), HostPathStatus) {}

Service::Service(StackFrame& args, std::shared_ptr<p::IServiceManager> manager,
                 PathStatus pathStatus)
    : manager_(std::move(manager)), pathStatus_(std::move(pathStatus)) {
  RegisterSurface(kSurface);
  args.GetNamedText("name", name_);
  args.GetNamedText("displayname", displayname_);
  args.GetNamedText("path", path_);
  args.GetNamedText("startuptype", startuptype_);
  args.GetNamedText("status", status_);
  BindProperty("name", name_);
  BindProperty("displayname", displayname_);
  BindProperty("path", path_);
  BindProperty("startuptype", startuptype_);
  BindProperty("status", status_);
  BindProperty("errorcode", errorcode_);
  scmError_ = manager_ ? static_cast<int32_t>(manager_->openManager(p::SC_MANAGER_ALL_ACCESS, &scm_))
                       : static_cast<int32_t>(p::ERROR_INVALID_HANDLE);
}

Service::~Service() {
  CloseService();
  if (manager_ && scm_ != p::kNoScHandle) manager_->closeHandle(scm_);
}

uint32_t Service::ToWindowsStartType(int32_t number) {
  switch (number) {
    case 0: return p::SERVICE_DEMAND_START;
    case 2: return p::SERVICE_DISABLED;
    case 3: return p::SERVICE_BOOT_START;
    case 4: return p::SERVICE_SYSTEM_START;
    default: return p::SERVICE_AUTO_START;
  }
}

int32_t Service::FromWindowsStartType(uint32_t startType) {
  switch (startType) {
    case p::SERVICE_DEMAND_START: return 0;
    case p::SERVICE_AUTO_START: return 1;
    case p::SERVICE_DISABLED: return 2;
    case p::SERVICE_BOOT_START: return 3;
    case p::SERVICE_SYSTEM_START: return 4;
    default: return -1;
  }
}

std::wstring Service::StateName(uint32_t state) {
  static const wchar_t* const kNames[] = {
      L"SERVICE_STOPPED",      L"SERVICE_START_PENDING",    L"SERVICE_STOP_PENDING",
      L"SERVICE_RUNNING",      L"SERVICE_CONTINUE_PENDING", L"SERVICE_PAUSE_PENDING",
      L"SERVICE_PAUSED",       L"SERVICE_RESTART"};
  return state >= 1 && state <= 8 ? kNames[state - 1] : L"";
}

std::wstring Service::StartTypeName(uint32_t startType) {
  static const wchar_t* const kNames[] = {
      L"SERVICE_STARTUP_BOOTSTART", L"SERVICE_STARTUP_SYSTEMSTART", L"SERVICE_STARTUP_AUTOMATIC",
      L"SERVICE_STARTUP_MANUAL", L"SERVICE_STARTUP_DISABLED"};
  return startType <= 4 ? kNames[startType] : L"";
}

int32_t Service::OpenService(p::ScHandle manager, const std::wstring& name, uint32_t access) {
  CloseService();
  if (!manager_) return p::ERROR_INVALID_HANDLE;
  return static_cast<int32_t>(manager_->openService(manager, name, access, &service_));
}

void Service::CloseService() {
  // Reset before anything else: a handle is closed once, even when the
  // plug-in is destroyed right after a call closed it.
  const p::ScHandle handle = service_;
  service_ = p::kNoScHandle;
  if (manager_ && handle != p::kNoScHandle) manager_->closeHandle(handle);
}

std::unique_ptr<CJSONReturn> Service::Run(
    const char* method, std::initializer_list<std::wstring> inputs, bool inputsMissing,
    const std::function<int32_t()>& work,
    const std::function<void(const std::wstring&)>& onException) {
  int32_t code = 0;
  PluginCall call = BeginCall(method, code);
  auto result = std::make_unique<CJSONServiceReturn>();
  result->status = true;
  for (const std::wstring& value : inputs) call.Input(value);
  if (inputsMissing) {
    call.ArgumentError(plugin_error::kInvalidParameter, nullptr);
    result->status = false;
    return call.Finish(std::move(result));
  }
  int32_t answer = plugin_error::kApiFailed;
  try {
    answer = work();
  } catch (const std::exception& e) {
    onException(fromUtf8(e.what()));
  } catch (...) {
    onException(L"unknown exception");
  }
  CloseService();
  if (answer == kYes) {
    result->returnValue = true;
    call.SetError(0);
  } else {
    call.SetError(answer);
    if (answer == plugin_error::kApiFailed) result->status = false;
  }
  call.SetExecuted(answer == kYes);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Service::isPresent(StackFrame&) {
  return Run(
      __func__, {name_, startuptype_, status_}, name_.empty(),
      [&]() -> int32_t {
        if (int32_t e = OpenService(scm_, name_, kQueryAccess)) {
          Error(L"Service not installed : %s Error code : %ld", name_.c_str(), static_cast<long>(e));
          return e;
        }
        if (!startuptype_.empty()) {
          const int32_t wanted = TextToInt(startuptype_);
          p::ServiceConfig config;
          if (int32_t e = manager_->queryConfig(service_, &config)) {
            Error(L"Failed to query service configuration for service  while get startuptype. "
                  L"Insufficient buffer size.");
            return e;
          }
          if (FromWindowsStartType(config.startType) != wanted)
            return plugin_error::kServiceStartupNotPresent;
        }
        if (!status_.empty()) {
          const int32_t wanted = TextToInt(status_);
          p::ServiceStatus status;
          if (manager_->queryStatus(service_, &status) == p::ERROR_SUCCESS &&
              static_cast<int32_t>(status.currentState) != wanted)
            return plugin_error::kServiceStatusNotPresent;
        }
        return kYes;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown for service : %s and exception is : %s  while set startuptype",
              name_.c_str(), what.c_str());
      });
}

std::unique_ptr<CJSONReturn> Service::checkStartUpType(StackFrame&) {
  return Run(
      __func__, {name_, startuptype_}, name_.empty() || startuptype_.empty(),
      [&]() -> int32_t {
        if (int32_t e = OpenService(scm_, name_, kQueryAccess)) {
          Error(L"Failed to query service configuration for service : %s. Error code : %ld",
                name_.c_str(), static_cast<long>(e));
          return e;
        }
        p::ServiceConfig config;
        if (int32_t e = manager_->queryConfig(service_, &config)) {
          Error(L"Failed to query service configuration for service : %s . Insufficient buffer "
                L"size.",
                name_.c_str());
          return e;
        }
        if (FromWindowsStartType(config.startType) == TextToInt(startuptype_)) {
          Info(L"Service: %s with startuptype : %s found", name_.c_str(), startuptype_.c_str());
          return kYes;
        }
        Error(L"Service: %s with startuptype : %s not found", name_.c_str(), startuptype_.c_str());
        return plugin_error::kServiceStartupNotFound;
      },
      [&](const std::wstring&) {
        Error(L"Exception thrown for service : %s and exception is : %ld", name_.c_str(),
              static_cast<long>(plugin_error::kApiFailed));
      });
}

std::unique_ptr<CJSONReturn> Service::checkStatus(StackFrame&) {
  return Run(
      __func__, {name_, status_}, name_.empty() || status_.empty(),
      [&]() -> int32_t {
        if (int32_t e = OpenService(scm_, name_, kQueryAccess)) {
          Error(L"Unable to open query configuration : %s. Error code : %ld", name_.c_str(),
                static_cast<long>(e));
          return e;
        }
        p::ServiceStatus status;
        const p::WinError e = manager_->queryStatus(service_, &status);
        CloseService();
        if (e != p::ERROR_SUCCESS) {
          Error(L"Could not query service : %s status.", name_.c_str());
          return 0;
        }
        if (static_cast<int32_t>(status.currentState) == TextToInt(status_)) {
          Info(L"Service with status found.");
          return kYes;
        }
        Error(L"Service: %s with status: %s not found.", name_.c_str(), status_.c_str());
        return plugin_error::kServiceStatusNotFound;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown for service : %s and exception is : %s", name_.c_str(),
              what.c_str());
      });
}

std::unique_ptr<CJSONReturn> Service::setStartUpType(StackFrame&) {
  return Run(
      __func__, {name_, startuptype_}, name_.empty() || startuptype_.empty(),
      [&]() -> int32_t {
        if (int32_t e = OpenService(scm_, name_, p::SERVICE_CHANGE_CONFIG)) {
          Error(L"Failed to open service : %s  while set startuptype. Error code : %ld",
                name_.c_str(), static_cast<long>(e));
          return e;
        }
        p::ServiceConfigChange change;
        change.startType = ToWindowsStartType(TextToInt(startuptype_));
        if (int32_t e = manager_->changeConfig(service_, change)) {
          Error(L"Startuptype change API failed. Error code : %ld", static_cast<long>(e));
          return e;
        }
        return kYes;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown while set startuptype. Exception is : %s", what.c_str());
      });
}

int32_t Service::Control(uint32_t control, const std::wstring& wantedText) {
  p::ServiceStatus status;
  if (int32_t e = manager_->controlService(service_, control, &status)) {
    Error(L"Failed to start service (%s) and set status to : %s. Error code : %ld", name_.c_str(),
          wantedText.c_str(), static_cast<long>(e));
    return e;
  }
  Info(L"Service (%s) status set successfully", name_.c_str());
  return kYes;
}

int32_t Service::ChangeStatus(const std::wstring& wantedText) {
  if (int32_t e = OpenService(scm_, name_, kServiceAllAccess)) {
    Error(L"Failed to open service : %s while service set status. Error code : %ld", name_.c_str(),
          static_cast<long>(e));
    return e;
  }
  p::ServiceStatus status;
  if (int32_t e = manager_->queryStatus(service_, &status)) return e;
  const int32_t wanted = TextToInt(wantedText);
  const uint32_t current = status.currentState;
  if (static_cast<int32_t>(current) == wanted) {
    Info(L"Service (%s) status set successfully to : %s", name_.c_str(), wantedText.c_str());
    return kYes;
  }
  auto start = [&](const wchar_t* failure) -> int32_t {
    if (int32_t e = manager_->startService(service_)) {
      Error(failure, name_.c_str(), wantedText.c_str(), static_cast<long>(e));
      return e;
    }
    return kYes;
  };
  switch (wanted) {
    case 1:
      return Control(p::SERVICE_CONTROL_STOP, wantedText);
    case 4:
      if (current == p::SERVICE_PAUSED) return Control(p::SERVICE_CONTROL_CONTINUE, wantedText);
      return start(L"Failed to start service (%s) and set status to : %s. Error code : %ld");
    case 7:
      return Control(p::SERVICE_CONTROL_PAUSE, wantedText);
    case 8:
      if (current == p::SERVICE_PAUSED) return Control(p::SERVICE_CONTROL_CONTINUE, wantedText);
      if (current == p::SERVICE_STOPPED)
        return start(L"Failed to start service (%s) status to : %s. Error code : %ld");
      if (int32_t stopped = Control(p::SERVICE_CONTROL_STOP, wantedText); stopped != kYes)
        return stopped;
      return start(L"Failed to set service (%s) and status to : %s. Error code : %ld");
    default:
      return plugin_error::kServiceStatusNotHandled;
  }
}

std::unique_ptr<CJSONReturn> Service::setStatus(StackFrame&) {
  return Run(
      __func__, {name_, status_}, name_.empty() || status_.empty(),
      [&] { return ChangeStatus(status_); },
      [&](const std::wstring& what) {
        Error(L"Exception thrown while service setStatus. Exception is : %s", what.c_str());
      });
}

std::unique_ptr<CJSONReturn> Service::create(StackFrame&) {
  p::ScHandle manager = p::kNoScHandle;
  auto result = Run(
      __func__, {name_, displayname_, path_, startuptype_},
      name_.empty() || path_.empty() || startuptype_.empty(),
      [&]() -> int32_t {
        if (!manager_) return p::ERROR_INVALID_HANDLE;
        if (int32_t e = manager_->openManager(p::SC_MANAGER_CREATE_SERVICE, &manager)) {
          Error(L"Failed to open service manager while create service. Error code : %ld",
                static_cast<long>(e));
          return e;
        }
        p::ServiceCreateRequest request;
        request.startType = ToWindowsStartType(TextToInt(startuptype_));
        const std::wstring image = CheckedImage(path_);
        if (int32_t e = pathStatus_ ? pathStatus_(image) : 0) {
          Error(L"Service Path: %s Error : %s while create service. Boost error code %ld",
                image.c_str(), p::systemErrorMessage(static_cast<uint32_t>(e)).c_str(),
                static_cast<long>(e));
          return e;
        }
        request.serviceName = name_;
        request.displayName = displayname_;
        request.desiredAccess = kFullAccess;
        request.serviceType = p::SERVICE_WIN32_OWN_PROCESS;
        request.errorControl = p::SERVICE_ERROR_NORMAL;
        request.binaryPathName = path_;
        if (int32_t e = manager_->createService(manager, request, &service_)) {
          Error(L"Failed to create service : %s. Error code : %ld", name_.c_str(),
                static_cast<long>(e));
          return e;
        }
        Info(L"Service : %s created successfully", name_.c_str());
        return kYes;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown in create service. Exception is : %s", what.c_str());
      });
  if (manager != p::kNoScHandle) manager_->closeHandle(manager);
  return result;
}

std::unique_ptr<CJSONReturn> Service::deleteService(StackFrame&) {
  p::ScHandle manager = p::kNoScHandle;
  p::ScHandle service = p::kNoScHandle;
  auto result = Run(
      __func__, {name_}, name_.empty(),
      [&]() -> int32_t {
        if (!manager_) return p::ERROR_INVALID_HANDLE;
        if (int32_t e = manager_->openManager(p::SC_MANAGER_CREATE_SERVICE, &manager)) {
          Error(L"Failed to open service manager while delete service. Error code : %ld",
                static_cast<long>(e));
          return e;
        }
        if (int32_t e = manager_->openService(manager, name_, kFullAccess, &service)) {
          Error(L"Failed to open service : %s for deletion. Error code : %ld", name_.c_str(),
                static_cast<long>(e));
          return e;
        }
        p::ServiceStatus status;
        if (int32_t e = manager_->queryStatus(service, &status)) {
          Error(L"Failed to get status of service : %s while delete service. Error code : %d",
                name_.c_str(), e);
          return e;
        }
        if (status.currentState == p::SERVICE_RUNNING) {
          const int32_t stopped = ChangeStatus(L"1");
          CloseService();
          if (stopped != kYes) {
            Error(L"Failed to stop service : %s while delete service. Error code : %d",
                  name_.c_str(), stopped);
            return stopped;
          }
        }
        if (int32_t e = manager_->deleteService(service)) {
          Error(L"Delete service : %s failed. Error code : %ld", name_.c_str(),
                static_cast<long>(e));
          return plugin_error::kDeleteServiceFailed;
        }
        Info(L"Delete service : %s successfully", name_.c_str());
        return kYes;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown  while delete service. Exception is : %s", what.c_str());
      });
  // The service handle first: closing the one that deleted a stopped
  // service removes its key.
  if (service != p::kNoScHandle) manager_->closeHandle(service);
  if (manager != p::kNoScHandle) manager_->closeHandle(manager);
  return result;
}

std::unique_ptr<CJSONReturn> Service::hasDependency(StackFrame& args) {
  const bool given = args.Count() >= 2;
  const std::wstring dependentName = given ? args.TextAt(0) : std::wstring();
  const std::wstring dependentStatusText = given ? args.TextAt(1) : std::wstring();
  // Converted before anything else: a text that is no number throws out of
  // the method, and the script gets the empty result.
  const int32_t dependentStatus = dependentStatusText.empty() ? 0 : TextToInt(dependentStatusText);
  return Run(
      __func__, {name_, dependentName, dependentStatusText},
      name_.empty() || dependentName.empty() || dependentStatusText.empty(),
      [&]() -> int32_t {
        if (int32_t e = OpenService(scm_, name_, kServiceAllAccess)) {
          Error(L"Failed to get handle to service : %s while checking dependency", name_.c_str());
          return e;
        }
        std::vector<p::ServiceEntry> dependents;
        if (int32_t e = manager_->enumDependents(service_, p::SERVICE_STATE_ALL, &dependents)) {
          Error(L"Failed to get dependent services list for service : %s", name_.c_str());
          return e;
        }
        if (dependents.empty()) {
          Error(L"Service : %s, does not have dependent service(s)", name_.c_str());
          return plugin_error::kNoDependentServices;
        }
        const std::wstring wanted = Lower(dependentName);
        for (const p::ServiceEntry& dependent : dependents) {
          if (Lower(dependent.serviceName) != wanted) continue;
          if (static_cast<int32_t>(dependent.status.currentState) == dependentStatus) {
            Info(L"Service : %s, has depedency on service : %s", name_.c_str(),
                 dependentName.c_str());
            return kYes;
          }
          Info(L"Service : %s, has depedency on service : %s, but status of dependent service "
               L"does not match",
               name_.c_str(), dependentName.c_str());
          return plugin_error::kDependentStatusMismatch;
        }
        return plugin_error::kNotDependent;
      },
      [&](const std::wstring& what) {
        Error(L"Exception thrown  while checking dependency. Exception is : %s", what.c_str());
      });
}

std::unique_ptr<CMethodDispatcher> CreateServicePlugin(StackFrame& args) {
  return std::make_unique<Service>(args);
}

}  // namespace zorel
