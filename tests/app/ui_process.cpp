#include "ui_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <json/reader.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"

extern char** environ;

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;

const char* const kZorel = ZOREL_BINARY_DIR "/src/cli/zorel";

bool dropped(const std::string& entry, const std::vector<std::string>& drop) {
  for (const std::string& name : drop) {
    if (entry.rfind(name + "=", 0) == 0) return true;
  }
  return false;
}

bool keyExists(platform::IRegistry& registry, platform::RegKey root, const std::wstring& path) {
  platform::RegKey key = platform::kRegNoKey;
  if (registry.openKey(root, path, 0, platform::KEY_READ, &key) != 0) return false;
  registry.closeKey(key);
  return true;
}

std::vector<std::string> existing(const std::string& machineRoot, bool machine,
                                  const std::vector<std::wstring>& keys) {
  std::unique_ptr<platform::IMachine> m;
  platform::MachineOpenOptions options;
  options.readOnlyRegistry = true;
  if (platform::openMachine(machineRoot, options, &m) != 0) {
    ADD_FAILURE() << "cannot open the machine";
    return {};
  }
  const platform::RegKey root = machine ? platform::kHkeyLocalMachine : platform::kHkeyCurrentUser;
  const std::wstring classes = machine ? L"SOFTWARE\\Classes\\" : L"Software\\Classes\\";
  std::vector<std::string> found;
  for (const std::wstring& key : keys) {
    if (keyExists(m->registry(), root, classes + key)) found.emplace_back(key.begin(), key.end());
  }
  return found;
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

UiProcess::UiProcess(const std::string& machineRoot, const std::vector<std::string>& args,
                     const std::string& errFile, const std::vector<std::string>& env,
                     const std::vector<std::string>& drop) {
  std::vector<std::string> envStore{"ZOREL_MACHINE=" + machineRoot};
  std::vector<std::string> names = drop;
  names.push_back("ZOREL_MACHINE");
  for (const std::string& e : env) names.push_back(e.substr(0, e.find('=')));
  for (char** e = environ; *e; ++e) {
    if (!dropped(*e, names)) envStore.push_back(*e);
  }
  envStore.insert(envStore.end(), env.begin(), env.end());
  std::vector<std::string> argStore{kZorel};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    ::setpgid(0, 0);  // its own group: a stray dialog or worker never sees the test's signals
    ::execve(kZorel, argv.data(), envp.data());
    ::_exit(127);
  }
}

UiProcess::~UiProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool UiProcess::Running() {
  if (reaped_ || pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  reaped_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return false;
}

int UiProcess::Wait(int timeoutMs) {
  if (reaped_) return status_;
  if (pid_ <= 0) return -1;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void UiProcess::Signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

void UiTest::SetUp() {
  char pattern[] = "/tmp/zorel-ui-test-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  ASSERT_NE(dir, nullptr);
  base_ = dir;
  root_ = base_ + "/" + rootName_;
  ASSERT_EQ(Zorel({"machine", "init"}), 0) << Err();
  ASSERT_TRUE(fs::exists(UiFolder() + "landing.html")) << "machine init installed no page";
}

void UiTest::TearDown() {
  std::error_code ec;
  if (!HasFailure()) fs::remove_all(base_, ec);
}

int UiTest::Zorel(const std::vector<std::string>& args, std::string* err, const std::vector<std::string>& drop) {
  const std::string errFile = base_ + "/zorel-stderr.txt";
  fs::remove(errFile);
  UiProcess process(root_, args, errFile, {}, drop);
  const int code = process.Wait(30000);
  if (err) *err = ReadFile(errFile);
  return code;
}

std::unique_ptr<UiProcess> UiTest::StartUi(const std::vector<std::string>& args,
                                           const std::vector<std::string>& env,
                                           const std::vector<std::string>& drop) {
  std::vector<std::string> all{"ui"};
  all.insert(all.end(), args.begin(), args.end());
  return std::make_unique<UiProcess>(root_, all, base_ + "/ui-stderr.txt", env, drop);
}

void UiTest::InstallScript(const std::string& name) {
  std::string enc;
  for (const auto& entry : fs::recursive_directory_iterator(root_ + "/drive_c/Users")) {
    if (entry.path().filename() == "preinstall.enc") enc = entry.path().string();
  }
  ASSERT_FALSE(enc.empty()) << "machine init installed no preinstall.enc";
  const std::string source =
      name.find('/') == std::string::npos ? ZOREL_SOURCE_DIR "/tests/session/data/" + name : name;
  ASSERT_EQ(Zorel({"seal", source, enc}), 0) << Err();
}

std::string UiTest::UiFolder() const {
  for (const auto& entry : fs::directory_iterator(root_ + "/drive_c/Users")) {
    const fs::path appData = entry.path() / "AppData" / "Roaming";
    if (fs::exists(appData / "prynesecurity" / "zorel")) {
      return (appData / "prynesecurity" / "zorel" / "Resource" / "UI" / "en-us").string() + "/";
    }
  }
  ADD_FAILURE() << "no %APPDATA%\\prynesecurity\\zorel on the machine";
  return base_ + "/no-ui/";
}

std::string UiTest::Err() const {
  return ReadFile(base_ + "/zorel-stderr.txt") + ReadFile(base_ + "/ui-stderr.txt");
}

std::string UiTest::Log() const {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root_ + "/drive_c", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().filename() == "FrameWork.log") return ReadFile(it->path().string());
  }
  return {};
}

std::vector<std::string> UiTest::ClassKeys(bool machine) const {
  return existing(root_, machine,
                  {L"ZorelBrowser.MessageTranslateImpl", L"ZorelBrowser.MessageTranslateImpl.1",
                   L"CLSID\\{728AAD16-0A19-4001-AB75-18C8EAB08359}",
                   L"TypeLib\\{712B5C80-C251-46A0-9053-03ED92A9D626}",
                   L"Interface\\{4E4950C9-70C5-4E36-BE68-6035CF1A544F}",
                   L"Interface\\{0418805D-D527-405F-96A9-3947A76FCF98}"});
}

std::vector<std::string> UiTest::AppIdKeys(bool machine) const {
  return existing(root_, machine,
                  {L"AppID\\{C4917AA4-5A31-4570-9933-D91560815862}", L"AppID\\ZorelBrowser.EXE"});
}

std::string UiTest::ClassText(const std::wstring& key, const std::wstring& name) const {
  std::unique_ptr<platform::IMachine> m;
  platform::MachineOpenOptions options;
  options.readOnlyRegistry = true;
  std::wstring value;
  if (platform::openMachine(root_, options, &m) != 0 ||
      platform::readString(m->registry(), platform::kHkeyLocalMachine, L"SOFTWARE\\Classes\\" + key, name,
                           &value) != 0) {
    return "<missing>";
  }
  std::string out;
  for (wchar_t c : value) out.push_back(static_cast<char>(c));  // the tests' paths are ASCII
  return out;
}

std::vector<pid_t> UiTest::Workers() const {
  std::vector<pid_t> found;
  DIR* proc = ::opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = ::readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
    if (pid <= 0) continue;
    const std::string cmdline = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    if (cmdline.find(std::string("\0worker\0", 8)) != std::string::npos &&
        cmdline.find(std::string(1, '\0') + root_) != std::string::npos) {
      found.push_back(pid);
    }
  }
  ::closedir(proc);
  return found;
}

Json::Value UiTest::ReadJson(const std::string& path) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(ReadFile(path));
  if (!Json::parseFromStream(builder, in, &value, &errors)) return Json::Value();
  return value;
}

}  // namespace zorel::testing
