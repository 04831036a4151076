// The Service object through `zorel check --script` on a fresh machine with
// "#!" services: every method's edge cases and bad input in one run, then a
// service's life across runs (running in the next run, restarted, killed
// from outside) and three runs starting one service at once.

#include <gtest/gtest.h>
#include <json/json.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "check_cli_support.h"
#include "script_answers.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/services/service_manager.h"

namespace {

using namespace zorel::platform;
using zorel::testing::Rows;
namespace fs = std::filesystem;

const std::string kScripts = ZOREL_SOURCE_DIR "/tests/plugins/service/scripts/";

std::string ReadText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// True once `pid` has ended (gone, or a zombie nobody collects).
bool Gone(int pid) {
  for (int i = 0; i < 200; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    if (!(stat >> number >> name >> state) || state == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class ServiceScripts : public zorel::testing::CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    ASSERT_EQ(initMachine(root_, L"default", nullptr, nullptr), 0);
    std::unique_ptr<IMachine> machine;
    ASSERT_EQ(openMachine(root_, {}, &machine), 0);
    const IPathMapper& paths = machine->paths();
    auto put = [&](const wchar_t* windows, const std::string& text) {
      std::string host;
      ASSERT_EQ(paths.toHostPath(windows, host), 0);
      fs::create_directories(fs::path(host).parent_path());
      std::ofstream(host) << text;
      ::chmod(host.c_str(), 0755);
    };
    put(L"C:\\Svc\\run.sh", "#!/bin/sh\nexec sleep 600\n");
    put(L"C:\\Svc\\O'Brien\\svc.exe", "#!/bin/sh\nexec sleep 600\n");
    put(L"C:\\Svc\\pe.exe", std::string("MZ\x90\0\3\0", 6));
    put(L"C:\\Svc\\doomed.sh", "#!/bin/sh\necho $$ > '" + base_ + "/doomed.pid'\nexec sleep 600\n");
    put(L"C:\\Svc\\race.sh", "#!/bin/sh\necho $$ >> '" + base_ + "/race.pids'\nexec sleep 600\n");
    // Dependencies cannot be made through the Service object.
    auto scm = createServiceManager(*machine);
    ScHandle m = kNoScHandle;
    ASSERT_EQ(scm->openManager(SC_MANAGER_ALL_ACCESS, &m), 0);
    for (auto [name, deps] : std::vector<std::pair<const wchar_t*, std::vector<std::wstring>>>{
             {L"Dep", {}}, {L"Dependent", {L"DEP"}}, {L"NeedsGhost", {L"Ghost"}}, {L"Race", {}}}) {
      ServiceCreateRequest r;
      r.serviceName = name;
      r.binaryPathName = std::wstring(name) == L"Race" ? L"C:\\Svc\\race.sh" : L"C:\\Svc\\run.sh";
      r.dependencies = deps;
      ScHandle s = kNoScHandle;
      ASSERT_EQ(scm->createService(m, r, &s), 0);
      scm->closeHandle(s);
    }
  }
  void TearDown() override {
    // Stop whatever the runs left running.
    std::unique_ptr<IMachine> machine;
    if (openMachine(root_, {}, &machine) == 0) {
      auto scm = createServiceManager(*machine);
      ScHandle m = kNoScHandle;
      scm->openManager(SC_MANAGER_ALL_ACCESS, &m);
      std::vector<ServiceEntry> running;
      for (int round = 0; round < 3; ++round) {
        scm->enumServices(m, SERVICE_WIN32, SERVICE_ACTIVE, &running);
        for (const ServiceEntry& e : running) {
          ScHandle s = kNoScHandle;
          scm->openService(m, e.serviceName, SERVICE_ALL_ACCESS, &s);
          scm->controlService(s, SERVICE_CONTROL_STOP, nullptr);
          scm->closeHandle(s);
        }
      }
    }
    CheckCli::TearDown();
  }

  void Run(const std::string& script, const std::string& store) {
    store_ = store;
    const auto run = Check("--script '" + script + "' --store '" + store + "' --stages 101");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
  }
  // Runs one call of service_then.js and gives its answer.
  Json::Value Then(const std::string& name, const std::string& status, const std::string& method,
                   const std::string& tag) {
    const std::string script = base_ + "/then-" + tag + ".js";
    std::ofstream(script) << "var CASE = {name: '" << name << "', status: '" << status
                          << "', method: '" << method << "'};\n"
                          << ReadText(kScripts + "service_then.js");
    Run(script, base_ + "/store-" + tag);
    return zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery("answer")), "answer");
  }
  // The pid the run state holds for `name` (lower case), 0 for none.
  int RecordedPid(const std::string& name) {
    std::istringstream state(ReadText(root_ + "/services/state"));
    std::string line;
    while (std::getline(state, line))
      if (line.rfind(name + "\t", 0) == 0) return std::stoi(line.substr(name.size() + 1));
    return 0;
  }
};

TEST_F(ServiceScripts, EdgeCasesAndBadInput) {
  Run(kScripts + "service_cases.js", base_ + "/store-cases");
  struct Case {
    const char* label;
    int code;
    bool answer;
  } cases[] = {
      {"missing", 1060, false},
      {"backslash name", 123, false},
      {"300 characters", 123, false},
      {"empty name", 87, false},
      {"create", 0, true},
      {"create again", 1073, false},
      {"create OBrien", 0, true},
      {"manual is 0", 0, true},
      {"manual is not 1", 30007, false},
      {"set 9", 0, true},
      {"9 made it automatic", 0, true},
      {"status 2", 30005, false},
      {"status abc", 20016, false},
      {"pause stopped", 1062, false},
      {"start", 0, true},
      {"running is not 1", 30006, false},
      {"present manual running", 0, true},
      {"pause", 0, true},
      {"paused", 0, true},
      {"continue", 0, true},
      {"running", 0, true},
      {"start dependent", 0, true},
      {"its dependency runs", 0, true},
      {"stop a dependency", 1051, false},
      {"dependent in any case", 0, true},
      {"dependent not stopped", 30004, false},
      {"no dependents", 30009, false},
      {"not a dependent", 30010, false},
      {"start disabled", 1058, false},
      {"start without image", 2, false},
      {"start pe", 193, false},
      {"start ghost dependency", 1075, false},
      {"start driver", 1058, false},
      {"start doomed", 0, true},
      {"delete running", 0, true},
      {"deleted", 1060, false},
      {"collect", 0, true},
  };
  for (const Case& c : cases) {
    const Json::Value answer =
        zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery(c.label)), c.label);
    EXPECT_EQ(answer["errorcode"].asInt(), c.code) << c.label;
    EXPECT_EQ(answer["return"].asBool(), c.answer) << c.label;
    EXPECT_EQ(answer["status"].asBool(), c.code != 87 && c.code != 20016) << c.label;
    EXPECT_EQ(answer["servicestatus"].asInt(), 0) << c.label;
  }
  EXPECT_EQ(Query(zorel::testing::NotedAnswerQuery("dependentstatus x")), (Rows{{"(empty)"}}));
  // Records: inputs as the method lists them, negative answers not executed.
  EXPECT_EQ(Query("select INPUT_DETAILS, OPERATION_TYPE, EXECUTION_STATUS, ERROR_CODE from "
                  "OPERATION_TABLE where API_NAME = 'Service::isPresent' order by rowid limit 1"),
            (Rows{{R"({"name":"NoSuchSvc","startuptype":"","status":""})", "0", "0", "1060"}}));
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'Service::hasDependency' order by rowid limit 1"),
            (Rows{{R"({"name":"dep","dependentname":"DEPENDENT","dependentstatus":"4"})"}}));
  // The deleted service: its process ended, its key gone.
  EXPECT_TRUE(Gone(std::stoi(ReadText(base_ + "/doomed.pid"))));
  // The snapshot: O'Brien as written, drivers left out.
  EXPECT_EQ(Query("select binarypath, startuptype, logonas from SERVICE_TABLE where name = "
                  "'OBrien'"),
            (Rows{{"C:\\Svc\\O'Brien\\svc.exe -k run", "SERVICE_STARTUP_AUTOMATIC",
                   "LocalSystem"}}));
  EXPECT_EQ(Query("select count(*) from SERVICE_TABLE where name in ('Tcpip', 'Doomed')"),
            (Rows{{"0"}}));
  EXPECT_EQ(Query("select status, dependencies from SERVICE_TABLE where name = 'Dependent'"),
            (Rows{{"SERVICE_RUNNING", "DEP"}}));
  EXPECT_EQ(Query("select COLLECTION_TYPE, SOURCE, DESTINATION from COLLECTION_TABLE"),
            (Rows{{"4", "Service", "SERVICE_TABLE"}}));
  const std::string log = Log();
  EXPECT_NE(log.find("Service not installed : NoSuchSvc Error code : 1060"), std::string::npos);
  EXPECT_NE(log.find("Delete service : Doomed successfully"), std::string::npos);
}

TEST_F(ServiceScripts, AServiceOutlivesTheRunThatStartedIt) {
  EXPECT_EQ(Then("Dependent", "4", "setStatus", "start")["errorcode"].asInt(), 0);
  const int dep = RecordedPid("dep");
  const int dependent = RecordedPid("dependent");
  ASSERT_GT(dep, 0);
  ASSERT_GT(dependent, 0);
  EXPECT_TRUE(Then("Dependent", "4", "checkStatus", "next")["return"].asBool());
  EXPECT_EQ(Then("Dependent", "8", "setStatus", "restart")["errorcode"].asInt(), 0);
  const int restarted = RecordedPid("dependent");
  EXPECT_NE(restarted, dependent);
  EXPECT_TRUE(Gone(dependent));
  // Killed from outside: stopped in the next run.
  ::kill(restarted, SIGKILL);
  ASSERT_TRUE(Gone(restarted));
  EXPECT_TRUE(Then("Dependent", "1", "checkStatus", "killed")["return"].asBool());
  EXPECT_TRUE(Then("Dep", "4", "checkStatus", "dep")["return"].asBool());
}

TEST_F(ServiceScripts, ThreeRunsStartingOneServiceLeaveOneProcess) {
  std::vector<std::thread> runs;
  std::vector<zorel::testing::CheckRun> results(3);
  for (int i = 0; i < 3; ++i) {
    const std::string script = base_ + "/race" + std::to_string(i) + ".js";
    std::ofstream(script) << "var CASE = {name: 'Race', status: '4', method: 'setStatus'};\n"
                          << ReadText(kScripts + "service_then.js");
    const std::string args =
        "--script '" + script + "' --store '" + base_ + "/race-store" + std::to_string(i) +
        "' --stages 101";
    runs.emplace_back([this, i, args, &results] { results[i] = Check(args); });
  }
  for (std::thread& t : runs) t.join();
  for (const auto& r : results) EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::istringstream pids(ReadText(base_ + "/race.pids"));
  std::vector<int> started;
  for (int pid; pids >> pid;) started.push_back(pid);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(RecordedPid("race"), started[0]);
}

TEST_F(ServiceScripts, ExampleRunsEveryMethod) {
  store_ = base_ + "/store-example";
  const auto run = Check("--script '" ZOREL_SOURCE_DIR "/examples/checks/services.js' --store '" +
                         store_ + "' --stages 101,102");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const Rows calls = Query("select API_NAME, ERROR_CODE from OPERATION_TABLE order by rowid");
  std::set<std::string> methods;
  for (const auto& row : calls) {
    methods.insert(row[0]);
    if (row != Rows::value_type{"Service::isPresent", "1060"}) {
      EXPECT_EQ(row[1], "0") << row[0];
    }
  }
  EXPECT_EQ(methods.size(), 9u);
  EXPECT_EQ(Query("select STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
            (Rows{{"1"}, {"3"}, {"1"}}));
}

}  // namespace
