#include "bridge_process.h"

#include <fcntl.h>
#include <json/reader.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace zorel::testing {

namespace fs = std::filesystem;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const char kZorel[] = ZOREL_BINARY_DIR "/src/cli/zorel";

}  // namespace

BridgeProcess::BridgeProcess(const std::string& machineRoot, const std::vector<std::string>& args,
                             const std::string& errFile, const std::vector<std::string>& env,
                             const std::string& cwd) {
  int toChild[2], fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe";
    return;
  }
  std::vector<std::string> argStore{kZorel, "bridge"};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore{"ZOREL_MACHINE=" + machineRoot};
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("ZOREL_MACHINE=", 0) != 0) envStore.push_back(*e);
  }
  envStore.insert(envStore.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(toChild[0], 0);
    ::dup2(fromChild[1], 1);
    if (err >= 0) ::dup2(err, 2);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(kZorel, argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(toChild[0]);
  ::close(fromChild[1]);
  in_ = toChild[1];
  out_ = fromChild[0];
}

BridgeProcess::~BridgeProcess() {
  if (pid_ > 0) Finish(20000);
  if (out_ >= 0) ::close(out_);
}

bool BridgeProcess::ReadExactly(std::string& out, size_t n, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (buffer_.size() < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[65536];
    const ssize_t got = ::read(out_, chunk, sizeof chunk);
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(got));
  }
  out = buffer_.substr(0, n);
  buffer_.erase(0, n);
  return true;
}

bool BridgeProcess::ReadLine(std::string& out, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const size_t nl = buffer_.find('\n');
    if (nl != std::string::npos) {
      out = buffer_.substr(0, nl);
      buffer_.erase(0, nl + 1);
      return true;
    }
    std::string more;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !ReadExactly(more, buffer_.size() + 1, static_cast<int>(left.count()))) {
      return false;
    }
    buffer_ = more + buffer_;
  }
}

std::string BridgeProcess::Request(const std::string& line, int timeoutMs) {
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(in_, text.data() + done, text.size() - done);
    if (n <= 0) {
      ADD_FAILURE() << "bridge input closed";
      return {};
    }
    done += static_cast<size_t>(n);
  }
  std::string length;
  if (!ReadLine(length, timeoutMs)) {
    ADD_FAILURE() << "no response length";
    return {};
  }
  size_t used = 0;
  size_t n = 0;
  try {
    n = std::stoul(length, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != length.size() || length.empty()) {
    ADD_FAILURE() << "broken frame length '" << length << "'";
    return {};
  }
  std::string body;
  if (!ReadExactly(body, n, timeoutMs)) ADD_FAILURE() << "short response body";
  return body;
}

Json::Value BridgeProcess::RequestJson(const std::string& line, int timeoutMs) {
  const std::string text = Request(line, timeoutMs);
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
    ADD_FAILURE() << "response is not JSON: " << text.substr(0, 200);
    return Json::Value();
  }
  return value;
}

std::string BridgeProcess::Trailing(int timeoutMs) {
  std::string rest;
  ReadExactly(rest, buffer_.size() + 1, timeoutMs);
  rest += buffer_;
  buffer_.clear();
  return rest;
}

int BridgeProcess::Finish(int timeoutMs) {
  if (in_ >= 0) {
    ::close(in_);
    in_ = -1;
  }
  if (pid_ <= 0) return -1;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      ADD_FAILURE() << "bridge did not end";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Progress ReadProgress(BridgeProcess& bridge) {
  const Json::Value r = bridge.RequestJson(R"({"operationid":1})");
  Progress p;
  p.status = r["status"].asBool();
  p.errorCode = r["errorcode"].asInt();
  p.stageId = r["progress"]["stageId"].asInt();
  p.percentage = r["progress"]["percentage"].asInt();
  p.message = r["progress"]["message"].asString();
  return p;
}

void BridgeTest::SetUp() {
  char pattern[] = "/tmp/zorel-bridge-test-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  ASSERT_NE(dir, nullptr);
  base_ = dir;
  root_ = base_ + "/machine";
  store_ = base_ + "/store";
}

void BridgeTest::TearDown() {
  std::error_code ec;
  fs::remove_all(base_, ec);
}

std::string BridgeTest::Sealed(const std::string& name) {
  const std::string out = base_ + "/" + name + ".enc";
  const std::string cmd = std::string(kZorel) + " seal '" ZOREL_SOURCE_DIR "/tests/session/data/" + name +
                          "' '" + out + "' >/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return out;
}

std::unique_ptr<BridgeProcess> BridgeTest::Bridge(const std::string& script,
                                                  std::vector<std::string> extra,
                                                  const std::vector<std::string>& env) {
  std::vector<std::string> args{"--store", store_};
  if (!script.empty()) {
    args.push_back("--sealed");
    args.push_back(Sealed(script));
  }
  args.insert(args.end(), extra.begin(), extra.end());
  return std::make_unique<BridgeProcess>(root_, args, base_ + "/stderr.txt", env);
}

std::string BridgeTest::Log() const {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root_ + "/drive_c", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename() == "FrameWork.log") return readFile(it->path().string());
  }
  return {};
}

std::string BridgeTest::StartRequest(const std::vector<std::pair<int, std::string>>& stages) {
  std::string text = R"({"operationid":0,"operationinfo":[)";
  for (size_t i = 0; i < stages.size(); ++i) {
    if (i) text += ",";
    text += R"({"stageid":)" + std::to_string(stages[i].first) + R"(,"problemid":)" + stages[i].second + "}";
  }
  return text + "]}";
}

std::vector<Progress> BridgeTest::WaitForEnd(BridgeProcess& bridge, std::chrono::milliseconds limit) {
  std::vector<Progress> seen;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    Progress p = ReadProgress(bridge);
    seen.push_back(p);
    if (!p.status || p.percentage >= 100) return seen;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "run did not end";
  return seen;
}

CommandRun RunCommand(const std::string& command, const std::string& errFile) {
  CommandRun run;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return run;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) run.out.append(chunk, n);
  const int status = ::pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (!errFile.empty()) run.err = readFile(errFile);
  return run;
}

ProcessUsage Usage(pid_t pid) {
  ProcessUsage usage;
  std::istringstream in(readFile("/proc/" + std::to_string(pid) + "/status"));
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") in >> usage.rssKb;
    if (key == "Threads:") in >> usage.threads;
  }
  return usage;
}

std::vector<pid_t> Children(pid_t pid) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::istringstream in(readFile(task.path().string() + "/children"));
    pid_t child;
    while (in >> child) children.push_back(child);
  }
  return children;
}

}  // namespace zorel::testing
