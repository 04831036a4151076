// libFuzzer target: any bytes on either side of the controller/worker
// channel.
// Controller side: the bytes are what a broken or hostile worker sends. A
// WorkerFrameworkLib whose children are fakes reading those bytes (in
// slices whose sizes the first byte sets) runs Initialize, Execute, Package
// and a second Initialize and Execute (a dropped worker is replaced by the
// next child, which reads on). Properties: every call returns; every frame
// the controller writes is one JSON object with an "op".
// Worker side: the same bytes are what a controller sends to the worker
// loop, except that an "initialize" message gets a fixed small script and a
// fresh store folder (the script and folder are the controller's to choose;
// any script could loop). Property: every frame the worker writes is a
// JSON object whose "op" is "progress" or "reply", and the loop ends when
// the bytes do.

#include <json/reader.h>
#include <json/writer.h>

#include <filesystem>

#include "../src/session/worker_protocol.h"
#include "fuzz_support.h"
#include "zorel/bridge/result_json.h"
#include "zorel/platform/process/sync.h"
#include "zorel/session/framework_worker.h"
#include "zorel/session/worker_framework_lib.h"

namespace zorel::fuzz {
namespace {

using platform::ChannelStatus;

// The bytes one side reads, handed out in slices, and what it writes.
class ScriptedChannel : public platform::IMessageChannel {
 public:
  ScriptedChannel(std::string_view bytes, size_t slice)
      : bytes_(bytes), slice_(slice == 0 ? 1 : slice) {}
  bool write(const void* data, size_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    written_.append(static_cast<const char*>(data), size);
    return true;
  }
  ChannelStatus read(std::string& into, uint32_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // A quiet moment before each slice after a write: the reader's timeout
    // path (a controller passes a pending cancel on there).
    if (timeoutOwed_) {
      timeoutOwed_ = false;
      return ChannelStatus::Timeout;
    }
    if (bytes_.empty()) return ChannelStatus::Closed;
    const size_t n = std::min(slice_, bytes_.size());
    into.append(bytes_.data(), n);
    bytes_.remove_prefix(n);
    timeoutOwed_ = true;
    return ChannelStatus::Ok;
  }
  std::string Written() {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
  }
  bool Exhausted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bytes_.empty();
  }

 private:
  std::mutex mutex_;
  std::string_view bytes_;
  size_t slice_;
  std::string written_;
  bool timeoutOwed_ = false;
};

class FakeChild : public platform::IChildProcess {
 public:
  explicit FakeChild(std::shared_ptr<ScriptedChannel> channel) : channel_(std::move(channel)) {}
  platform::IMessageChannel& channel() override { return *channel_; }
  int32_t processId() const override { return 4242; }
  bool waitForExit(uint32_t, int32_t* exitCode) override {
    if (exitCode) *exitCode = 0;
    return true;
  }
  void terminate() override {}

 private:
  std::shared_ptr<ScriptedChannel> channel_;
};

// The frame text as JSON; false when it is not (too deep included).
bool ParseFrame(std::string_view text, Json::Value& value) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors);
  } catch (const std::exception&) {
    return false;
  }
}

// Every frame in `bytes` is a JSON object whose "op" is one of `ops`.
void CheckFrames(const std::string& bytes, std::initializer_list<const char*> ops,
                 const char* what) {
  size_t at = 0;
  while (at < bytes.size()) {
    Require(bytes.size() - at >= 4, what);
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
    Require(bytes.size() - at - 4 >= n, what);
    Json::Value value;
    Require(ParseFrame(std::string_view(bytes).substr(at + 4, n), value) && value.isObject() &&
                value["op"].isString(),
            what);
    bool known = false;
    for (const char* op : ops) known = known || value["op"].asString() == op;
    Require(known, what);
    at += 4 + n;
  }
}

void ControllerSide(std::string_view bytes, size_t slice, bool cancelled) {
  auto channel = std::make_shared<ScriptedChannel>(bytes, slice);
  WorkerFrameworkLib controller([channel](int32_t&) -> std::unique_ptr<platform::IChildProcess> {
    if (channel->Exhausted()) return nullptr;  // no worker left to start
    return std::make_unique<FakeChild>(channel);
  });
  auto cancel = platform::createManualResetEvent(cancelled);
  FrameworkManager::RunRequest plan;
  plan[101] = {1, 2};
  int progressCalls = 0;
  auto progress = [&progressCalls](ProgressJson*) { ++progressCalls; };
  for (int round = 0; round < 2; ++round) {
    controller.Initialize(L"var x = 1;", L"C:\\Store\\", cancel.get());
    ResultJson summary;
    controller.Execute(plan, summary, progress);
    summary.ToValue();
    if (round == 0) controller.Package(true);
  }
  CheckFrames(channel->Written(), {"initialize", "execute", "package", "cancel", "quit"},
              "the controller wrote a frame that is not a request");
}

// The worker's input, with each initialize's script and folder replaced.
std::string ForWorker(std::string_view bytes, const std::string& folder) {
  static const char* const kScript =
      "var header = {frameworkversion: '1.0', jsrevision: '1', jsfilename: 'f.js'};\n"
      "var ExecutionMode = {health: 100, detect: 101};\n"
      "reportProblem({id: 1, name: 'one', stages: [101]});\n"
      "var Problems = {1: {detect: function () { reportStatus({id: 1, stage: 101, status: 1}); }}};\n";
  std::string out;
  while (bytes.size() >= 4) {
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << (8 * i);
    if (bytes.size() - 4 < n) break;
    const std::string_view text = bytes.substr(4, n);
    Json::Value value;
    if (ParseFrame(text, value) && value.isObject() && value["op"] == "initialize") {
      value["script"] = kScript;
      value["folder"] = folder;
      Json::StreamWriterBuilder writer;
      writer["indentation"] = "";
      const std::string replaced = Json::writeString(writer, value);
      const uint32_t m = static_cast<uint32_t>(replaced.size());
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((m >> (8 * i)) & 0xFF));
      out += replaced;
    } else {
      out.append(bytes.substr(0, 4 + n));
    }
    bytes.remove_prefix(4 + n);
  }
  out.append(bytes);
  return out;
}

void WorkerSide(std::string_view bytes, size_t slice) {
  const std::string folder = ScratchFolder() + "/worker-store/";
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  std::filesystem::create_directories(folder, ec);
  const std::string input = ForWorker(bytes, folder);
  ScriptedChannel channel(input, slice);
  Require(RunFrameworkWorker(channel) == 0, "the worker loop failed");
  CheckFrames(channel.Written(), {"progress", "reply"}, "the worker wrote a frame that is not an answer");
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  zorel::fuzz::ThrowAwayMachine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel::fuzz;
  Parts parts(data, size);
  const uint8_t mode = parts.Byte();
  // Slices of 1 to 64 bytes, or all at once.
  const size_t slice = (mode & 0x3F) == 0 ? SIZE_MAX : (mode & 0x3F);
  const std::string_view bytes = parts.Rest();
  ControllerSide(bytes, slice, (mode & 0x40) != 0);
  WorkerSide(bytes, slice);
  return 0;
}
