// The controller's side of the worker channel against a broken or hostile
// worker: whatever the child sends, the call ends, fails unless a proper
// reply came, and the next Initialize starts a fresh child.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/session/worker_framework_lib.h"

namespace zorel {
namespace {

using platform::ChannelStatus;

std::string Frame(const std::string& text) {
  std::string frame;
  const uint32_t n = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) frame.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
  return frame + text;
}

// A child that sends `bytes` (one byte per read, the hardest slicing) and
// then closes its end.
class ScriptedChild : public platform::IChildProcess, public platform::IMessageChannel {
 public:
  explicit ScriptedChild(std::string bytes) : bytes_(std::move(bytes)) {}
  platform::IMessageChannel& channel() override { return *this; }
  int32_t processId() const override { return 1; }
  bool waitForExit(uint32_t, int32_t*) override { return true; }
  void terminate() override {}
  bool write(const void*, size_t) override { return true; }
  ChannelStatus read(std::string& into, uint32_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (at_ == bytes_.size()) return ChannelStatus::Closed;
    into.push_back(bytes_[at_++]);
    return ChannelStatus::Ok;
  }

 private:
  std::mutex mutex_;
  std::string bytes_;
  size_t at_ = 0;
};

TEST(WorkerChannel, HostileWorkerFailsTheCallAndIsReplaced) {
  const std::string okReply = Frame(R"({"op":"reply","ok":true})");
  struct Case {
    const char* what;
    std::string sent;
    bool succeeds;
  };
  const std::vector<Case> cases = {
      {"a proper reply", okReply, true},
      {"nothing at all", "", false},
      {"a frame cut short", okReply.substr(0, okReply.size() - 3), false},
      {"a length past the limit", std::string("\xff\xff\xff\x7f{}", 6), false},
      {"text that is not JSON", Frame("{\"op\":\"reply\",") + okReply, false},
      {"JSON that is not an object", Frame("[1,2]") + okReply, false},
      {"JSON nested deeper than the reader follows", Frame(std::string(5000, '[')) + okReply, false},
      {"a reply whose ok is not a boolean", Frame(R"({"op":"reply","ok":"yes"})"), false},
      {"an op that is not a string, then a reply", Frame(R"({"op":7})") + okReply, true},
      {"progress of the wrong types, then a reply",
       Frame(R"({"op":"progress","stageId":"x","percentage":[],"message":{},"errorcode":1.5})") + okReply,
       true},
      {"a result that is not an object", Frame(R"({"op":"reply","ok":true,"result":"none"})"), true},
  };
  for (const Case& c : cases) {
    int started = 0;
    WorkerFrameworkLib controller([&](int32_t&) -> std::unique_ptr<platform::IChildProcess> {
      ++started;
      return std::make_unique<ScriptedChild>(c.sent);
    });
    EXPECT_EQ(controller.Initialize(L"var x;", L"C:\\S\\", nullptr), c.succeeds) << c.what;
    ResultJson summary;
    int progressCalls = 0;
    const bool executed =
        controller.Execute({{101, {1}}}, summary, [&](ProgressJson*) { ++progressCalls; });
    // The same child answers again only when it is still there: its bytes
    // are spent, so Execute fails either way and drops it.
    EXPECT_FALSE(executed) << c.what;
    EXPECT_EQ(controller.WorkerProcessId(), 0) << c.what;
    controller.Initialize(L"var x;", L"C:\\S\\", nullptr);
    EXPECT_EQ(started, 2) << c.what << ": a dropped worker is started again";
  }
}

}  // namespace
}  // namespace zorel
