// The worker process: one FrameworkLib driven over the channel.
//
// A reader thread takes every message off the channel and applies its
// effect on the cancel event at once, in arrival order: "cancel" sets it
// (the framework polls it between problems), a request sets or resets it as
// its "cancelled" says. The requests are then queued for the main thread,
// which runs them one at a time and writes the progress and the reply. Only
// the main thread writes. A request's reset can therefore never undo a
// cancel that arrived after it, however long it waited in the queue.

#include "zorel/session/framework_worker.h"

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "worker_protocol.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/framework_lib.h"
#include "zorel/platform/process/sync.h"

namespace zorel {
namespace {

// How long a worker whose controller has gone may take to finish its call.
constexpr auto kOrphanGrace = std::chrono::seconds(5);

class WorkerLoop {
 public:
  explicit WorkerLoop(platform::IMessageChannel& channel)
      : channel_(channel), cancel_(platform::createManualResetEvent(false)) {}

  int Run() {
    std::thread reader([this] { ReadMessages(); });
    for (;;) {
      Json::Value request;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        queueReady_.wait(lock, [this] { return !queue_.empty() || ended_; });
        if (queue_.empty()) {
          break;
        }
        request = std::move(queue_.front());
        queue_.pop_front();
      }
      const std::string op = request["op"].isString() ? request["op"].asString() : "";
      if (op == "quit") break;
      try {
        Serve(op, request);
      } catch (...) {
        Reply(false);
      }
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    doneChanged_.notify_all();
    reader.join();
    framework_.reset();  // closes the store and the engine here, not at exit
    return 0;
  }

 private:
  void ReadMessages() {
    worker::MessageReader reader(channel_);
    for (;;) {
      Json::Value message;
      const platform::ChannelStatus status = reader.Next(message, 200);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (done_) return;
        if (status == platform::ChannelStatus::Timeout) continue;
        if (status == platform::ChannelStatus::Closed) {
          ended_ = true;
          queueReady_.notify_all();
          // The controller has gone and nobody will read what the run
          // writes: the running call is cancelled, so it stops at its next
          // cancel point instead of writing on. Give it a moment to end,
          // then leave without waiting for it.
          cancel_->set();
          if (!doneChanged_.wait_for(lock, kOrphanGrace, [this] { return done_; })) std::_Exit(0);
          return;
        }
        if (message["op"] == "cancel") {
          cancel_->set();
          continue;
        }
        // The controller's cancel state when it sent the request.
        if (message.isMember("cancelled")) {
          const Json::Value& cancelled = message["cancelled"];
          if (cancelled.isBool() && cancelled.asBool()) {
            cancel_->set();
          } else {
            cancel_->reset();
          }
        }
        // Nothing follows "quit": stop reading now rather than at the
        // next read timeout, so the worker ends as soon as it is told.
        const bool quit = message["op"] == "quit";
        queue_.push_back(std::move(message));
        if (quit) {
          queueReady_.notify_all();
          return;
        }
      }
      queueReady_.notify_all();
    }
  }

  void Reply(bool ok, const Json::Value* result = nullptr) {
    Json::Value reply(Json::objectValue);
    reply["op"] = "reply";
    reply["ok"] = ok;
    if (result) reply["result"] = *result;
    worker::Send(channel_, reply);
  }

  void Serve(const std::string& op, const Json::Value& request) {
    if (!framework_) framework_ = std::make_unique<FrameworkLib>();
    if (op == "initialize") {
      Reply(framework_->Initialize(fromUtf8(request["script"].asString()),
                                   fromUtf8(request["folder"].asString()), cancel_.get()));
    } else if (op == "execute") {
      FrameworkManager::RunRequest plan;
      if (!worker::PlanFromJson(request["plan"], plan)) {
        Reply(false);
        return;
      }
      ResultJson summary;
      const bool ok = framework_->Execute(plan, summary, [this](ProgressJson* progress) {
        Json::Value message = progress->ToValue();
        if (!message.isObject()) message = Json::Value(Json::objectValue);
        message["op"] = "progress";
        message["errorcode"] = progress->errorCode;
        worker::Send(channel_, message);
      });
      const Json::Value result = summary.ToValue();
      Reply(ok, &result);
    } else if (op == "package") {
      Reply(framework_->Package(request["finalize"].asBool()));
    } else {
      Reply(false);
    }
  }

  platform::IMessageChannel& channel_;
  std::unique_ptr<platform::IManualResetEvent> cancel_;
  std::unique_ptr<FrameworkLib> framework_;
  std::mutex mutex_;
  std::condition_variable queueReady_;
  std::condition_variable doneChanged_;
  std::deque<Json::Value> queue_;
  bool ended_ = false;
  bool done_ = false;
};

}  // namespace

int RunFrameworkWorker(platform::IMessageChannel& channel) {
  WorkerLoop loop(channel);
  return loop.Run();
}

}  // namespace zorel
