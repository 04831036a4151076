#include "online_run_fixture.h"

#include <fcntl.h>
#include <json/reader.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace zorel::testing {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string LogLine(int level, const std::string& message) {
  const char* text = level == 2 ? "Error " : level == 3 ? "Warn " : "Info";
  return std::string(" : ") + text + "\t" + message + "\n";
}

void OnlineRun::StartServer(const std::vector<std::string>& faults) {
  serverData_ = base_ + "/server";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  server_ = ::fork();
  if (server_ == 0) {
    ::dup2(out[1], 1);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    std::vector<std::string> args{ZOREL_BINARY_DIR "/tools/report_server/zorel-report-server",
                                  "--listen", "127.0.0.1:0", "--data", serverData_};
    for (const std::string& f : faults) {
      args.push_back("--fault");
      args.push_back(f);
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  ASSERT_FALSE(line.empty()) << "the server printed no port";
  port_ = line;
}

void OnlineRun::TearDown() {
  if (server_ > 0) {
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
  }
  BridgeTest::TearDown();
}

std::vector<std::string> OnlineRun::Env() const {
  return {"ZOREL_REPORT_SERVER=https://127.0.0.1:" + port_, "ZOREL_REPORT_CA=" + serverData_ + "/server.crt"};
}

int OnlineRun::LastSessionId() const {
  Json::Value sessions;
  std::istringstream in(ReadAll(serverData_ + "/sessions.json"));
  Json::CharReaderBuilder builder;
  std::string errors;
  if (!Json::parseFromStream(builder, in, &sessions, &errors)) return 0;
  return sessions["lastsessionid"].asInt();
}

}  // namespace zorel::testing
