// The service control manager of a fresh machine: configuration and its
// error codes, the run of "#!" services (start, pause, continue, stop, by
// force after the wait-to-kill time), dependencies, deletion, the run state
// shared by several managers, and the detached start beneath it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cwctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "../machine/temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/services/service_manager.h"

namespace zorel::platform {
namespace {

namespace fs = std::filesystem;

// The state letter and start time of a host process, or 0 when gone.
char processState(uint32_t pid, uint64_t* start = nullptr) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  std::vector<std::string> all;
  while (fields >> field) all.push_back(field);
  if (start && all.size() > 19) *start = std::stoull(all[19]);
  return all.empty() ? 0 : all[0][0];
}

std::wstring lowered(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    machine_ = new testing::TempMachine();
    root_ = new std::string(machine_->root());
    setCurrentMachine(machine_->release());
    // A service that runs until signalled, one that ignores SIGTERM, one
    // that cannot run.
    put(L"C:\\Svc\\run.sh", "#!/bin/sh\nexec sleep 600\n");
    put(L"C:\\Svc\\stubborn.sh", "#!/bin/sh\ntrap '' TERM\nwhile :; do sleep 0.05; done\n");
    put(L"C:\\Svc\\pe.exe", "MZ\x90\0\3\0\0\0");
  }
  static void TearDownTestSuite() {
    setCurrentMachine(nullptr);
    delete machine_;
    delete root_;
  }

  void SetUp() override {
    scm_ = createServiceManager(*currentMachine());
    ASSERT_EQ(scm_->openManager(SC_MANAGER_ALL_ACCESS, &manager_), 0);
  }
  void TearDown() override {
    // Nothing a test started outlives it.
    std::vector<ServiceEntry> running;
    scm_->enumServices(manager_, SERVICE_WIN32, SERVICE_ACTIVE, &running);
    for (int round = 0; round < 3 && !running.empty(); ++round) {
      for (const ServiceEntry& e : running) {
        ScHandle h = open(e.serviceName);
        scm_->controlService(h, SERVICE_CONTROL_STOP, nullptr);
        scm_->closeHandle(h);
      }
      scm_->enumServices(manager_, SERVICE_WIN32, SERVICE_ACTIVE, &running);
    }
  }

  static std::string host(const std::wstring& windows) {
    std::string h;
    EXPECT_EQ(currentMachine()->paths().toHostPath(windows, h), 0);
    return h;
  }
  static void put(const std::wstring& windows, const std::string& bytes) {
    const std::string h = host(windows);
    fs::create_directories(fs::path(h).parent_path());
    std::ofstream(h, std::ios::binary) << bytes;
    ::chmod(h.c_str(), 0755);
  }

  WinError create(const std::wstring& name, const std::wstring& image,
                  std::vector<std::wstring> dependencies = {},
                  uint32_t start = SERVICE_DEMAND_START) {
    ServiceCreateRequest r;
    r.serviceName = name;
    r.binaryPathName = image;
    r.startType = start;
    r.dependencies = std::move(dependencies);
    ScHandle h = kNoScHandle;
    const WinError e = scm_->createService(manager_, r, &h);
    if (h != kNoScHandle) scm_->closeHandle(h);
    return e;
  }
  ScHandle open(const std::wstring& name, uint32_t access = SERVICE_ALL_ACCESS) {
    ScHandle h = kNoScHandle;
    EXPECT_EQ(scm_->openService(manager_, name, access, &h), 0) << toUtf8(name);
    return h;
  }
  ServiceStatus status(const std::wstring& name) {
    ScHandle h = open(name);
    ServiceStatus s;
    EXPECT_EQ(scm_->queryStatus(h, &s), 0);
    scm_->closeHandle(h);
    return s;
  }
  WinError start(const std::wstring& name) {
    ScHandle h = open(name);
    const WinError e = scm_->startService(h);
    scm_->closeHandle(h);
    return e;
  }
  WinError control(const std::wstring& name, uint32_t c) {
    ScHandle h = open(name);
    const WinError e = scm_->controlService(h, c, nullptr);
    scm_->closeHandle(h);
    return e;
  }

  static testing::TempMachine* machine_;
  static std::string* root_;
  std::unique_ptr<IServiceManager> scm_;
  ScHandle manager_ = kNoScHandle;
};

testing::TempMachine* ServiceManagerTest::machine_ = nullptr;
std::string* ServiceManagerTest::root_ = nullptr;

TEST_F(ServiceManagerTest, DefaultImageListsWin32ServicesAndStoppedDrivers) {
  std::vector<ServiceEntry> win32, drivers;
  ASSERT_EQ(scm_->enumServices(manager_, SERVICE_WIN32, SERVICE_STATE_ALL, &win32), 0);
  ASSERT_EQ(scm_->enumServices(manager_, SERVICE_DRIVER, SERVICE_STATE_ALL, &drivers), 0);
  EXPECT_GE(win32.size(), 20u);
  EXPECT_GE(drivers.size(), 3u);
  // Nothing runs after the machine starts; key order is case-insensitive.
  for (const ServiceEntry& e : win32) EXPECT_EQ(e.status.currentState, SERVICE_STOPPED);
  for (size_t i = 1; i < win32.size(); ++i)
    EXPECT_LT(lowered(win32[i - 1].serviceName), lowered(win32[i].serviceName));
  ScHandle tcpip = open(L"tcpip");
  EXPECT_EQ(scm_->startService(tcpip), ERROR_SERVICE_DISABLED);
  scm_->closeHandle(tcpip);

  ScHandle rpc = open(L"RPCSS", SERVICE_QUERY_CONFIG);
  ServiceConfig c;
  ASSERT_EQ(scm_->queryConfig(rpc, &c), 0);
  EXPECT_EQ(c.binaryPathName, L"%SystemRoot%\\System32\\svchost.exe -k rpcss");
  EXPECT_EQ(c.dependencies, (std::vector<std::wstring>{L"RpcEptMapper", L"DcomLaunch"}));
  EXPECT_EQ(scm_->startService(rpc), ERROR_ACCESS_DENIED);  // opened for queries only
  scm_->closeHandle(rpc);
}

TEST_F(ServiceManagerTest, CreateAndOpenRefuseBadNamesAndClashes) {
  ASSERT_EQ(create(L"Clash", L"C:\\Svc\\run.sh"), 0);
  struct Case {
    const wchar_t* comment;
    std::wstring name, display;
    uint32_t start;
    WinError expected;
  } cases[] = {
      {L"empty name", L"", L"", SERVICE_DEMAND_START, ERROR_INVALID_NAME},
      {L"backslash", L"a\\b", L"", SERVICE_DEMAND_START, ERROR_INVALID_NAME},
      {L"slash", L"a/b", L"", SERVICE_DEMAND_START, ERROR_INVALID_NAME},
      {L"300 characters", std::wstring(300, L'x'), L"", SERVICE_DEMAND_START, ERROR_INVALID_NAME},
      {L"existing name in another case", L"CLASH", L"", SERVICE_DEMAND_START, ERROR_SERVICE_EXISTS},
      {L"display name of another", L"Other", L"Windows Audio", SERVICE_DEMAND_START,
       ERROR_DUPLICATE_SERVICE_NAME},
      {L"display name is another's key name", L"Other", L"clash", SERVICE_DEMAND_START,
       ERROR_DUPLICATE_SERVICE_NAME},
      {L"boot start for a Win32 service", L"Other", L"", SERVICE_BOOT_START,
       ERROR_INVALID_PARAMETER},
      {L"system start for a Win32 service", L"Other", L"", SERVICE_SYSTEM_START,
       ERROR_INVALID_PARAMETER},
      {L"start type above 4", L"Other", L"", 5, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    ServiceCreateRequest r;
    r.serviceName = c.name;
    r.displayName = c.display;
    r.startType = c.start;
    r.binaryPathName = L"C:\\Svc\\run.sh";
    ScHandle h = kNoScHandle;
    EXPECT_EQ(scm_->createService(manager_, r, &h), c.expected) << toUtf8(c.comment);
    EXPECT_EQ(h, kNoScHandle);
  }
  ScHandle h = kNoScHandle;
  EXPECT_EQ(scm_->openService(manager_, L"NoSuchService", SERVICE_ALL_ACCESS, &h),
            ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(scm_->openService(manager_, std::wstring(300, L'y'), SERVICE_ALL_ACCESS, &h),
            ERROR_INVALID_NAME);
  EXPECT_EQ(scm_->openService(manager_, L"x\\y", SERVICE_ALL_ACCESS, &h), ERROR_INVALID_NAME);

  // What create wrote, as Windows keeps it.
  ScHandle clash = open(L"clash");
  ServiceConfig c;
  ASSERT_EQ(scm_->queryConfig(clash, &c), 0);
  EXPECT_EQ(c.serviceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_EQ(c.errorControl, SERVICE_ERROR_NORMAL);
  EXPECT_EQ(c.displayName, L"Clash");
  EXPECT_EQ(c.serviceStartName, L"LocalSystem");
  ServiceConfigChange boot;
  boot.startType = SERVICE_BOOT_START;
  EXPECT_EQ(scm_->changeConfig(clash, boot), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(scm_->closeHandle(clash), 0);
  EXPECT_EQ(scm_->closeHandle(clash), ERROR_INVALID_HANDLE);
}

TEST_F(ServiceManagerTest, RunsPausesContinuesAndStopsTheProcessGroup) {
  ASSERT_EQ(create(L"Runner", L"C:\\Svc\\run.sh"), 0);
  ASSERT_EQ(start(L"runner"), 0);
  const ServiceStatus running = status(L"Runner");
  ASSERT_EQ(running.currentState, SERVICE_RUNNING);
  const uint32_t pid = running.processId;
  // Detached: a session of its own, not our child.
  EXPECT_EQ(::getsid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid));
  EXPECT_EQ(::getpgid(static_cast<pid_t>(pid)), static_cast<pid_t>(pid));

  struct Step {
    uint32_t control;
    WinError expected;
    uint32_t state;  // afterwards
    char host;       // the process's state letter afterwards (0: gone)
  } steps[] = {
      {SERVICE_CONTROL_PAUSE, 0, SERVICE_PAUSED, 'T'},
      {SERVICE_CONTROL_PAUSE, 0, SERVICE_PAUSED, 'T'},  // again: nothing changes
      {SERVICE_CONTROL_CONTINUE, 0, SERVICE_RUNNING, 'S'},
      {SERVICE_CONTROL_PAUSE, 0, SERVICE_PAUSED, 'T'},
      {SERVICE_CONTROL_STOP, 0, SERVICE_STOPPED, 0},     // a paused service stops too
      {SERVICE_CONTROL_STOP, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED, 0},
      {SERVICE_CONTROL_PAUSE, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED, 0},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.control);
    EXPECT_EQ(control(L"Runner", s.control), s.expected);
    EXPECT_EQ(status(L"Runner").currentState, s.state);
    const char letter = processState(pid);
    if (s.host == 0) EXPECT_TRUE(letter == 0 || letter == 'Z') << letter;
    else if (s.host == 'T') EXPECT_EQ(letter, 'T');
    else EXPECT_TRUE(letter == 'S' || letter == 'R') << letter;
  }
  // A new start is a new process.
  ASSERT_EQ(start(L"Runner"), 0);
  EXPECT_NE(status(L"Runner").processId, pid);
  EXPECT_EQ(start(L"Runner"), ERROR_SERVICE_ALREADY_RUNNING);
}

TEST_F(ServiceManagerTest, StopKillsAfterTheWaitToKillTime) {
  ASSERT_EQ(writeValueAt(currentMachine()->registry(), kHkeyLocalMachine,
                         L"SYSTEM\\CurrentControlSet\\Control", L"WaitToKillServiceTimeout",
                         REG_SZ, regSz(L"300")),
            0);
  ASSERT_EQ(create(L"Stubborn", L"C:\\Svc\\stubborn.sh"), 0);
  ASSERT_EQ(start(L"Stubborn"), 0);
  const uint32_t pid = status(L"Stubborn").processId;
  // Give the shell time to set its trap.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_EQ(control(L"Stubborn", SERVICE_CONTROL_STOP), 0);
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_GE(took, std::chrono::milliseconds(250));
  EXPECT_LT(took, std::chrono::seconds(3));
  const char letter = processState(pid);
  EXPECT_TRUE(letter == 0 || letter == 'Z');
  writeValueAt(currentMachine()->registry(), kHkeyLocalMachine,
               L"SYSTEM\\CurrentControlSet\\Control", L"WaitToKillServiceTimeout", REG_SZ,
               regSz(L"5000"));
}

TEST_F(ServiceManagerTest, StartErrorsAreTheAnswer) {
  ASSERT_EQ(create(L"NoImage", L"C:\\Svc\\missing.exe"), 0);
  ASSERT_EQ(create(L"PeImage", L"C:\\Svc\\pe.exe -k x"), 0);
  ASSERT_EQ(create(L"Off", L"C:\\Svc\\run.sh", {}, SERVICE_DISABLED), 0);
  ASSERT_EQ(create(L"NeedsGhost", L"C:\\Svc\\run.sh", {L"Ghost"}), 0);
  ASSERT_EQ(create(L"NeedsBroken", L"C:\\Svc\\run.sh", {L"NoImage"}), 0);
  ASSERT_EQ(create(L"LoopA", L"C:\\Svc\\run.sh", {L"LoopB"}), 0);
  ASSERT_EQ(create(L"LoopB", L"C:\\Svc\\run.sh", {L"loopa"}), 0);
  struct Case {
    const wchar_t* name;
    WinError expected;
  } cases[] = {
      {L"NoImage", ERROR_FILE_NOT_FOUND},
      {L"PeImage", ERROR_BAD_EXE_FORMAT},
      {L"Off", ERROR_SERVICE_DISABLED},
      {L"Disk", ERROR_SERVICE_DISABLED},  // a driver
      {L"NeedsGhost", ERROR_SERVICE_DEPENDENCY_DELETED},
      {L"NeedsBroken", ERROR_SERVICE_DEPENDENCY_FAIL},
      {L"LoopA", ERROR_CIRCULAR_DEPENDENCY},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(start(c.name), c.expected) << toUtf8(c.name);
    EXPECT_EQ(status(c.name).currentState, SERVICE_STOPPED) << toUtf8(c.name);
  }
}

TEST_F(ServiceManagerTest, DependenciesStartFirstAndHoldTheStop) {
  // Top -> Middle -> Base (each depends on the next), plus a group entry.
  ASSERT_EQ(create(L"Base", L"C:\\Svc\\run.sh"), 0);
  ASSERT_EQ(create(L"Middle", L"C:\\Svc\\run.sh", {L"BASE", L"+SomeGroup"}), 0);
  ASSERT_EQ(create(L"Top", L"C:\\Svc\\run.sh", {L"middle"}), 0);
  ScHandle base = open(L"Base");
  std::vector<ServiceEntry> dependents;
  ASSERT_EQ(scm_->enumDependents(base, SERVICE_STATE_ALL, &dependents), 0);
  ASSERT_EQ(dependents.size(), 2u);
  EXPECT_EQ(dependents[0].serviceName, L"Top");  // each before what it depends on
  EXPECT_EQ(dependents[1].serviceName, L"Middle");
  ScHandle middle = open(L"Middle", SERVICE_QUERY_CONFIG);
  ServiceConfig c;
  ASSERT_EQ(scm_->queryConfig(middle, &c), 0);
  EXPECT_EQ(c.dependencies, (std::vector<std::wstring>{L"BASE", L"+SomeGroup"}));
  scm_->closeHandle(middle);

  ASSERT_EQ(start(L"Top"), 0);
  for (const wchar_t* name : {L"Top", L"Middle", L"Base"})
    EXPECT_EQ(status(name).currentState, SERVICE_RUNNING) << toUtf8(name);
  ASSERT_EQ(scm_->enumDependents(base, SERVICE_INACTIVE, &dependents), 0);
  EXPECT_TRUE(dependents.empty());
  EXPECT_EQ(scm_->controlService(base, SERVICE_CONTROL_STOP, nullptr),
            ERROR_DEPENDENT_SERVICES_RUNNING);
  EXPECT_EQ(control(L"Middle", SERVICE_CONTROL_STOP), ERROR_DEPENDENT_SERVICES_RUNNING);
  EXPECT_EQ(control(L"Top", SERVICE_CONTROL_STOP), 0);
  EXPECT_EQ(control(L"Middle", SERVICE_CONTROL_STOP), 0);
  EXPECT_EQ(scm_->controlService(base, SERVICE_CONTROL_STOP, nullptr), 0);
  scm_->closeHandle(base);
}

TEST_F(ServiceManagerTest, DeletedServiceGoesOnceStoppedAndClosed) {
  ASSERT_EQ(create(L"Doomed", L"C:\\Svc\\run.sh"), 0);
  ASSERT_EQ(start(L"Doomed"), 0);
  ScHandle h = open(L"Doomed");
  EXPECT_EQ(scm_->deleteService(h), 0);
  EXPECT_EQ(scm_->deleteService(h), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(scm_->closeHandle(h), 0);
  // Still running: the key stays, marked; stopped, it stays while a handle
  // is open, and a start is refused.
  h = open(L"Doomed");
  EXPECT_EQ(scm_->controlService(h, SERVICE_CONTROL_STOP, nullptr), 0);
  EXPECT_EQ(scm_->startService(h), ERROR_SERVICE_MARKED_FOR_DELETE);
  ServiceConfig c;
  EXPECT_EQ(scm_->queryConfig(h, &c), 0);
  scm_->closeHandle(h);
  EXPECT_EQ(scm_->openService(manager_, L"Doomed", SERVICE_ALL_ACCESS, &h),
            ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceManagerTest, RecordOfAnotherProcessReadsStoppedAndIsNeverSignalled) {
  ASSERT_EQ(create(L"Recycled", L"C:\\Svc\\run.sh"), 0);
  // A process the service never started holds the recorded pid; the
  // record's start time is one tick off its own.
  const pid_t other = ::fork();
  if (other == 0) {
    ::pause();
    ::_exit(0);
  }
  ASSERT_GT(other, 0);
  uint64_t start = 0;
  while (processState(static_cast<uint32_t>(other), &start) == 0) std::this_thread::yield();
  std::string boot;
  std::getline(std::ifstream("/proc/sys/kernel/random/boot_id"), boot);
  fs::create_directories(*root_ + "/services");
  std::ofstream(*root_ + "/services/state")
      << "recycled\t" << other << '\t' << start + 1 << '\t' << boot << '\n';
  EXPECT_EQ(status(L"Recycled").currentState, SERVICE_STOPPED);
  EXPECT_EQ(control(L"Recycled", SERVICE_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE);
  // Same pid and start time from an earlier boot: stopped as well.
  std::ofstream(*root_ + "/services/state")
      << "recycled\t" << other << '\t' << start << "\tanother-boot\n";
  EXPECT_EQ(control(L"Recycled", SERVICE_CONTROL_PAUSE), ERROR_SERVICE_NOT_ACTIVE);
  const char letter = processState(static_cast<uint32_t>(other));
  EXPECT_TRUE(letter == 'S' || letter == 'R') << letter;  // neither stopped nor ended
  ::kill(other, SIGKILL);
  int ignored = 0;
  ::waitpid(other, &ignored, 0);
}

TEST_F(ServiceManagerTest, ConcurrentStartsMakeOneProcess) {
  ASSERT_EQ(create(L"Once", L"C:\\Svc\\run.sh"), 0);
  std::atomic<int> started{0}, refused{0}, other{0};
  std::vector<std::thread> runs;
  for (int i = 0; i < 3; ++i) {
    runs.emplace_back([&] {
      // Each run has its own manager, as separate programs would.
      auto scm = createServiceManager(*currentMachine());
      ScHandle m = kNoScHandle, s = kNoScHandle;
      scm->openManager(SC_MANAGER_ALL_ACCESS, &m);
      scm->openService(m, L"Once", SERVICE_ALL_ACCESS, &s);
      const WinError e = scm->startService(s);
      ++(e == 0 ? started : e == ERROR_SERVICE_ALREADY_RUNNING ? refused : other);
    });
  }
  for (std::thread& t : runs) t.join();
  EXPECT_EQ(started.load(), 1);
  EXPECT_EQ(refused.load(), 2);
  EXPECT_EQ(other.load(), 0);
}

TEST_F(ServiceManagerTest, SvchostServicesRunUnderTheirWindowsImage) {
  if (!fs::exists(host(L"C:\\Windows\\System32\\svchost.exe")))
    GTEST_SKIP() << "zorel-wintools is not built";
  ASSERT_EQ(start(L"Themes"), 0);
  const ServiceStatus s = status(L"Themes");
  ASSERT_EQ(s.currentState, SERVICE_RUNNING);
  // Recorded for the process list under its Windows file, not the host
  // program behind the link.
  std::stringstream programs;
  programs << std::ifstream(*root_ + "/run/programs").rdbuf();
  EXPECT_NE(programs.str().find("\t" + std::to_string(s.processId) + "\t"), std::string::npos);
  EXPECT_NE(programs.str().find("C:\\Windows\\System32\\svchost.exe"), std::string::npos);
  EXPECT_EQ(control(L"Themes", SERVICE_CONTROL_STOP), 0);
  EXPECT_EQ(status(L"Themes").currentState, SERVICE_STOPPED);
}

TEST(DetachedStart, ExecOutcomeIsKnownAndTheProgramIsNoChild) {
  testing::TempMachine machine;
  setCurrentMachine(machine.release());
  std::string host;
  ASSERT_EQ(currentMachine()->paths().toHostPath(L"C:\\T\\s.sh", host), 0);
  fs::create_directories(fs::path(host).parent_path());
  std::ofstream(host) << "#!/bin/sh\npwd > \"$1\"\nexec sleep 600\n";
  ::chmod(host.c_str(), 0755);
  std::string out;
  currentMachine()->paths().toHostPath(L"C:\\T\\pwd.txt", out);
  DetachedProcess p;
  ASSERT_EQ(startDetachedProcess(L"C:\\T\\s.sh " + fromUtf8(out), L"C:\\Windows\\System32", &p),
            0);
  uint64_t start = 0;
  EXPECT_NE(processState(p.processId, &start), 0);
  EXPECT_EQ(start, p.startTime);
  EXPECT_EQ(::getsid(static_cast<pid_t>(p.processId)), static_cast<pid_t>(p.processId));
  EXPECT_EQ(::waitpid(static_cast<pid_t>(p.processId), nullptr, WNOHANG), -1);  // not ours
  for (int i = 0; i < 200 && !fs::exists(out); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::string folder;
  std::getline(std::ifstream(out), folder);
  std::string system32;
  currentMachine()->paths().toHostPath(L"C:\\Windows\\System32", system32);
  EXPECT_EQ(fs::path(folder), fs::canonical(system32));
  ::kill(-static_cast<pid_t>(p.processId), SIGKILL);

  EXPECT_EQ(startDetachedProcess(L"C:\\T\\none.exe", L"", &p), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(startDetachedProcess(L"C:\\T\\s.sh", L"C:\\NoFolder", &p), ERROR_FILE_NOT_FOUND);
  setCurrentMachine(nullptr);
}

}  // namespace
}  // namespace zorel::platform
