// The window through the real `zorel ui` under a virtual display: the
// self-test's whole run, every way of closing, the one-instance lock, a
// missing page and the inspector variables. The machine root's name holds
// a blank, '#', '%' and a non-ASCII letter, so every page address here
// needs escaping.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <json/reader.h>

#include <sstream>

#include "../session/bridge_process.h"
#include "ui_process.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kOfflineLine = "Internet is not connected, going offline mode";
constexpr const char* kAlreadyRunning = "Readiscan tool is already running on this machine.";

class UiWindow : public UiTest {
 protected:
  UiWindow() { rootName_ = "machine #1 %41 \xc3\xa9"; }
  void SetUp() override {
    UiTest::SetUp();
    shots_ = base_ + "/shots";
  }

  // Waits until `zorel ui` has registered its class, which it does just
  // before the window, then gives the page a moment.
  bool WaitForWindow(int limitMs = 20000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Clock::now() < deadline) {
      if (!ClassKeys(true).empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  bool WaitForWorker(int limitMs = 15000) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (Workers().empty()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  bool WaitNoWorkers(int limitMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    while (!Workers().empty()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }

  Json::Value Report() { return ReadJson(shots_ + "/self-test.json"); }

  void PrintShots() {
    for (const char* name : {"01-start.png", "02-running.png", "03-results.png"}) {
      if (fs::exists(shots_ + "/" + name)) std::printf("screenshot: %s/%s\n", shots_.c_str(), name);
    }
  }

  std::string shots_;
};

std::string integrity(const std::string& db) {
  FILE* pipe = ::popen(("sqlite3 '" + db + "' 'PRAGMA integrity_check' 2>&1").c_str(), "r");
  std::string out;
  char buffer[256];
  while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  if (pipe) ::pclose(pipe);
  return out;
}

std::string findFile(const std::string& root, const std::string& name) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename() == name) return it->path().string();
  }
  return {};
}

// A whole offline run of the sample check, as a user would click it, then
// the online mode as the page reads it.
TEST_F(UiWindow, SelfTestRunsTheCheckThroughThePage) {
  const struct {
    const char* flag;
    int mode;
    bool logsOffline;
  } cases[] = {{"--offline", 0, true}, {"--online", 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flag);
    fs::remove_all(shots_);
    fs::remove(findFile(root_ + "/drive_c", "FrameWork.log"));
    // Online runs reach no server: the port refuses at once.
    auto ui = StartUi({c.flag, "--self-test", shots_}, {"ZOREL_REPORT_SERVER=http://127.0.0.1:9"});
    EXPECT_EQ(ui->Wait(60000), 0) << Err();
    PrintShots();
    const Json::Value report = Report();
    EXPECT_TRUE(report["ok"].asBool()) << report.toStyledString() << Err();
    EXPECT_EQ(report["mode"], c.mode);
    EXPECT_EQ(report["closed_by"], "page");
    EXPECT_GT(report["problems"].asInt(), 0);
    EXPECT_TRUE(report["run_ms"].isIntegral());
    EXPECT_EQ(Log().find(kOfflineLine) != std::string::npos, c.logsOffline) << Log();
    const std::string a = ReadFile(shots_ + "/01-start.png"), b = ReadFile(shots_ + "/02-running.png"),
                      r = ReadFile(shots_ + "/03-results.png");
    EXPECT_FALSE(a.empty() || b.empty() || r.empty());
    EXPECT_TRUE(a != b && b != r && a != r) << "the three screenshots must differ";
    EXPECT_EQ(ClassKeys(true), std::vector<std::string>{});
    EXPECT_TRUE(WaitNoWorkers(1000));
  }
}

// The close button and SIGTERM during a stage that never ends: the window
// goes at once, the process within the cancel's time, no worker is left and
// the store is sound. SIGINT and SIGHUP take the same path (on a run that
// ends by itself, to keep the test short).
TEST_F(UiWindow, EveryWayOfClosingTakesTheClosePath) {
  const struct {
    const char* how;
    int signal;  // 0: the close button, through the self-test
    bool spin;
  } cases[] = {{"close button", 0, true}, {"SIGTERM", SIGTERM, true}, {"SIGINT", SIGINT, false},
               {"SIGHUP", SIGHUP, false}};
  const std::string page = UiFolder() + "landing.html";
  const std::string standard = ReadFile(page);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    InstallScript(c.spin ? "spin.js" : "basic.js");
    std::unique_ptr<UiProcess> ui;
    if (c.signal == 0) {
      std::ofstream(page, std::ios::binary | std::ios::trunc) << standard;
      ui = StartUi({"--offline", "--self-test", shots_, "--close-during-run"});
    } else {
      fs::copy_file(ZOREL_SOURCE_DIR "/tests/app/data/autostart_landing.html", page,
                    fs::copy_options::overwrite_existing);
      ui = StartUi({"--offline"});
      ASSERT_TRUE(WaitForWindow()) << Err();
      if (c.spin) {
        ASSERT_TRUE(WaitForWorker()) << "the page's start made no worker";
      }
      ui->Signal(c.signal);
    }
    const auto closed = Clock::now();
    EXPECT_EQ(ui->Wait(c.signal ? 13000 : 25000), 0) << Err();
    if (c.signal) {
      EXPECT_LT(Clock::now() - closed, std::chrono::seconds(12));
    }
    if (c.signal == 0) {
      const Json::Value report = Report();
      EXPECT_TRUE(report["ok"].asBool()) << report.toStyledString() << Err();
      EXPECT_EQ(report["closed_by"], "window");
      EXPECT_TRUE(report["run_ms"].isNull());
    }
    EXPECT_TRUE(WaitNoWorkers(1000));
    EXPECT_EQ(ClassKeys(true), std::vector<std::string>{});
    const std::string store = findFile(root_ + "/drive_c", "ResultStore.db");
    if (!store.empty()) {
      EXPECT_EQ(integrity(store), "ok\n");
    }
  }
  std::ofstream(page, std::ios::binary) << standard;
}

// A window killed during a run: its worker cancels as soon as the channel
// closes, so it stops writing the store at the next problem and ends well
// before its 5 s of grace.
TEST_F(UiWindow, AKilledWindowsWorkerStopsAtItsNextCancelPoint) {
  InstallScript(ZOREL_SOURCE_DIR "/tests/app/data/steady.js");
  fs::copy_file(ZOREL_SOURCE_DIR "/tests/app/data/autostart_landing.html", UiFolder() + "landing.html",
                fs::copy_options::overwrite_existing);
  auto ui = StartUi({"--offline"});
  ASSERT_TRUE(WaitForWindow()) << Err();
  ASSERT_TRUE(WaitForWorker());
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // into the run
  ui->Signal(SIGKILL);
  const auto killed = Clock::now();
  EXPECT_TRUE(WaitNoWorkers(6000));
  EXPECT_LT(Clock::now() - killed, std::chrono::seconds(2)) << "the worker ran on after its window died";
  const std::string store = findFile(root_ + "/drive_c", "ResultStore.db");
  ASSERT_FALSE(store.empty());
  EXPECT_EQ(integrity(store), "ok\n");
}

// One window per machine: later starts, switches and the headless commands
// on the machine's data folder are refused while it runs; a SIGKILLed
// window leaves no lock, and its worker ends on its own.
TEST_F(UiWindow, OneInstancePerMachine) {
  InstallScript("spin.js");
  fs::copy_file(ZOREL_SOURCE_DIR "/tests/app/data/autostart_landing.html", UiFolder() + "landing.html",
                fs::copy_options::overwrite_existing);
  auto first = StartUi({"--offline"});
  ASSERT_TRUE(WaitForWindow()) << Err();
  const std::vector<std::string> keys = ClassKeys(true);
  EXPECT_EQ(keys.size(), 6u);
  std::string program = "Z:" + fs::canonical(ZOREL_BINARY_DIR "/src/cli/zorel").string();
  std::replace(program.begin(), program.end(), '/', '\\');
  EXPECT_EQ(ClassText(L"CLSID\\{728AAD16-0A19-4001-AB75-18C8EAB08359}\\LocalServer32"), "\"" + program + "\"");

  const struct {
    const char* what;
    std::vector<std::string> args;
    bool display;
    int code;
  } refused[] = {
      {"ui without a display", {"ui", "--offline"}, false, 0},
      {"/RegServer", {"ui", "/RegServer"}, false, 0},
      {"check on the machine's folder", {"check", "--offline"}, true, 1},
      {"bridge on the machine's folder", {"bridge", "--offline"}, true, 1},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.what);
    std::string err;
    const auto start = Clock::now();
    EXPECT_EQ(Zorel(r.args, &err, r.display ? std::vector<std::string>{} : std::vector<std::string>{"DISPLAY"}),
              r.code);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(err.find(kAlreadyRunning), std::string::npos) << err;
  }
  EXPECT_EQ(AppIdKeys(true), std::vector<std::string>{}) << "a refused switch wrote";

  // With a display the refusal is a dialog, which a signal dismisses.
  std::string second = base_ + "/second-stderr.txt";
  UiProcess dialog(root_, {"ui", "--offline"}, second);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(dialog.Running()) << "the dialog waits for its OK";
  dialog.Signal(SIGTERM);
  EXPECT_EQ(dialog.Wait(5000), 0);
  EXPECT_NE(ReadFile(second).find(kAlreadyRunning), std::string::npos);
  EXPECT_EQ(ClassKeys(true), keys) << "the first window is untouched";

  ASSERT_TRUE(WaitForWorker());
  first->Signal(SIGKILL);
  EXPECT_EQ(first->Wait(2000), -1);
  EXPECT_TRUE(WaitNoWorkers(6000)) << "the worker outlived its window";
  std::string err;
  EXPECT_EQ(Zorel({"ui", "--offline"}, &err, {"DISPLAY"}), 1) << "the lock was left behind: " << err;
}

std::vector<pid_t> webProcesses(pid_t parent) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
    if (pid <= 0) continue;
    const std::string stat = ReadFile(entry.path().string() + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || stat.find("(WebKitWebProces") == std::string::npos) continue;
    if (static_cast<pid_t>(std::atol(stat.c_str() + close + 4)) == parent) found.push_back(pid);
  }
  return found;
}

// The page's web process dies: the window says why and loads the page once
// more; a second death leaves the window as it is, and it still closes.
TEST_F(UiWindow, AWebProcessThatDiesIsReloadedOnce) {
  auto ui = StartUi({"--offline"});
  ASSERT_TRUE(WaitForWindow()) << Err();
  for (int death = 1; death <= 2; ++death) {
    SCOPED_TRACE(death);
    std::vector<pid_t> before = webProcesses(ui->pid());
    ASSERT_EQ(before.size(), 1u);
    ::kill(before[0], SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const std::vector<pid_t> after = webProcesses(ui->pid());
    EXPECT_EQ(after.size(), death == 1 ? 1u : 0u) << "reloaded after death " << death;
    if (!after.empty()) {
      EXPECT_NE(after[0], before[0]);
    }
  }
  EXPECT_NE(Err().find("the page's web process crashed"), std::string::npos) << Err();
  ui->Signal(SIGTERM);
  EXPECT_EQ(ui->Wait(13000), 0);
  EXPECT_EQ(ClassKeys(true), std::vector<std::string>{});
}

// A missing landing.html: WebKit's error page, a line naming the path, and
// the self-test fails at "page".
TEST_F(UiWindow, MissingPageFailsTheSelfTestAtPage) {
  const std::string page = UiFolder() + "landing.html";
  fs::remove(page);
  auto ui = StartUi({"--offline", "--self-test", shots_});
  EXPECT_EQ(ui->Wait(60000), 1);
  EXPECT_EQ(Report()["failed"], "page") << Report().toStyledString();
  EXPECT_NE(Err().find("no page at " + page), std::string::npos) << Err();
  EXPECT_NE(Err().find("self-test failed at step 'page'"), std::string::npos) << Err();
  EXPECT_FALSE(fs::exists(page)) << "zorel ui wrote the UI folder";
}

// With the inspector's variables set, no process of the window listens on
// a socket during a whole self-test.
TEST_F(UiWindow, InspectorVariablesOpenNoListener) {
  auto ui = StartUi({"--offline", "--self-test", shots_},
                    {"WEBKIT_INSPECTOR_SERVER=127.0.0.1:29222", "WEBKIT_INSPECTOR_HTTP_SERVER=127.0.0.1:29223"});
  std::set<std::string> seen;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  for (;;) {
    // The window's process and every descendant.
    const pid_t top = ui->pid();
    std::set<pid_t> family{top};
    for (bool grew = true; grew;) {
      grew = false;
      for (const auto& entry : fs::directory_iterator("/proc")) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry.path().filename().c_str()));
        if (pid <= 0 || family.count(pid)) continue;
        const std::string stat = ReadFile(entry.path().string() + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        const pid_t parent = static_cast<pid_t>(std::atol(stat.c_str() + close + 4));
        if (family.count(parent)) grew = family.insert(pid).second || grew;
      }
    }
    FILE* pipe = ::popen("ss -ltnup 2>/dev/null", "r");
    char line[1024];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
      for (pid_t pid : family) {
        if (std::string(line).find("pid=" + std::to_string(pid) + ",") != std::string::npos) seen.insert(line);
      }
    }
    if (pipe) ::pclose(pipe);
    if (!ui->Running() || Clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  EXPECT_EQ(ui->Wait(60000), 0) << Err();
  EXPECT_TRUE(Report()["ok"].asBool());
  EXPECT_EQ(seen, std::set<std::string>{});
}

}  // namespace
}  // namespace zorel::testing

namespace zorel::testing {
namespace {

// The bridge through the program's window: answers exactly as `zorel
// bridge` gives them for the same bytes (WebKit hands over a lone
// surrogate alone as no bytes at all, one inside a text as U+FFFD; either
// way the answer is the bridge's), non-strings other than null and undefined refused, and documents
// outside the UI folder neither shown nor answered.
TEST_F(UiWindow, BadInputGetsTheBridgesAnswers) {
  // No check script: a text read as a start is refused at once on both
  // sides, so no run makes the answers depend on timing.
  fs::remove(findFile(root_ + "/drive_c", "preinstall.enc"));
  const std::string command = "ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR "/tests/app/page_probe --bridge " +
                              ZOREL_SOURCE_DIR "/tests/app/data/bad_input/landing.html 60 2>>'" + base_ +
                              "/probe-stderr.txt'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << out.substr(0, 500) << ReadFile(base_ + "/probe-stderr.txt");
  ASSERT_EQ(out.rfind("DONE ", 0), 0u) << out.substr(0, 500);
  const Json::Value result = [&] {
    Json::Value v;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(out.substr(5));
    Json::parseFromStream(builder, in, &v, &errors);
    return v;
  }();
  ASSERT_TRUE(result.isObject()) << out.substr(0, 500);

  const std::string big(10 * 1024 * 1024, 'x');
  const std::string replacement = "\xEF\xBF\xBD";
  const std::vector<std::string> texts = {"", "{", "not json", R"({"operationid":7})", R"({"operationid":-1})",
      R"({"operationid":4})", R"({"operationid":1})", R"({"operationid":"1"})", "",
      R"({"operationid":1,"productname":")" + replacement + R"(x"})", big,
      R"({"operationid":1,"productname":")" + std::string(big.size(), 'y') + R"("})"};
  ASSERT_EQ(result["texts"].size(), texts.size());
  BridgeProcess bridge(root_, {"--offline", "--store", base_ + "/store"}, base_ + "/bridge-stderr.txt");
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i].substr(0, 60));
    const std::string expected = bridge.Request(texts[i]);
    const Json::Value& got = result["texts"][static_cast<Json::ArrayIndex>(i)];
    EXPECT_TRUE(got["ok"].asBool());
    EXPECT_EQ(got["type"], "string");
    EXPECT_EQ(got["answer"].asString(), expected.substr(0, 4000));
    EXPECT_EQ(got["length"].asUInt64(), expected.size());
  }
  EXPECT_EQ(bridge.Finish(), 0);

  // 5, {}, [], true refused; null and undefined are the empty request.
  const bool answered[] = {false, false, false, false, true, true};
  ASSERT_EQ(result["values"].size(), 6u);
  for (Json::ArrayIndex i = 0; i < 6; ++i) {
    EXPECT_EQ(result["values"][i]["ok"].asBool(), answered[i]) << i;
    if (answered[i]) {
      EXPECT_EQ(result["values"][i]["answer"], "") << i;
    }
  }
  EXPECT_EQ(result["frame"], Json::Value(Json::arrayValue)) << "a frame outside the folder loaded or was answered";
  EXPECT_TRUE(result["stayed"].asBool()) << "the page navigated away";
}

}  // namespace
}  // namespace zorel::testing

// Every test of this program needs a display: unless it already runs under
// run-headless.sh, the program starts itself again under it.
int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
  if (!listing && !std::getenv("ZOREL_UI_HEADLESS")) {
    std::vector<std::string> store{ZOREL_SOURCE_DIR "/tests/app/run-headless.sh", "env", "ZOREL_UI_HEADLESS=1"};
    for (int i = 0; i < argc; ++i) store.emplace_back(argv[i]);
    std::vector<char*> args;
    for (std::string& s : store) args.push_back(s.data());
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::perror("run-headless.sh");
    return 1;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
