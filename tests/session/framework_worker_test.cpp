// `zorel worker` driven over its channel as the controller drives it:
// messages that arrive while it is busy take effect in the order they came.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../../src/session/worker_protocol.h"
#include "zorel/platform/process/child_process.h"

namespace zorel {
namespace {

Json::Value Message(const char* op, const Json::Value& extra = Json::Value(Json::objectValue)) {
  Json::Value m = extra;
  m["op"] = op;
  if (std::string(op) != "cancel") m["cancelled"] = false;
  return m;
}

TEST(FrameworkWorker, CancelThatArrivesBehindAQueuedRequestIsKept) {
  const std::string root = std::filesystem::temp_directory_path() / ("zorel-worker-" + std::to_string(::getpid()));
  ASSERT_EQ(std::system(("ZOREL_MACHINE='" + root + "' " ZOREL_BINARY_DIR "/src/cli/zorel machine init >/dev/null").c_str()), 0);
  platform::WinError error = 0;
  auto worker = platform::startChildProcess(ZOREL_BINARY_DIR "/src/cli/zorel", {"worker", "--machine", root}, error);
  ASSERT_TRUE(worker);
  worker::MessageReader reader(worker->channel());
  auto reply = [&reader] {
    Json::Value m;
    while (reader.Next(m, 30000) == platform::ChannelStatus::Ok && m["op"] != "reply") {}
    return m["ok"].isBool() && m["ok"].asBool();
  };
  auto execute = [](int problem) {
    Json::Value e;
    e["plan"][0][0] = 101;
    e["plan"][0][1][0] = problem;
    return Message("execute", e);
  };
  Json::Value init;
  init["folder"] = root + "/store/";
  std::filesystem::create_directories(root + "/store");
  // Problem 1's detection keeps the worker busy for half a second.
  init["script"] =
      "var header = {frameworkversion: '1.0', jsrevision: '1', jsfilename: 'w.js'};\n"
      "var ExecutionMode = {health: 100, detect: 101};\n"
      "reportProblem({id: 1, name: 'busy', stages: [101]});\n"
      "reportProblem({id: 2, name: 'quick', stages: [101]});\n"
      "var Problems = {1: {detect: function () { var end = Date.now() + 500; while (Date.now() < end) {} }},\n"
      "                2: {detect: function () { reportStatus({id: 2, stage: 101, status: 1}); }}};\n";
  ASSERT_TRUE(worker::Send(worker->channel(), Message("initialize", init)));
  ASSERT_TRUE(reply());

  // While problem 1 runs, a request sent with no cancel pending and then a
  // cancel arrive: the request waits in the queue, the cancel must stay.
  worker::Send(worker->channel(), execute(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  worker::Send(worker->channel(), execute(2));
  worker::Send(worker->channel(), Message("cancel"));
  reply();                  // the busy call, cancelled or not
  EXPECT_FALSE(reply());    // the queued one never began
  // The next request's own state clears the cancel again.
  worker::Send(worker->channel(), execute(2));
  EXPECT_TRUE(reply());
  worker.reset();
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace zorel
