// `zorel worker` as the controller drives it, over its channel: messages
// that arrive while it is busy take effect in the order they came.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bridge_process.h"

namespace zorel::testing {
namespace {

namespace fs = std::filesystem;

// The worker with its channel at descriptor 3, as the controller starts it.
class WorkerChannel {
 public:
  explicit WorkerChannel(const std::string& root) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(pair[1], 3);  // dup2 clears close-on-exec on the copy
      ::execl(ZOREL_BINARY_DIR "/src/cli/zorel", "zorel", "worker", "--machine", root.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pair[1]);
    fd_ = pair[0];
  }
  ~WorkerChannel() {
    if (fd_ >= 0) ::close(fd_);  // the worker leaves once its channel closes
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }

  // Several messages in one write, so the worker reads them together.
  void Send(const std::vector<Json::Value>& messages) {
    std::string bytes;
    for (const Json::Value& m : messages) {
      Json::StreamWriterBuilder builder;
      builder["indentation"] = "";
      const std::string text = Json::writeString(builder, m);
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((text.size() >> (8 * i)) & 0xFF));
      bytes += text;
    }
    ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // The next reply, progress messages skipped; null after 30 s.
  Json::Value Reply() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      while (buffer_.size() >= 4) {
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<uint8_t>(buffer_[i])) << (8 * i);
        if (buffer_.size() < 4 + n) break;
        Json::Value message;
        Json::CharReaderBuilder builder;
        std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        reader->parse(buffer_.data() + 4, buffer_.data() + 4 + n, &message, &errors);
        buffer_.erase(0, 4 + n);
        if (message["op"] == "reply") return message;
      }
      pollfd p{fd_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > deadline || ::poll(&p, 1, 100) < 0) return {};
      if (!(p.revents & POLLIN)) continue;
      char chunk[4096];
      const ssize_t got = ::read(fd_, chunk, sizeof chunk);
      if (got <= 0) return {};
      buffer_.append(chunk, static_cast<size_t>(got));
    }
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

Json::Value Request(const char* op, bool cancelled) {
  Json::Value r(Json::objectValue);
  r["op"] = op;
  r["cancelled"] = cancelled;
  return r;
}

using FrameworkWorker = BridgeTest;

TEST_F(FrameworkWorker, CancelThatArrivesBehindAQueuedRequestIsKept) {
  ASSERT_EQ(std::system(("ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR "/src/cli/zorel machine init >/dev/null")
                            .c_str()),
            0);
  fs::create_directories(store_);
  WorkerChannel worker(root_);
  // Problem 1's detection keeps the worker busy for half a second.
  Json::Value init = Request("initialize", false);
  init["script"] =
      "var header = {frameworkversion: '1.0', jsrevision: '1', jsfilename: 'w.js'};\n"
      "var ExecutionMode = {health: 100, detect: 101};\n"
      "reportProblem({id: 1, name: 'busy', description: '', url: '', stages: [101]});\n"
      "reportProblem({id: 2, name: 'quick', description: '', url: '', stages: [101]});\n"
      "var Problems = {\n"
      "  1: {detect: function () { var end = Date.now() + 500; while (Date.now() < end) {} }},\n"
      "  2: {detect: function () { reportStatus({id: 2, stage: 101, status: 1}); }}};\n";
  init["folder"] = store_ + "/";
  auto execute = [](int problem) {
    Json::Value r = Request("execute", false);
    Json::Value pair(Json::arrayValue);
    pair.append(101);
    pair.append(Json::Value(Json::arrayValue));
    pair[1].append(problem);
    r["plan"].append(pair);
    return r;
  };
  Json::Value cancel(Json::objectValue);
  cancel["op"] = "cancel";

  worker.Send({init});
  ASSERT_TRUE(worker.Reply()["ok"].asBool());
  // While problem 1 runs, a request sent with no cancel pending and then a
  // cancel arrive: the request waits in the queue, the cancel must stay.
  worker.Send({execute(1)});
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  worker.Send({execute(2), cancel});
  worker.Reply();                               // the busy call, cancelled or not
  EXPECT_FALSE(worker.Reply()["ok"].asBool());  // the queued one never began
  // The next request's own state clears the cancel again.
  worker.Send({execute(2)});
  EXPECT_TRUE(worker.Reply()["ok"].asBool()) << Log();
}

}  // namespace
}  // namespace zorel::testing
