// The controller's side of the framework worker process.

#include "zorel/session/worker_framework_lib.h"

#include "worker_protocol.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/platform/process/sync.h"

namespace zorel {
namespace {

// How often a waiting call looks at the cancel event.
constexpr uint32_t kCancelPollMs = 20;
constexpr uint32_t kQuitWaitMs = 2000;

}  // namespace

struct WorkerFrameworkLib::Worker {
  explicit Worker(std::unique_ptr<platform::IChildProcess> p)
      : process(std::move(p)), reader(process->channel()) {}
  std::unique_ptr<platform::IChildProcess> process;
  worker::MessageReader reader;
};

WorkerFrameworkLib::WorkerFrameworkLib(WorkerProgram program)
    : starter_([program = std::move(program)](int32_t& error) {
        platform::WinError code = 0;
        std::unique_ptr<platform::IChildProcess> child =
            platform::startChildProcess(program.program, program.args, code);
        if (!child) {
          error = static_cast<int32_t>(code);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Failed to start the framework worker %s, ErrorCode: %d",
                                         fromUtf8(program.program).c_str(), error);
        }
        return child;
      }) {}

WorkerFrameworkLib::WorkerFrameworkLib(WorkerStarter starter) : starter_(std::move(starter)) {}

WorkerFrameworkLib::~WorkerFrameworkLib() {
  std::shared_ptr<Worker> w = CurrentWorker();
  if (!w) return;
  Json::Value quit(Json::objectValue);
  quit["op"] = "quit";
  worker::Send(w->process->channel(), quit);
  if (!w->process->waitForExit(kQuitWaitMs, nullptr)) w->process->terminate();
}

std::shared_ptr<WorkerFrameworkLib::Worker> WorkerFrameworkLib::CurrentWorker() {
  std::lock_guard<std::mutex> lock(mutex_);
  return worker_;
}

std::shared_ptr<WorkerFrameworkLib::Worker> WorkerFrameworkLib::StartWorker() {
  int32_t error = 0;
  std::unique_ptr<platform::IChildProcess> process = starter_(error);
  if (!process) return nullptr;
  auto w = std::make_shared<Worker>(std::move(process));
  std::lock_guard<std::mutex> lock(mutex_);
  worker_ = w;
  return w;
}

void WorkerFrameworkLib::DropWorker(const std::shared_ptr<Worker>& w) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (worker_ == w) worker_.reset();
  }
  // The channel is gone: the child has ended or is about to; make sure.
  w->process->terminate();
  w->process->waitForExit(platform::kInfinite, nullptr);
}

void WorkerFrameworkLib::Terminate() {
  std::shared_ptr<Worker> w = CurrentWorker();
  if (w) w->process->terminate();
}

int32_t WorkerFrameworkLib::WorkerProcessId() {
  std::shared_ptr<Worker> w = CurrentWorker();
  return w ? w->process->processId() : 0;
}

bool WorkerFrameworkLib::Call(const std::shared_ptr<Worker>& w, Json::Value request,
                              Json::Value& reply, const ProgressCallback* progress) {
  bool cancelSent = cancel_ && cancel_->isSet();
  request["cancelled"] = cancelSent;
  if (!worker::Send(w->process->channel(), request)) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"The framework worker has ended");
    DropWorker(w);
    return false;
  }
  for (;;) {
    Json::Value message;
    const platform::ChannelStatus status = w->reader.Next(message, kCancelPollMs);
    if (status == platform::ChannelStatus::Closed) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"The framework worker has ended");
      DropWorker(w);
      return false;
    }
    if (status == platform::ChannelStatus::Timeout) {
      if (!cancelSent && cancel_ && cancel_->isSet()) {
        Json::Value cancel(Json::objectValue);
        cancel["op"] = "cancel";
        worker::Send(w->process->channel(), cancel);
        cancelSent = true;
      }
      continue;
    }
    const std::string op = message.get("op", "").isString() ? message["op"].asString() : "";
    if (op == "progress") {
      if (progress && *progress) {
        ProgressJson record;
        record.FromValue(message);
        const Json::Value& code = message["errorcode"];
        record.errorCode = code.isInt() ? code.asInt() : 0;
        (*progress)(&record);
      }
    } else if (op == "reply") {
      reply = std::move(message);
      return reply["ok"].isBool() && reply["ok"].asBool();
    }
  }
}

bool WorkerFrameworkLib::Initialize(const std::wstring& script, const std::wstring& storeFolder,
                                    platform::IManualResetEvent* cancel) {
  cancel_ = cancel;
  std::shared_ptr<Worker> w = CurrentWorker();
  if (!w) w = StartWorker();
  if (!w) return false;
  Json::Value request(Json::objectValue);
  request["op"] = "initialize";
  request["script"] = toUtf8(script);
  request["folder"] = toUtf8(storeFolder);
  Json::Value reply;
  return Call(w, std::move(request), reply, nullptr);
}

bool WorkerFrameworkLib::Execute(RunRequest runRequest, ResultJson& summary,
                                 const ProgressCallback& progress) {
  std::shared_ptr<Worker> w = CurrentWorker();
  if (!w) return false;
  Json::Value request(Json::objectValue);
  request["op"] = "execute";
  request["plan"] = worker::PlanToJson(runRequest);
  Json::Value reply;
  if (!Call(w, std::move(request), reply, &progress)) return false;
  summary.FromValue(reply["result"]);
  return true;
}

bool WorkerFrameworkLib::Package(bool finalize) {
  std::shared_ptr<Worker> w = CurrentWorker();
  if (!w) return false;
  Json::Value request(Json::objectValue);
  request["op"] = "package";
  request["finalize"] = finalize;
  Json::Value reply;
  return Call(w, std::move(request), reply, nullptr);
}

}  // namespace zorel
