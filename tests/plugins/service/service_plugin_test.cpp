// The Service object over a fake service manager: each method's outcome
// mapping, the requests it makes of the manager, its log lines and record;
// handles closed exactly once; collect's rows and collection record.
// Real services are run through zorel check (service_scripts_test.cpp).

#include "zorel/plugins/service/service.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <functional>
#include <map>
#include <stdexcept>

#include "../os/plugin_fixture.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/store/data_table.h"

namespace zorel {
namespace {

using namespace zorel::platform;
const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// Services held in memory; answers as arranged and records what it was
// asked.
struct FakeManager : IServiceManager {
  struct Svc {
    std::wstring name;
    ServiceConfig config;
    uint32_t state = SERVICE_STOPPED;
    bool deleted = false;
  };
  std::map<std::wstring, Svc> services;  // by lower-cased name
  std::map<uint64_t, std::wstring> handles;  // open handles: "" for a manager
  uint64_t next = 100;
  int badCloses = 0;
  WinError configError = 0, statusError = 0, controlError = 0, startError = 0, createError = 0,
           deleteError = 0, enumError = 0;
  std::wstring openFailsFor;  // a name whose open answers 5
  bool throwOnStatus = false;
  std::vector<uint32_t> controls;
  int starts = 0;
  ServiceConfigChange lastChange;
  ServiceCreateRequest lastCreate;

  Svc& add(const std::wstring& name, uint32_t start, uint32_t state,
           std::vector<std::wstring> deps = {}, uint32_t type = SERVICE_WIN32_OWN_PROCESS) {
    Svc& s = services[Lower(name)];
    s.name = name;
    s.config.serviceType = type;
    s.config.startType = start;
    s.config.displayName = name + L" display";
    s.config.binaryPathName = L"C:\\Svc\\" + name + L".exe";
    s.config.serviceStartName = L"LocalSystem";
    s.config.dependencies = std::move(deps);
    s.state = state;
    return s;
  }
  Svc* of(ScHandle h) {
    auto it = handles.find(static_cast<uint64_t>(h));
    if (it == handles.end() || it->second.empty()) return nullptr;
    auto s = services.find(Lower(it->second));
    return s == services.end() ? nullptr : &s->second;
  }
  ServiceEntry entry(const Svc& s) {
    ServiceEntry e{s.name, s.config.displayName, {}};
    e.status.currentState = s.state;
    return e;
  }

  WinError openManager(uint32_t, ScHandle* m) override {
    handles[next] = L"";
    *m = static_cast<ScHandle>(next++);
    return 0;
  }
  WinError openService(ScHandle, std::wstring_view name, uint32_t, ScHandle* h) override {
    if (!services.count(Lower(std::wstring(name)))) return ERROR_SERVICE_DOES_NOT_EXIST;
    if (Lower(std::wstring(name)) == Lower(openFailsFor)) return ERROR_ACCESS_DENIED;
    handles[next] = std::wstring(name);
    *h = static_cast<ScHandle>(next++);
    return 0;
  }
  WinError closeHandle(ScHandle h) override {
    if (!handles.erase(static_cast<uint64_t>(h))) return ++badCloses, ERROR_INVALID_HANDLE;
    return 0;
  }
  WinError queryConfig(ScHandle h, ServiceConfig* c) override {
    if (configError) return configError;
    *c = of(h)->config;
    return 0;
  }
  WinError queryStatus(ScHandle h, ServiceStatus* s) override {
    if (throwOnStatus) throw std::runtime_error("status");
    if (statusError) return statusError;
    s->currentState = of(h)->state;
    return 0;
  }
  WinError enumServices(ScHandle, uint32_t, uint32_t, std::vector<ServiceEntry>* out) override {
    out->clear();
    if (enumError) return enumError;
    for (auto& [k, s] : services)
      if (s.config.serviceType & SERVICE_WIN32) out->push_back(entry(s));
    return 0;
  }
  WinError enumDependents(ScHandle h, uint32_t, std::vector<ServiceEntry>* out) override {
    out->clear();
    const std::wstring target = Lower(of(h)->name);
    for (auto& [k, s] : services)
      for (const std::wstring& d : s.config.dependencies)
        if (Lower(d) == target) out->push_back(entry(s));
    return 0;
  }
  WinError changeConfig(ScHandle h, const ServiceConfigChange& c) override {
    lastChange = c;
    if (c.startType != SERVICE_NO_CHANGE) of(h)->config.startType = c.startType;
    return 0;
  }
  WinError startService(ScHandle h) override {
    ++starts;
    if (startError) return startError;
    of(h)->state = SERVICE_RUNNING;
    return 0;
  }
  WinError controlService(ScHandle h, uint32_t c, ServiceStatus*) override {
    controls.push_back(c);
    if (controlError) return controlError;
    of(h)->state = c == SERVICE_CONTROL_STOP    ? SERVICE_STOPPED
                   : c == SERVICE_CONTROL_PAUSE ? SERVICE_PAUSED
                                                : SERVICE_RUNNING;
    return 0;
  }
  WinError createService(ScHandle, const ServiceCreateRequest& r, ScHandle* h) override {
    lastCreate = r;
    if (createError) return createError;
    add(r.serviceName, r.startType, SERVICE_STOPPED);
    return openService(kNoScHandle, r.serviceName, r.desiredAccess, h);
  }
  WinError deleteService(ScHandle h) override {
    if (deleteError) return deleteError;
    of(h)->deleted = true;
    return 0;
  }
};

struct Props {
  std::wstring name{}, startuptype{}, status{}, path{}, displayname{};
};

// Makes the plug-in over `fake` with the given properties.
std::unique_ptr<Service> Make(const std::shared_ptr<FakeManager>& fake, const Props& p,
                              std::vector<std::wstring>* checkedPaths = nullptr,
                              int32_t pathError = 0) {
  StackFrame frame;
  std::string json = "{";
  auto add = [&](const char* key, const std::wstring& v) {
    if (json.size() > 1) json += ",";
    json += std::string("\"") + key + "\":\"" + toUtf8(v) + "\"";
  };
  add("name", p.name);
  add("startuptype", p.startuptype);
  add("status", p.status);
  add("displayname", p.displayname);
  json += "}";
  frame.AddNamedArguments(json);
  auto plugin = std::make_unique<Service>(frame, fake, [=](const std::wstring& path) {
    if (checkedPaths) checkedPaths->push_back(path);
    return pathError;
  });
  plugin->AssignProperty("path", p.path);
  return plugin;
}

struct Case {
  const char* what;
  const char* method;
  Props props;
  std::function<void(FakeManager&)> arrange;
  int32_t code;
  bool answer;      // "return"
  bool status;      // "status"
  const char* log;  // a fragment of the log the call leaves; null: none checked
  std::vector<uint32_t> controls = {};
  int starts = 0;
};

void RunCases(const std::vector<Case>& cases, const char* api) {
  testing::PluginBench bench;
  size_t rows = bench.Rows().size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto fake = std::make_shared<FakeManager>();
    fake->add(L"Auto", SERVICE_AUTO_START, SERVICE_RUNNING);
    fake->add(L"Manual", SERVICE_DEMAND_START, SERVICE_STOPPED);
    fake->add(L"Held", SERVICE_DEMAND_START, SERVICE_PAUSED);
    fake->add(L"Child", SERVICE_DEMAND_START, SERVICE_RUNNING, {L"AUTO"});
    fake->add(L"Grandchild", SERVICE_DEMAND_START, SERVICE_STOPPED, {L"child"});
    if (c.arrange) c.arrange(*fake);
    auto plugin = Make(fake, c.props);
    plugin->SetResultStore(&bench.store());
    const std::string before = bench.LogSinceCall();
    StackFrame args;
    if (std::string(c.method) == "hasDependency") {
      args.Push(c.props.displayname);
      args.Push(c.props.path);
    }
    const auto answer = plugin->Call(c.method, args);
    const std::string log = bench.LogSinceCall().substr(before.size());
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->errorcode, c.code);
    EXPECT_EQ(answer->returnValue, c.answer);
    EXPECT_EQ(answer->status, c.status);
    if (c.log) {
      EXPECT_NE(log.find(c.log), std::string::npos) << log;
    }
    EXPECT_EQ(fake->controls, c.controls);
    EXPECT_EQ(fake->starts, c.starts);
    const testing::OperationRow row = bench.LastRow(++rows);
    EXPECT_EQ(row.api, fromUtf8(std::string("Service::") + c.method));
    EXPECT_EQ(row.component, L"Service");
    EXPECT_EQ(row.executionStatus, c.answer ? 1 : 0);
    EXPECT_EQ(row.errorCode, c.code);
    plugin.reset();
    EXPECT_EQ(fake->badCloses, 0);
    EXPECT_TRUE(fake->handles.empty());  // every handle closed
  }
  (void)api;
}

TEST(ServicePlugin, QueriesMapTheManagersAnswer) {
  RunCases(
      {
          {"not installed", "isPresent", {L"Nope"}, nullptr, 1060, false, true,
           "Service not installed : Nope Error code : 1060"},
          {"empty name", "isPresent", {L""}, nullptr, 87, false, false, nullptr},
          {"automatic and running", "isPresent", {L"Auto", L"1", L"4"}, nullptr, 0, true, true,
           nullptr},
          {"other start type", "isPresent", {L"Auto", L"0"}, nullptr, 30002, false, true, nullptr},
          {"other state", "isPresent", {L"Auto", L"", L"1"}, nullptr, 30001, false, true,
           nullptr},
          {"a failing status read counts as met", "isPresent", {L"Auto", L"", L"1"},
           [](FakeManager& f) { f.statusError = 5; }, 0, true, true, nullptr},
          {"a failing config read ends the call", "isPresent", {L"Auto", L"1"},
           [](FakeManager& f) { f.configError = 122; }, 122, false, true,
           "while get startuptype. Insufficient buffer size."},
          {"startuptype not a number", "isPresent", {L"Auto", L"abc"}, nullptr, 20016, false,
           false, "Exception thrown for service : Auto and exception is :"},
          {"demand start is 0", "checkStartUpType", {L"Manual", L"0"}, nullptr, 0, true, true,
           "Service: Manual with startuptype : 0 found"},
          {"automatic is not 0", "checkStartUpType", {L"Auto", L"0"}, nullptr, 30007, false, true,
           "Service: Auto with startuptype : 0 not found"},
          {"startuptype required", "checkStartUpType", {L"Auto"}, nullptr, 87, false, false,
           nullptr},
          {"running is not stopped", "checkStatus", {L"Auto", L"", L"1"}, nullptr, 30006, false,
           true, "Service: Auto with status: 1 not found."},
          {"paused is 7", "checkStatus", {L"held", L"", L"7"}, nullptr, 0, true, true,
           "Service with status found."},
          // A failing status read answers code 0, recorded as not executed.
          {"status read fails", "checkStatus", {L"Auto", L"", L"4"},
           [](FakeManager& f) { f.statusError = 5; }, 0, false, true,
           "Could not query service : Auto status."},
          {"status not a number", "checkStatus", {L"Auto", L"", L"abc"}, nullptr, 20016, false,
           false, nullptr},
          {"an exception in the manager", "checkStatus", {L"Auto", L"", L"4"},
           [](FakeManager& f) { f.throwOnStatus = true; }, 20016, false, false,
           "Exception thrown for service : Auto and exception is : status"},
          // hasDependency: displayname carries dependentname, path dependentstatus.
          {"dependent in another case", "hasDependency", {L"auto", L"", L"", L"4", L"CHILD"},
           nullptr, 0, true, true, "Service : auto, has depedency on service : CHILD"},
          {"indirect dependent listed by the manager", "hasDependency",
           {L"child", L"", L"", L"1", L"Grandchild"}, nullptr, 0, true, true, nullptr},
          {"dependent in another state", "hasDependency", {L"Auto", L"", L"", L"1", L"child"},
           nullptr, 30004, false, true, "but status of dependent service does not match"},
          {"no dependents", "hasDependency", {L"Manual", L"", L"", L"1", L"child"}, nullptr,
           30009, false, true, "Service : Manual, does not have dependent service(s)"},
          {"not among the dependents", "hasDependency", {L"Auto", L"", L"", L"1", L"Manual"},
           nullptr, 30010, false, true, nullptr},
          {"dependentname required", "hasDependency", {L"Auto", L"", L"", L"1", L""}, nullptr, 87,
           false, false, nullptr},
      },
      "queries");
}

TEST(ServicePlugin, ChangesSendTheRightRequests) {
  constexpr uint32_t kStop = SERVICE_CONTROL_STOP, kPause = SERVICE_CONTROL_PAUSE,
                     kContinue = SERVICE_CONTROL_CONTINUE;
  RunCases(
      {
          {"same state: nothing sent", "setStatus", {L"Auto", L"", L"4"}, nullptr, 0, true, true,
           "Service (Auto) status set successfully to : 4"},
          {"stop", "setStatus", {L"Auto", L"", L"1"}, nullptr, 0, true, true, nullptr, {kStop}},
          {"run a paused service: continue", "setStatus", {L"Held", L"", L"4"}, nullptr, 0, true,
           true, nullptr, {kContinue}},
          {"run a stopped service: start", "setStatus", {L"Manual", L"", L"4"}, nullptr, 0, true,
           true, nullptr, {}, 1},
          {"pause", "setStatus", {L"Auto", L"", L"7"}, nullptr, 0, true, true, nullptr, {kPause}},
          {"restart a running service: stop, then start", "setStatus", {L"Auto", L"", L"8"},
           nullptr, 0, true, true, nullptr, {kStop}, 1},
          {"restart a stopped one: start", "setStatus", {L"Manual", L"", L"8"}, nullptr, 0, true,
           true, nullptr, {}, 1},
          {"start pending is no state to set", "setStatus", {L"Auto", L"", L"2"}, nullptr, 30005,
           false, true, nullptr},
          {"a failing start", "setStatus", {L"Manual", L"", L"4"},
           [](FakeManager& f) { f.startError = 1058; }, 1058, false, true,
           "Failed to start service (Manual) and set status to : 4. Error code : 1058", {}, 1},
          {"a failing control", "setStatus", {L"Auto", L"", L"1"},
           [](FakeManager& f) { f.controlError = 1051; }, 1051, false, true,
           "Failed to start service (Auto) and set status to : 1. Error code : 1051", {kStop}},
          {"status not a number", "setStatus", {L"Auto", L"", L"abc"}, nullptr, 20016, false,
           false, "Exception thrown while service setStatus."},
          {"startuptype 9 is automatic", "setStartUpType", {L"Manual", L"9"}, nullptr, 0, true,
           true, nullptr},
          {"delete a running service: stop first", "deleteService", {L"Auto"}, nullptr, 0, true,
           true, "Delete service : Auto successfully", {kStop}},
          {"delete refused", "deleteService", {L"Manual"},
           [](FakeManager& f) { f.deleteError = 1072; }, 30008, false, true,
           "Delete service : Manual failed. Error code : 1072"},
          {"delete of a service that will not stop", "deleteService", {L"Auto"},
           [](FakeManager& f) { f.controlError = 1051; }, 1051, false, true,
           "Failed to stop service : Auto while delete service. Error code : 1051", {kStop}},
          {"create needs a path", "create", {L"New", L"0"}, nullptr, 87, false, false, nullptr},
          {"create over an existing name", "create", {L"New", L"0", L"", L"C:\\x.exe"},
           [](FakeManager& f) { f.createError = 1073; }, 1073, false, true,
           "Failed to create service : New. Error code : 1073"},
      },
      "changes");
}

TEST(ServicePlugin, CreateChecksTheImageAndKeepsTheWholePath) {
  testing::PluginBench bench;
  auto fake = std::make_shared<FakeManager>();
  std::vector<std::wstring> checked;
  auto plugin = Make(fake, {L"Svc", L"9", L"", L"C:\\Svc\\O'Brien\\SVC.EXE -k run", L"My Svc"},
                     &checked);
  StackFrame none;
  auto answer = plugin->Call("create", none);
  EXPECT_TRUE(answer->returnValue);
  EXPECT_EQ(checked, (std::vector<std::wstring>{L"c:\\svc\\o'brien\\svc.exe"}));
  EXPECT_EQ(fake->lastCreate.binaryPathName, L"C:\\Svc\\O'Brien\\SVC.EXE -k run");
  EXPECT_EQ(fake->lastCreate.displayName, L"My Svc");
  EXPECT_EQ(fake->lastCreate.startType, SERVICE_AUTO_START);
  EXPECT_EQ(fake->lastCreate.serviceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(fake->lastCreate.desiredAccess, 0xF003Fu);

  // A status error other than a missing file stops the create.
  auto refused = Make(fake, {L"Other", L"0", L"", L"C:\\Locked\\a.dll,x"}, &checked, 5);
  answer = refused->Call("create", none);
  EXPECT_EQ(answer->errorcode, 5);
  EXPECT_EQ(checked.back(), L"c:\\locked\\a.dll");
  EXPECT_FALSE(fake->services.count(L"other"));
  // The start type numbering both ways.
  for (int32_t n : {0, 1, 2, 3, 4}) EXPECT_EQ(Service::FromWindowsStartType(Service::ToWindowsStartType(n)), n);
  EXPECT_EQ(Service::ToWindowsStartType(-1), SERVICE_AUTO_START);
  // setStartUpType changes the start type only.
  plugin = Make(fake, {L"Svc", L"2"});
  plugin->Call("setStartUpType", none);
  EXPECT_EQ(fake->lastChange.startType, SERVICE_DISABLED);
  EXPECT_EQ(fake->lastChange.serviceType, SERVICE_NO_CHANGE);
  EXPECT_EQ(fake->lastChange.errorControl, SERVICE_NO_CHANGE);
  EXPECT_FALSE(fake->lastChange.binaryPathName.has_value());
}

TEST(ServicePlugin, DependentStatusThatIsNoNumberThrowsOutOfTheCall) {
  testing::PluginBench bench;
  auto fake = std::make_shared<FakeManager>();
  fake->add(L"Auto", SERVICE_AUTO_START, SERVICE_RUNNING);
  bench.Rows();
  const size_t before = bench.Rows().size();
  auto plugin = Make(fake, {L"Auto"});
  plugin->SetResultStore(&bench.store());
  StackFrame args;
  args.Push(L"child");
  args.Push(L"x");
  EXPECT_THROW(plugin->Call("hasDependency", args), std::invalid_argument);
  EXPECT_EQ(bench.Rows().size(), before);  // no record
}

TEST(ServicePlugin, CollectStoresEveryWin32ServiceUnchanged) {
  testing::PluginBench bench;
  auto fake = std::make_shared<FakeManager>();
  fake->add(L"Alpha", SERVICE_AUTO_START, SERVICE_RUNNING, {L"Beta", L"+Group"});
  fake->add(L"Beta", SERVICE_DISABLED, SERVICE_PAUSED).config.binaryPathName =
      L"C:\\Svc\\O'Brien\\svc.exe -k run";
  fake->add(L"Closed", SERVICE_DEMAND_START, SERVICE_STOPPED);
  fake->add(L"Driver", SERVICE_BOOT_START, SERVICE_STOPPED, {}, SERVICE_KERNEL_DRIVER);
  fake->openFailsFor = L"Closed";  // skipped with its log line
  auto plugin = Make(fake, {});
  plugin->SetResultStore(&bench.store());
  StackFrame none;
  const std::string before = bench.LogSinceCall();
  auto answer = plugin->Call("collect", none);
  EXPECT_TRUE(answer->returnValue);
  EXPECT_EQ(answer->errorcode, 0);
  EXPECT_NE(bench.LogSinceCall().substr(before.size()).find(
                "Failed to open service : Closed (display name : Closed display)"),
            std::string::npos);
  DataTable rows;
  ASSERT_TRUE(bench.store().ExecuteQuery(
      L"select name, status, startuptype, binarypath, dependencies, logonas from SERVICE_TABLE "
      L"order by id",
      rows));
  ASSERT_EQ(rows.RowCount(), 2u);
  std::wstring text;
  rows.Row(0).GetString(L"name", text);
  EXPECT_EQ(text, L"Alpha");
  rows.Row(0).GetString(L"status", text);
  EXPECT_EQ(text, L"SERVICE_RUNNING");
  rows.Row(0).GetString(L"startuptype", text);
  EXPECT_EQ(text, L"SERVICE_STARTUP_AUTOMATIC");
  rows.Row(0).GetString(L"dependencies", text);
  EXPECT_EQ(text, L"Beta,+Group");
  rows.Row(1).GetString(L"status", text);
  EXPECT_EQ(text, L"SERVICE_PAUSED");
  rows.Row(1).GetString(L"binarypath", text);
  EXPECT_EQ(text, L"C:\\Svc\\O'Brien\\svc.exe -k run");
  DataTable collection;
  ASSERT_TRUE(bench.store().ExecuteQuery(
      L"select c.COLLECTION_TYPE, c.SOURCE, c.DESTINATION, o.API_NAME, o.INPUT_DETAILS from "
      L"COLLECTION_TABLE c join OPERATION_TABLE o on o.ID = c.OPERATION_ID",
      collection));
  ASSERT_EQ(collection.RowCount(), 1u);
  int32_t type = 0;
  collection.Row(0).GetInt(L"COLLECTION_TYPE", type);
  EXPECT_EQ(type, 4);
  collection.Row(0).GetString(L"API_NAME", text);
  EXPECT_EQ(text, L"Service::collect");

  // An enumeration failure: its code, no table rows added.
  fake->enumError = 5;
  answer = plugin->Call("collect", none);
  EXPECT_EQ(answer->errorcode, 5);
  EXPECT_FALSE(answer->returnValue);
  plugin.reset();
  EXPECT_EQ(fake->badCloses, 0);
  EXPECT_TRUE(fake->handles.empty());
}

}  // namespace
}  // namespace zorel
