// SIGKILL at random moments loses nothing: of the framework worker in the
// middle of a run that writes operation records, collection requests and
// registry values; of `zorel check` as a whole; of the report server while
// uploads arrive. After each kill the run counts as not completed, the next
// run completes, ResultStore.db and the registry pass their integrity
// checks, and every write the killed process had acknowledged is there.
//
// A write is acknowledged when the script went on past it: after each
// registry value and collection request the script creates C:\killacks\a<i>,
// so a<i> on the disk means record i was written. The report server
// acknowledges an upload with its "stored" answer.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <json/reader.h>

#include "../../report/report_server_process.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/report/http_exchange.h"
#include "zorel/report/report_messages.h"
#include "zorel/report/sealed_container.h"

extern char** environ;

namespace zorel {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Records per killed run: enough that a run lasts well beyond its start.
constexpr int kRecords = 150;

std::string checkScript(int records) {
  return R"(var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "kill.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "kill", stages: [101]});
var Problems = {
  1: {
    detect: function () {
      for (var i = 0; i < )" + std::to_string(records) + R"(; i++) {
        new Registry({key: "HKLM\\SOFTWARE\\KillSeq", value: "v" + i, data: String(i), type: "1"}).setValue();
        new File({foldername: "C:\\killdata", filename: "f" + (i % 4) + ".txt"}).collect("c" + i, "false");
        new File({foldername: "C:\\killacks", filename: "a" + i}).create("x", "false");
      }
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
)";
}

// A process started with ZOREL_MACHINE set, its output thrown away.
pid_t spawnZorel(const std::vector<std::string>& args, const std::string& root) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("ZOREL_MACHINE=", 0) != 0) env.emplace_back(*e);
  }
  env.push_back("ZOREL_MACHINE=" + root);
  std::vector<char*> argv, envp;
  std::vector<std::string> all = {ZOREL_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The exit code, -1 for a signal, -2 when it did not end within `limit`.
int waitFor(pid_t pid, milliseconds limit = milliseconds(30000)) {
  const auto end = Clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > end) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -2;
    }
    std::this_thread::sleep_for(milliseconds(2));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The framework workers of the machine at `root`: "zorel worker --machine ROOT".
std::vector<pid_t> workersOf(const std::string& root) {
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    // read(2): the process may end while it is read.
    const int fd = ::open(("/proc/" + std::string(entry->d_name) + "/cmdline").c_str(), O_RDONLY);
    if (fd < 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) continue;
    const std::string cmdline(buffer, static_cast<size_t>(n));
    if (cmdline.find(std::string("worker") + '\0' + "--machine" + '\0' + root + '\0') !=
        std::string::npos) {
      found.push_back(pid);
    }
  }
  ::closedir(proc);
  return found;
}

// sqlite3 answers on a database: the first column of every row.
std::vector<std::string> query(const std::string& database, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
      while (sqlite3_step(statement) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(statement, 0);
        rows.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
    }
    sqlite3_finalize(statement);
  } else {
    rows.push_back(std::string("cannot open: ") + sqlite3_errmsg(db));
  }
  sqlite3_close(db);
  return rows;
}

// One machine and store on which runs are killed, one after the other.
class Lane {
 public:
  explicit Lane(int number) {
    base_ = (fs::temp_directory_path() /
             ("zorel-kill-" + std::to_string(::getpid()) + "-" + std::to_string(number)))
                .string();
    fs::remove_all(base_);
    fs::create_directories(base_);
    root_ = base_ + "/machine";
    store_ = base_ + "/store";
    std::ofstream(base_ + "/kill.js") << checkScript(kRecords);
    std::ofstream(base_ + "/next.js") << checkScript(3);
  }
  ~Lane() {
    std::error_code ec;
    fs::remove_all(base_, ec);
  }

  // The first run makes the machine; the files to collect are laid out after it.
  // RETURNS how long a whole killable run took.
  milliseconds prepare() {
    EXPECT_EQ(runToEnd("next.js"), 0) << "the first run on a new machine";
    fs::create_directories(root_ + "/drive_c/killdata");
    fs::create_directories(root_ + "/drive_c/killacks");
    for (int i = 0; i < 4; ++i) {
      std::ofstream(root_ + "/drive_c/killdata/f" + std::to_string(i) + ".txt")
          << std::string(2000, char('a' + i));
    }
    const auto start = Clock::now();
    EXPECT_EQ(runToEnd("kill.js"), 0) << "a run nobody kills";
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
  }

  // A fresh start for the acknowledgements of the next killed run.
  void forgetAcknowledged() {
    for (const auto& entry : fs::directory_iterator(root_ + "/drive_c/killacks")) fs::remove(entry);
    std::unique_ptr<platform::IRegistry> registry;
    ASSERT_EQ(platform::openRegistry(root_ + "/registry.db", platform::RegistryOptions{}, &registry), 0);
    const platform::WinError rc = registry->deleteTree(platform::kHkeyLocalMachine, L"SOFTWARE\\KillSeq");
    ASSERT_TRUE(rc == 0 || rc == platform::ERROR_FILE_NOT_FOUND) << rc;
  }

  pid_t startRun(const std::string& script) {
    return spawnZorel({"check", "--script", base_ + "/" + script, "--stages", "100,101", "--store",
                       store_, "--offline"},
                      root_);
  }
  int runToEnd(const std::string& script) { return waitFor(startRun(script)); }

  // The worker of the run just started, once it is there.
  pid_t waitForWorker(pid_t check) {
    const auto end = Clock::now() + milliseconds(10000);
    while (Clock::now() < end) {
      const std::vector<pid_t> workers = workersOf(root_);
      if (!workers.empty()) return workers.front();
      int status = 0;
      if (::waitpid(check, &status, WNOHANG) == check) {
        ADD_FAILURE() << "zorel check ended before its worker started";
        return -1;
      }
      std::this_thread::sleep_for(milliseconds(1));
    }
    return -1;
  }

  // No worker of this machine is left (an orphan ends on its own).
  bool workersGone() {
    const auto end = Clock::now() + milliseconds(8000);
    while (!workersOf(root_).empty()) {
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
  }

  // The databases are sound and hold every acknowledged write.
  void checkKept(const std::string& what) {
    SCOPED_TRACE(what);
    const std::string database = store_ + "/ResultStore.db";
    std::set<int> acknowledged;
    for (const auto& entry : fs::directory_iterator(root_ + "/drive_c/killacks")) {
      acknowledged.insert(std::atoi(entry.path().filename().string().c_str() + 1));
    }
    // Killed before the run made its store afresh: it acknowledged nothing.
    if (!fs::exists(database)) {
      EXPECT_EQ(acknowledged, std::set<int>{});
    } else {
      EXPECT_EQ(query(database, "pragma integrity_check"), std::vector<std::string>{"ok"});
    }
    EXPECT_EQ(query(root_ + "/registry.db", "pragma integrity_check"), std::vector<std::string>{"ok"});
    std::unique_ptr<platform::IRegistry> registry;
    ASSERT_EQ(platform::openRegistry(root_ + "/registry.db", platform::RegistryOptions{}, &registry), 0);
    std::wstring report;
    EXPECT_EQ(registry->checkIntegrity(&report), 0) << toUtf8(report);

    std::set<int> recorded, collected;
    for (const std::string& details :
         query(database, "select INPUT_DETAILS from OPERATION_TABLE where API_NAME='Registry::setValue'")) {
      const size_t at = details.find("\"value\":\"v");
      if (at != std::string::npos) recorded.insert(std::atoi(details.c_str() + at + 10));
    }
    // DESTINATION is collection\file\c<i>.
    for (const std::string& destination : query(database, "select DESTINATION from COLLECTION_TABLE")) {
      const size_t at = destination.rfind("\\c");
      if (at != std::string::npos) collected.insert(std::atoi(destination.c_str() + at + 2));
    }
    platform::RegKey key = platform::kRegNoKey;
    registry->openKey(platform::kHkeyLocalMachine, L"SOFTWARE\\KillSeq", 0, platform::KEY_QUERY_VALUE, &key);
    for (int i : acknowledged) {
      EXPECT_TRUE(recorded.count(i)) << "operation record " << i << " was acknowledged";
      EXPECT_TRUE(collected.count(i)) << "collection request " << i << " was acknowledged";
      EXPECT_TRUE(key != platform::kRegNoKey &&
                  registry->queryValue(key, L"v" + std::to_wstring(i), nullptr, nullptr, nullptr) == 0)
          << "registry value " << i << " was acknowledged";
    }
    if (key != platform::kRegNoKey) registry->closeKey(key);
  }

 private:
  std::string base_, root_, store_;
};

// Runs `cycles` kills over `lanes` machines at once (a run spends most of
// its time waiting, so lanes share the processor well). wholeCheck kills
// zorel check itself instead of its worker.
void killRuns(int cycles, int lanes, bool wholeCheck) {
  std::atomic<int> kills{0}, misses{0};
  std::vector<std::thread> threads;
  std::mutex random;
  std::mt19937 seed{std::random_device{}()};
  for (int n = 0; n < lanes; ++n) {
    threads.emplace_back([&, n] {
      Lane lane(n);
      const milliseconds whole = lane.prepare();
      for (int attempt = 0; kills.load() < cycles && attempt < cycles * 3; ++attempt) {
        lane.forgetAcknowledged();
        milliseconds delay;
        {
          std::lock_guard<std::mutex> guard(random);
          delay = milliseconds(std::uniform_int_distribution<long>(0, whole.count() * 9 / 10)(seed));
        }
        const pid_t check = lane.startRun("kill.js");
        ASSERT_GT(check, 0);
        const pid_t worker = lane.waitForWorker(check);
        ASSERT_GT(worker, 0);
        std::this_thread::sleep_for(delay);
        const bool hit = ::kill(wholeCheck ? check : worker, SIGKILL) == 0;
        const int status = waitFor(check);
        if (!hit || status == 0) {
          // The run was over before the moment came.
          ++misses;
          continue;
        }
        ++kills;
        if (wholeCheck) {
          EXPECT_EQ(status, -1);
        } else {
          EXPECT_EQ(status, 1) << "the controller ends a run whose worker was killed as not completed";
        }
        EXPECT_TRUE(lane.workersGone()) << "a worker outlived its run";
        lane.checkKept("killed after " + std::to_string(delay.count()) + " ms");
        EXPECT_EQ(lane.runToEnd("next.js"), 0) << "the run after a kill completes";
        if (::testing::Test::HasFailure()) return;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_GE(kills.load(), cycles) << misses.load() << " runs ended before their kill";
}

TEST(Kills, AKilledWorkerLosesNoAcknowledgedRecord) { killRuns(100, 8, false); }

// The worker of a killed check ends on its own (within its 5 s grace), so
// fewer rounds than for the worker.
TEST(Kills, AKilledCheckLosesNoAcknowledgedRecord) { killRuns(16, 4, true); }

// ------------------------------------------------------------ the server

std::string seal(const std::string& plain) {
  std::string out(plain.size() + kSealHeaderSize, '\0');
  Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), 1,
       reinterpret_cast<uint8_t*>(out.data()), out.size());
  return out;
}

Json::Value post(const std::string& base, const std::string& plain) {
  HttpExchange exchange;
  exchange.method = 1;
  exchange.url = fromUtf8(base + "/preinstall/DataAPIService.aspx");
  const std::string body = seal(plain);
  exchange.body.assign(body.begin(), body.end());
  RunHttpExchange(exchange, "", std::chrono::seconds(10));
  Json::Value answer;
  if (exchange.status != 200) return answer;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  const char* text = reinterpret_cast<const char*>(exchange.response.data());
  if (!reader->parse(text, text + exchange.response.size(), &answer, &errors)) return Json::Value();
  return answer;
}

std::string request(const std::string& command, const Json::Value& data) {
  HttpRequestData r;
  r.service = kReportServiceName;
  r.command = command;
  r.data = data;
  return r.ToString();
}

TEST(Kills, AKilledReportServerKeepsEveryUploadItAnsweredAsStored) {
  constexpr int kServerKills = 20;
  test::ReportServerProcess server;
  std::mutex lock;
  std::vector<std::pair<std::string, std::string>> stored;  // name, cabinet
  std::mt19937 random{std::random_device{}()};
  for (int round = 0; round < kServerKills; ++round) {
    ASSERT_TRUE(server.start({"--http"})) << server.stderrText();
    const std::string base = server.baseAddress();
    Json::Value data;
    data["machineid"] = "kill-" + std::to_string(round);
    const int32_t session =
        post(base, request(kCommandCreateSessionId, data))["response"]["sessionID"].asInt();
    ASSERT_GT(session, 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < 3; ++c) {
      clients.emplace_back([&, c] {
        for (int n = 0; !stop.load(); ++n) {
          const std::string cabinet = "MSCF" + std::to_string(round) + "/" + std::to_string(c) + "/" +
                                      std::to_string(n) + std::string(60000, char('a' + n % 26));
          Json::Value upload;
          upload["sessionid"] = session;
          upload["cabsize"] = static_cast<Json::Int64>(cabinet.size());
          const Json::Value answer =
              post(base, request(kCommandUploadResult, upload) + kJsonCabSeparator + cabinet);
          const Json::Value& name = answer["response"]["stored"];
          if (name.isString()) {
            std::lock_guard<std::mutex> guard(lock);
            stored.emplace_back(name.asString(), cabinet);
          }
        }
      });
    }
    std::this_thread::sleep_for(milliseconds(std::uniform_int_distribution<int>(20, 300)(random)));
    server.killNow();
    stop = true;
    for (auto& t : clients) t.join();

    // What a restarted server keeps.
    ASSERT_TRUE(server.start({"--http"})) << server.stderrText();
    const std::string sessions = test::slurpFile(server.dataDir() + "/sessions.json");
    for (const auto& [name, cabinet] : stored) {
      EXPECT_EQ(test::slurpFile(server.dataDir() + "/" + name), cabinet) << name;
      const std::string file = name.substr(name.rfind('/') + 1);
      EXPECT_NE(sessions.find("\"" + file + "\""), std::string::npos) << file << " is not listed";
    }
    ASSERT_EQ(server.stop(), 0);
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(stored.size(), 0u);
}

}  // namespace
}  // namespace zorel
