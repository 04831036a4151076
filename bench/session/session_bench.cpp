// session_bench [RUNS]: the wall time of `zorel check --offline` on the
// sample script on a default machine, and the time from a start request on
// `zorel bridge` to the first progress record from the framework.
//
// A machine root is made in a temporary folder by the first run (timed on
// its own); the other runs reuse it, as a user's machine is reused.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

namespace {

using Clock = std::chrono::steady_clock;
const char kZorel[] = ZOREL_BINARY_DIR "/src/cli/zorel";

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double timedCheck(const std::string& root) {
  const std::string cmd = "ZOREL_MACHINE='" + root + "' " + kZorel + " check --offline >/dev/null 2>&1";
  const auto t0 = Clock::now();
  const int rc = std::system(cmd.c_str());
  const double t = ms(Clock::now() - t0);
  if (rc != 0) std::fprintf(stderr, "zorel check failed (%d)\n", rc);
  return t;
}

struct Bridge {
  pid_t pid;
  int in, out;
  std::string buf;
  std::string request(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(in, text.data(), text.size()) < 0) return {};
    auto need = [this](size_t n) {
      while (buf.size() < n) {
        char chunk[65536];
        const ssize_t got = ::read(out, chunk, sizeof chunk);
        if (got <= 0) return false;
        buf.append(chunk, static_cast<size_t>(got));
      }
      return true;
    };
    size_t nl;
    while ((nl = buf.find('\n')) == std::string::npos) {
      if (!need(buf.size() + 1)) return {};
    }
    const size_t n = std::stoul(buf.substr(0, nl));
    buf.erase(0, nl + 1);
    if (!need(n)) return {};
    std::string body = buf.substr(0, n);
    buf.erase(0, n);
    return body;
  }
};

Bridge startBridge(const std::string& root) {
  int a[2], b[2];
  if (::pipe(a) != 0 || ::pipe(b) != 0) std::exit(1);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setenv("ZOREL_MACHINE", root.c_str(), 1);
    ::dup2(a[0], 0);
    ::dup2(b[1], 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    ::close(a[1]);
    ::close(b[0]);
    ::execl(kZorel, "zorel", "bridge", "--offline", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(a[0]);
  ::close(b[1]);
  return {pid, a[1], b[0], {}};
}

Json::Value parse(const std::string& text) {
  Json::Value v;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  reader->parse(text.data(), text.data() + text.size(), &v, &errors);
  return v;
}

void report(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("%-44s median %8.1f ms   min %8.1f   max %8.1f   (n=%zu)\n", what,
              values[values.size() / 2], values.front(), values.back(), values.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  char pattern[] = "/tmp/zorel-session-bench-XXXXXX";
  const std::string base = ::mkdtemp(pattern);
  const std::string root = base + "/machine";

  std::printf("first zorel check (makes the machine):          %8.1f ms\n", timedCheck(root));
  std::vector<double> checks;
  for (int i = 0; i < runs; ++i) checks.push_back(timedCheck(root));
  report("zorel check --offline, sample script", checks);

  const std::string start =
      R"({"operationid":0,"operationinfo":[{"stageid":100,"problemid":[]},{"stageid":101,"problemid":[]},{"stageid":102,"problemid":[]}]})";
  std::vector<double> answered, firstProgress, whole;
  for (int i = 0; i < runs; ++i) {
    Bridge bridge = startBridge(root);
    bridge.request(R"({"operationid":1})");  // the controller exists before the clock starts
    const auto t0 = Clock::now();
    bridge.request(start);
    answered.push_back(ms(Clock::now() - t0));
    bool seen = false;
    for (;;) {
      const Json::Value p = parse(bridge.request(R"({"operationid":1})"));
      if (!seen && p["progress"]["stageId"].asInt() >= 100) {
        firstProgress.push_back(ms(Clock::now() - t0));
        seen = true;
      }
      if (!p["status"].asBool() || p["progress"]["percentage"].asInt() >= 100) break;
    }
    whole.push_back(ms(Clock::now() - t0));
    ::close(bridge.in);
    ::waitpid(bridge.pid, nullptr, 0);
    ::close(bridge.out);
  }
  report("bridge: start request answered", answered);
  report("bridge: start to first framework progress", firstProgress);
  report("bridge: start to 100 %", whole);

  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return 0;
}
