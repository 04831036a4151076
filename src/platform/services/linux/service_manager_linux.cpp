// The service control manager over the machine's registry and host
// processes (see service_manager.h). Configuration reads and writes go to
// HKLM\SYSTEM\CurrentControlSet\Services; the run state to
// service_run_state_linux.h, changed under its lock.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>

#include "services/linux/service_run_state_linux.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/services/service_manager.h"

namespace zorel::platform {
namespace {

using detail::RecordedProcess;
using detail::RunRecord;
using detail::serviceKey;

constexpr std::wstring_view kServicesKey = L"SYSTEM\\CurrentControlSet\\Services";
constexpr std::wstring_view kControlKey = L"SYSTEM\\CurrentControlSet\\Control";
constexpr uint32_t kDefaultWaitToKillMs = 5000;
constexpr uint32_t kPauseChangeMs = 1000;
constexpr uint32_t kAfterKillMs = 5000;

bool isWin32(uint32_t type) { return (type & SERVICE_WIN32) != 0; }
bool isDriver(uint32_t type) {
  return !isWin32(type) && (type == SERVICE_KERNEL_DRIVER || type == SERVICE_FILE_SYSTEM_DRIVER);
}

bool validName(std::wstring_view name) {
  return !name.empty() && name.size() <= kMaxServiceNameChars &&
         name.find_first_of(L"/\\") == std::wstring_view::npos;
}

// A service's key and the values the manager reads.
struct ServiceKey {
  std::wstring name;  // as the key is spelt
  ServiceConfig config;
  bool deleteFlag = false;
};

class LinuxServiceManager final : public IServiceManager {
 public:
  explicit LinuxServiceManager(IMachine& machine)
      : machine_(machine), registry_(machine.registry()), runState_(machine.hostRoot()) {}

  ~LinuxServiceManager() override = default;

  WinError openManager(uint32_t desiredAccess, ScHandle* manager) override {
    *manager = kNoScHandle;
    std::lock_guard<std::mutex> lock(mutex_);
    *manager = addHandle(Handle{true, {}, desiredAccess, 0});
    return ERROR_SUCCESS;
  }

  WinError openService(ScHandle manager, std::wstring_view name, uint32_t desiredAccess,
                       ScHandle* service) override {
    *service = kNoScHandle;
    if (!managerHandle(manager)) return ERROR_INVALID_HANDLE;
    if (!validName(name)) return ERROR_INVALID_NAME;
    ServiceKey key;
    if (WinError e = readService(name, &key)) return e;
    std::lock_guard<std::mutex> lock(mutex_);
    *service = addHandle(Handle{false, key.name, desiredAccess, key.config.serviceType});
    return ERROR_SUCCESS;
  }

  WinError closeHandle(ScHandle handle) override {
    Handle closed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = handles_.find(static_cast<uint64_t>(handle));
      if (it == handles_.end()) return ERROR_INVALID_HANDLE;
      closed = it->second;
      handles_.erase(it);
    }
    if (!closed.manager && !handleOpenTo(closed.name)) {
      ServiceKey key;
      if (readService(closed.name, &key) == ERROR_SUCCESS && key.deleteFlag) {
        detail::ServiceRunState::Lock lock(runState_);
        if (stateLocked(key.name, key.config.serviceType, nullptr) == SERVICE_STOPPED)
          removeKey(key.name);
      }
    }
    return ERROR_SUCCESS;
  }

  WinError queryConfig(ScHandle service, ServiceConfig* config) override {
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_QUERY_CONFIG, &h)) return e;
    ServiceKey key;
    if (WinError e = readService(h.name, &key)) return e;
    *config = std::move(key.config);
    return ERROR_SUCCESS;
  }

  WinError queryStatus(ScHandle service, ServiceStatus* status) override {
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_QUERY_STATUS, &h)) return e;
    *status = statusOf(h.type, currentRecord(h.name, h.type));
    return ERROR_SUCCESS;
  }

  WinError enumServices(ScHandle manager, uint32_t serviceType, uint32_t serviceState,
                        std::vector<ServiceEntry>* services) override {
    services->clear();
    const std::optional<uint32_t> m = managerHandle(manager);
    if (!m) return ERROR_INVALID_HANDLE;
    if (!(*m & SC_MANAGER_ENUMERATE_SERVICE)) return ERROR_ACCESS_DENIED;
    if (serviceType == 0 || (serviceType & ~SERVICE_TYPE_ALL) != 0 || serviceState == 0 ||
        serviceState > SERVICE_STATE_ALL)
      return ERROR_INVALID_PARAMETER;
    const std::vector<RunRecord> records = runState_.read();
    for (ServiceKey& key : allServices()) {
      const uint32_t type = key.config.serviceType;
      const bool wanted = ((serviceType & SERVICE_WIN32) && isWin32(type)) ||
                          ((serviceType & SERVICE_DRIVER) && !isWin32(type));
      if (!wanted) continue;
      ServiceEntry entry{key.name, key.config.displayName,
                         statusOf(type, liveRecord(records, key.name, type))};
      if (inStates(entry.status.currentState, serviceState)) services->push_back(std::move(entry));
    }
    return ERROR_SUCCESS;
  }

  WinError enumDependents(ScHandle service, uint32_t serviceState,
                          std::vector<ServiceEntry>* dependents) override {
    dependents->clear();
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_ENUMERATE_DEPENDENTS, &h)) return e;
    if (serviceState == 0 || serviceState > SERVICE_STATE_ALL) return ERROR_INVALID_PARAMETER;
    const std::vector<RunRecord> records = runState_.read();
    for (ServiceKey& key : dependentsOf(h.name)) {
      const uint32_t type = key.config.serviceType;
      ServiceEntry entry{key.name, key.config.displayName,
                         statusOf(type, liveRecord(records, key.name, type))};
      if (inStates(entry.status.currentState, serviceState))
        dependents->push_back(std::move(entry));
    }
    return ERROR_SUCCESS;
  }

  WinError changeConfig(ScHandle service, const ServiceConfigChange& change) override {
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_CHANGE_CONFIG, &h)) return e;
    ServiceKey key;
    if (WinError e = readService(h.name, &key)) return e;
    if (key.deleteFlag) return ERROR_SERVICE_MARKED_FOR_DELETE;
    const uint32_t type =
        change.serviceType == SERVICE_NO_CHANGE ? key.config.serviceType : change.serviceType;
    const uint32_t start =
        change.startType == SERVICE_NO_CHANGE ? key.config.startType : change.startType;
    if (WinError e = checkTypes(type, start)) return e;
    if (change.displayName && !change.displayName->empty()) {
      if (WinError e = checkDisplayName(*change.displayName, key.name)) return e;
    }
    RegKey k = kRegNoKey;
    if (WinError e = registry_.openKey(kHkeyLocalMachine, servicePath(key.name), 0,
                                       KEY_SET_VALUE, &k))
      return e;
    WinError e = ERROR_SUCCESS;
    auto set = [&](std::wstring_view name, uint32_t valueType, std::vector<uint8_t> data) {
      if (e == ERROR_SUCCESS) e = writeValue(registry_, k, name, valueType, data);
    };
    registry_.beginBatch();
    if (change.serviceType != SERVICE_NO_CHANGE) set(L"Type", REG_DWORD, regDword(type));
    if (change.startType != SERVICE_NO_CHANGE) set(L"Start", REG_DWORD, regDword(start));
    if (change.errorControl != SERVICE_NO_CHANGE)
      set(L"ErrorControl", REG_DWORD, regDword(change.errorControl));
    if (change.binaryPathName) set(L"ImagePath", REG_EXPAND_SZ, regSz(*change.binaryPathName));
    if (change.displayName && !change.displayName->empty())
      set(L"DisplayName", REG_SZ, regSz(*change.displayName));
    if (e == ERROR_SUCCESS) e = registry_.commitBatch();
    else registry_.abortBatch();
    registry_.closeKey(k);
    if (e == ERROR_SUCCESS) updateHandleTypes(key.name, type);
    return e;
  }

  WinError startService(ScHandle service) override {
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_START, &h)) return e;
    detail::ServiceRunState::Lock lock(runState_);
    if (lock.error()) return lock.error();
    std::vector<std::wstring> chain;
    return startLocked(h.name, chain);
  }

  WinError controlService(ScHandle service, uint32_t control, ServiceStatus* status) override {
    uint32_t right = 0;
    switch (control) {
      case SERVICE_CONTROL_STOP: right = SERVICE_STOP; break;
      case SERVICE_CONTROL_PAUSE:
      case SERVICE_CONTROL_CONTINUE: right = SERVICE_PAUSE_CONTINUE; break;
      case SERVICE_CONTROL_INTERROGATE: right = SERVICE_INTERROGATE; break;
      default: break;
    }
    Handle h;
    if (WinError e = serviceHandle(service, right, &h)) return e;
    if (right == 0) return ERROR_INVALID_SERVICE_CONTROL;
    detail::ServiceRunState::Lock lock(runState_);
    if (lock.error()) return lock.error();
    RunRecord rec;
    const uint32_t state = stateLocked(h.name, h.type, &rec);
    if (state == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    WinError e = ERROR_SUCCESS;
    switch (control) {
      case SERVICE_CONTROL_STOP: e = stopLocked(h.name, h.type, rec, state); break;
      case SERVICE_CONTROL_PAUSE:
        if (state != SERVICE_PAUSED) e = changePause(rec, SIGSTOP, RecordedProcess::kStopped);
        break;
      case SERVICE_CONTROL_CONTINUE:
        if (state != SERVICE_RUNNING) e = changePause(rec, SIGCONT, RecordedProcess::kRunning);
        break;
      default: break;
    }
    if (status) *status = statusOf(h.type, liveRecord(runState_.read(), h.name, h.type));
    return e;
  }

  WinError createService(ScHandle manager, const ServiceCreateRequest& request,
                         ScHandle* service) override {
    *service = kNoScHandle;
    const std::optional<uint32_t> m = managerHandle(manager);
    if (!m) return ERROR_INVALID_HANDLE;
    if (!(*m & SC_MANAGER_CREATE_SERVICE)) return ERROR_ACCESS_DENIED;
    if (!validName(request.serviceName)) return ERROR_INVALID_NAME;
    if (WinError e = checkTypes(request.serviceType, request.startType)) return e;
    const std::wstring displayName =
        request.displayName.empty() ? request.serviceName : request.displayName;
    RegKey existing = kRegNoKey;
    if (registry_.openKey(kHkeyLocalMachine, servicePath(request.serviceName), 0,
                          KEY_QUERY_VALUE, &existing) == ERROR_SUCCESS) {
      registry_.closeKey(existing);
      return ERROR_SERVICE_EXISTS;
    }
    if (WinError e = checkDisplayName(displayName, request.serviceName)) return e;
    RegKey k = kRegNoKey;
    if (WinError e = registry_.createKey(kHkeyLocalMachine, servicePath(request.serviceName), 0,
                                         KEY_ALL_ACCESS, &k, nullptr))
      return e;
    WinError e = ERROR_SUCCESS;
    auto set = [&](std::wstring_view name, uint32_t valueType, std::vector<uint8_t> data) {
      if (e == ERROR_SUCCESS) e = writeValue(registry_, k, name, valueType, data);
    };
    registry_.beginBatch();
    set(L"Type", REG_DWORD, regDword(request.serviceType));
    set(L"Start", REG_DWORD, regDword(request.startType));
    set(L"ErrorControl", REG_DWORD, regDword(request.errorControl));
    set(L"ImagePath", REG_EXPAND_SZ, regSz(request.binaryPathName));
    set(L"DisplayName", REG_SZ, regSz(displayName));
    if (isWin32(request.serviceType))
      set(L"ObjectName", REG_SZ,
          regSz(request.serviceStartName.empty() ? L"LocalSystem" : request.serviceStartName));
    if (!request.loadOrderGroup.empty()) set(L"Group", REG_SZ, regSz(request.loadOrderGroup));
    std::vector<std::wstring> services, groups;
    splitDependencies(request.dependencies, &services, &groups);
    if (!services.empty()) set(L"DependOnService", REG_MULTI_SZ, regMultiSz(services));
    if (!groups.empty()) set(L"DependOnGroup", REG_MULTI_SZ, regMultiSz(groups));
    if (e == ERROR_SUCCESS) e = registry_.commitBatch();
    else registry_.abortBatch();
    registry_.closeKey(k);
    if (e != ERROR_SUCCESS) {
      registry_.deleteTree(kHkeyLocalMachine, servicePath(request.serviceName));
      return e;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    *service = addHandle(
        Handle{false, request.serviceName, request.desiredAccess, request.serviceType});
    return ERROR_SUCCESS;
  }

  WinError deleteService(ScHandle service) override {
    Handle h;
    if (WinError e = serviceHandle(service, SERVICE_DELETE_ACCESS, &h)) return e;
    ServiceKey key;
    if (WinError e = readService(h.name, &key)) return e;
    if (key.deleteFlag) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (WinError e = writeValueAt(registry_, kHkeyLocalMachine, servicePath(key.name),
                                  L"DeleteFlag", REG_DWORD, regDword(1)))
      return e;
    return ERROR_SUCCESS;
  }

 private:
  struct Handle {
    bool manager = false;
    std::wstring name;  // the service's key name
    uint32_t access = 0;
    uint32_t type = 0;  // the service type when opened
  };

  ScHandle addHandle(Handle h) {
    const uint64_t id = nextHandle_++;
    handles_.emplace(id, std::move(h));
    return static_cast<ScHandle>(id);
  }

  // The access of a manager handle, or nullopt when it is none.
  std::optional<uint32_t> managerHandle(ScHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(static_cast<uint64_t>(handle));
    if (it == handles_.end() || !it->second.manager) return std::nullopt;
    return it->second.access;
  }

  // Copies the service handle's entry. 6 for no such handle, 5 without
  // `right`.
  WinError serviceHandle(ScHandle handle, uint32_t right, Handle* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(static_cast<uint64_t>(handle));
    if (it == handles_.end() || it->second.manager) return ERROR_INVALID_HANDLE;
    if ((it->second.access & right) != right) return ERROR_ACCESS_DENIED;
    *out = it->second;
    return ERROR_SUCCESS;
  }

  void updateHandleTypes(const std::wstring& name, uint32_t type) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::wstring k = serviceKey(name);
    for (auto& [id, h] : handles_)
      if (!h.manager && serviceKey(h.name) == k) h.type = type;
  }

  // True while this manager has a handle open to the service `name`.
  bool handleOpenTo(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::wstring k = serviceKey(name);
    for (const auto& [id, h] : handles_)
      if (!h.manager && serviceKey(h.name) == k) return true;
    return false;
  }

  static std::wstring servicePath(std::wstring_view name) {
    std::wstring path(kServicesKey);
    path += L'\\';
    path += name;
    return path;
  }

  static bool inStates(uint32_t state, uint32_t filter) {
    const bool active = state != SERVICE_STOPPED;
    return (active && (filter & SERVICE_ACTIVE)) || (!active && (filter & SERVICE_INACTIVE));
  }

  static void splitDependencies(const std::vector<std::wstring>& all,
                                std::vector<std::wstring>* services,
                                std::vector<std::wstring>* groups) {
    for (const std::wstring& d : all) {
      if (d.empty()) continue;
      if (d[0] == L'+') groups->push_back(d.substr(1));
      else services->push_back(d);
    }
  }

  static WinError checkTypes(uint32_t type, uint32_t start) {
    if (start > SERVICE_DISABLED) return ERROR_INVALID_PARAMETER;
    if (isWin32(type) && (start == SERVICE_BOOT_START || start == SERVICE_SYSTEM_START))
      return ERROR_INVALID_PARAMETER;
    if (!isWin32(type) && !isDriver(type)) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
  }

  // 1078 when another service has `displayName` as its display or key name.
  WinError checkDisplayName(const std::wstring& displayName, const std::wstring& self) {
    const std::wstring wanted = serviceKey(displayName);
    const std::wstring selfKey = serviceKey(self);
    for (const ServiceKey& other : allServices()) {
      if (serviceKey(other.name) == selfKey) continue;
      if (serviceKey(other.config.displayName) == wanted || serviceKey(other.name) == wanted)
        return ERROR_DUPLICATE_SERVICE_NAME;
    }
    return ERROR_SUCCESS;
  }

  // Reads the service `name`: 1060 when there is no such key or it has no
  // Type value.
  WinError readService(std::wstring_view name, ServiceKey* out) {
    RegKey k = kRegNoKey;
    if (registry_.openKey(kHkeyLocalMachine, servicePath(name), 0, KEY_QUERY_VALUE, &k) !=
        ERROR_SUCCESS)
      return ERROR_SERVICE_DOES_NOT_EXIST;
    const bool ok = readValues(k, out);
    std::wstring path;
    if (ok && registry_.keyPath(k, &path) == ERROR_SUCCESS) {
      const size_t slash = path.find_last_of(L'\\');
      out->name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    } else {
      out->name = std::wstring(name);
    }
    registry_.closeKey(k);
    return ok ? ERROR_SUCCESS : ERROR_SERVICE_DOES_NOT_EXIST;
  }

  // Fills the configuration from an open key. False without a Type value.
  bool readValues(RegKey k, ServiceKey* out) {
    ServiceConfig& c = out->config;
    bool hasType = false;
    std::vector<std::wstring> serviceDeps, groupDeps;
    RegValue v;
    for (uint32_t i = 0; readValueAt(registry_, k, i, &v) == ERROR_SUCCESS; ++i) {
      const std::wstring name = serviceKey(v.name);
      auto dword = [&] {
        uint32_t n = 0;
        if (v.data.size() >= 4)
          n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        return n;
      };
      if (name == L"type") {
        c.serviceType = dword();
        hasType = true;
      } else if (name == L"start") {
        c.startType = dword();
      } else if (name == L"errorcontrol") {
        c.errorControl = dword();
      } else if (name == L"tag") {
        c.tagId = dword();
      } else if (name == L"deleteflag") {
        out->deleteFlag = dword() != 0;
      } else if (name == L"imagepath") {
        c.binaryPathName = regText(v.data);
      } else if (name == L"displayname") {
        c.displayName = regText(v.data);
      } else if (name == L"objectname") {
        c.serviceStartName = regText(v.data);
      } else if (name == L"group") {
        c.loadOrderGroup = regText(v.data);
      } else if (name == L"dependonservice") {
        serviceDeps = v.type == REG_MULTI_SZ ? regMultiText(v.data)
                                               : std::vector<std::wstring>{regText(v.data)};
      } else if (name == L"dependongroup") {
        groupDeps = v.type == REG_MULTI_SZ ? regMultiText(v.data)
                                             : std::vector<std::wstring>{regText(v.data)};
      }
    }
    for (std::wstring& d : serviceDeps)
      if (!d.empty()) c.dependencies.push_back(std::move(d));
    for (std::wstring& g : groupDeps)
      if (!g.empty()) c.dependencies.push_back(L"+" + g);
    if (c.displayName.empty()) c.displayName = out->name;
    return hasType;
  }

  // Every service, in key order.
  std::vector<ServiceKey> allServices() {
    std::vector<ServiceKey> all;
    RegKey root = kRegNoKey;
    if (registry_.openKey(kHkeyLocalMachine, kServicesKey, 0, KEY_READ, &root) != ERROR_SUCCESS)
      return all;
    std::wstring name;
    for (uint32_t i = 0; readSubKeyAt(registry_, root, i, &name) == ERROR_SUCCESS; ++i) {
      RegKey k = kRegNoKey;
      if (registry_.openKey(root, name, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) continue;
      ServiceKey key;
      key.name = name;
      if (readValues(k, &key)) {
        if (key.config.displayName.empty()) key.config.displayName = name;
        all.push_back(std::move(key));
      }
      registry_.closeKey(k);
    }
    registry_.closeKey(root);
    return all;
  }

  // The dependents of `name`, direct and indirect, each before what it
  // depends on (a depth-first walk listing a service after its own
  // dependents).
  std::vector<ServiceKey> dependentsOf(const std::wstring& name) {
    std::vector<ServiceKey> all = allServices();
    std::vector<ServiceKey> order;
    std::set<std::wstring> seen{serviceKey(name)};
    auto visit = [&](auto& self, const std::wstring& of) -> void {
      for (const ServiceKey& candidate : all) {
        const std::wstring k = serviceKey(candidate.name);
        if (seen.count(k)) continue;
        const bool depends =
            std::any_of(candidate.config.dependencies.begin(), candidate.config.dependencies.end(),
                        [&](const std::wstring& d) { return serviceKey(d) == of; });
        if (!depends) continue;
        seen.insert(k);
        self(self, k);
        order.push_back(candidate);
      }
    };
    visit(visit, serviceKey(name));
    return order;
  }

  // The live record of `name` in records, or null (a driver never has one).
  static const RunRecord* findRecord(const std::vector<RunRecord>& records,
                                     const std::wstring& name) {
    const std::wstring k = serviceKey(name);
    for (const RunRecord& r : records)
      if (r.name == k) return &r;
    return nullptr;
  }

  struct Live {
    RunRecord record;
    RecordedProcess process = RecordedProcess::kGone;
  };

  Live liveRecord(const std::vector<RunRecord>& records, const std::wstring& name,
                  uint32_t type) const {
    Live live;
    if (!isWin32(type)) return live;
    if (const RunRecord* r = findRecord(records, name)) {
      live.record = *r;
      live.process = runState_.inspect(*r);
    }
    return live;
  }

  // The state without the lock; a stale record is dropped under it.
  Live currentRecord(const std::wstring& name, uint32_t type) {
    const std::vector<RunRecord> records = runState_.read();
    Live live = liveRecord(records, name, type);
    if (live.process == RecordedProcess::kGone && findRecord(records, name)) {
      detail::ServiceRunState::Lock lock(runState_);
      stateLocked(name, type, nullptr);
    }
    return live;
  }

  static ServiceStatus statusOf(uint32_t type, const Live& live) {
    ServiceStatus s;
    s.serviceType = type;
    switch (live.process) {
      case RecordedProcess::kGone: s.currentState = SERVICE_STOPPED; break;
      case RecordedProcess::kRunning: s.currentState = SERVICE_RUNNING; break;
      case RecordedProcess::kStopped: s.currentState = SERVICE_PAUSED; break;
    }
    if (s.currentState != SERVICE_STOPPED) {
      s.controlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE;
      s.processId = live.record.pid;
    }
    return s;
  }

  // The state of `name` with the lock held; drops a stale record. *rec
  // (may be null) gets the live record.
  uint32_t stateLocked(const std::wstring& name, uint32_t type, RunRecord* rec) {
    std::vector<RunRecord> records = runState_.read();
    const Live live = liveRecord(records, name, type);
    if (live.process == RecordedProcess::kGone) {
      const std::wstring k = serviceKey(name);
      const size_t before = records.size();
      std::erase_if(records, [&](const RunRecord& r) { return r.name == k; });
      if (records.size() != before) runState_.write(records);
    } else if (rec) {
      *rec = live.record;
    }
    return statusOf(type, live).currentState;
  }

  // StartServiceW with the lock held. chain: the services whose start is
  // waiting for this one (a service met again there is a cycle).
  WinError startLocked(const std::wstring& name, std::vector<std::wstring>& chain) {
    const std::wstring k = serviceKey(name);
    if (std::find(chain.begin(), chain.end(), k) != chain.end()) return ERROR_CIRCULAR_DEPENDENCY;
    ServiceKey key;
    if (WinError e = readService(name, &key)) return e;
    const uint32_t type = key.config.serviceType;
    const uint32_t state = stateLocked(key.name, type, nullptr);
    if (state != SERVICE_STOPPED) return ERROR_SERVICE_ALREADY_RUNNING;
    if (key.deleteFlag) return ERROR_SERVICE_MARKED_FOR_DELETE;
    if (!isWin32(type) || key.config.startType == SERVICE_DISABLED) return ERROR_SERVICE_DISABLED;
    chain.push_back(k);
    for (const std::wstring& dep : key.config.dependencies) {
      if (dep.empty() || dep[0] == L'+') continue;  // groups are not started here
      ServiceKey depKey;
      if (readService(dep, &depKey) != ERROR_SUCCESS || depKey.deleteFlag) {
        chain.pop_back();
        return ERROR_SERVICE_DEPENDENCY_DELETED;
      }
      const WinError e = startLocked(depKey.name, chain);
      if (e == ERROR_SUCCESS || e == ERROR_SERVICE_ALREADY_RUNNING) continue;
      chain.pop_back();
      return e == ERROR_CIRCULAR_DEPENDENCY ? e : ERROR_SERVICE_DEPENDENCY_FAIL;
    }
    chain.pop_back();
    DetachedProcess started;
    const std::wstring line = machine_.environment().expand(key.config.binaryPathName);
    if (WinError e =
            startDetachedProcess(line, machine_.specialFolders().systemDirectory(), &started))
      return e;
    std::vector<RunRecord> records = runState_.read();
    std::erase_if(records, [&](const RunRecord& r) { return r.name == k; });
    records.push_back(RunRecord{k, started.processId, started.startTime, runState_.bootId()});
    return runState_.write(records);
  }

  uint32_t waitToKillMs() {
    std::wstring text;
    if (readString(registry_, kHkeyLocalMachine, kControlKey, L"WaitToKillServiceTimeout",
                   &text) != ERROR_SUCCESS)
      return kDefaultWaitToKillMs;
    wchar_t* end = nullptr;
    const unsigned long ms = std::wcstoul(text.c_str(), &end, 10);
    if (end == text.c_str()) return kDefaultWaitToKillMs;
    return static_cast<uint32_t>(std::min<unsigned long>(ms, 0x7FFFFFFF));
  }

  // STOP with the lock held: refused while a dependent runs; else the
  // process group is ended, by force after the wait-to-kill time.
  WinError stopLocked(const std::wstring& name, uint32_t type, const RunRecord& rec,
                      uint32_t state) {
    const std::vector<RunRecord> records = runState_.read();
    for (const ServiceKey& dependent : dependentsOf(name)) {
      if (liveRecord(records, dependent.name, dependent.config.serviceType).process !=
          RecordedProcess::kGone)
        return ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    if (detail::signalRecorded(rec, SIGTERM)) {
      if (state == SERVICE_PAUSED) detail::signalRecorded(rec, SIGCONT);
      if (!detail::waitRecordedEnd(rec, waitToKillMs()) && detail::signalRecorded(rec, SIGKILL))
        detail::waitRecordedEnd(rec, kAfterKillMs);
    }
    stateLocked(name, type, nullptr);
    return ERROR_SUCCESS;
  }

  // PAUSE or CONTINUE: signals the group and waits until the host shows
  // the process in the wanted state.
  WinError changePause(const RunRecord& rec, int sig, RecordedProcess wanted) {
    if (!detail::signalRecorded(rec, sig)) return ERROR_SERVICE_NOT_ACTIVE;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kPauseChangeMs);
    for (;;) {
      const RecordedProcess now = runState_.inspect(rec);
      if (now == wanted) return ERROR_SUCCESS;
      if (now == RecordedProcess::kGone) return ERROR_SERVICE_NOT_ACTIVE;
      if (std::chrono::steady_clock::now() >= deadline) return ERROR_SERVICE_REQUEST_TIMEOUT;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  void removeKey(const std::wstring& name) {
    registry_.deleteTree(kHkeyLocalMachine, servicePath(name));
  }

  static constexpr WinError ERROR_SERVICE_REQUEST_TIMEOUT = 1053;

  IMachine& machine_;
  IRegistry& registry_;
  detail::ServiceRunState runState_;
  std::mutex mutex_;  // guards handles_ and nextHandle_
  std::map<uint64_t, Handle> handles_;
  uint64_t nextHandle_ = 0x5C0001;
};

}  // namespace

std::unique_ptr<IServiceManager> createServiceManager(IMachine& machine) {
  return std::make_unique<LinuxServiceManager>(machine);
}

}  // namespace zorel::platform
