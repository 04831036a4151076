// The worker thread of PreInstallCheck: one check run from the session id to
// the upload.

#include <cerrno>
#include <map>
#include <vector>

#include "zorel/bridge/request_dispatch.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/process/sync.h"
#include "zorel/report/report_client.h"
#include "zorel/session/online_flag.h"
#include "zorel/session/pre_install_check.h"

namespace zorel {
namespace {

constexpr int32_t kStageHealth = 100;
constexpr int32_t kStageRemediation = 102;

// The database goes first; its journal files with it, since a stale
// write-ahead log beside a new database would be replayed into it.
void DeletePreviousRun(const std::string& folder) {
  platform::deleteFile(folder + "ResultStore.db");
  if (platform::pathFileExists(folder + "ResultStore.db") != 0) {
    for (const char* side : {"ResultStore.db-wal", "ResultStore.db-shm", "ResultStore.db-journal"}) {
      platform::deleteFile(folder + side);
    }
  }
  platform::deleteFile(folder + "db.cab");
}

}  // namespace

void PreInstallCheck::WorkerMain() {
  try {
    RunSteps();
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured while executing the problems, ErrorCode: %d",
                                   errno);
    SetProgressError();
  }
  {
    std::lock_guard<std::mutex> lock(workerStateMutex_);
    workerRunning_ = false;
  }
  workerEnded_.notify_all();
}

int PreInstallCheck::RunSteps() {
  FrameworkLog& log = FrameworkLog::Instance();
  if (!startRequest_ || startRequest_->operationInfo.Empty()) {
    log.Write(LogLevel::Error, L"Invalid input to execute the operations");
    SetProgressError();
    return 1;
  }
  const bool online = OnlineFlag();
  if (online) {
    int32_t session = 0;
    if (!settings_.reportService || !settings_.reportService->CreateSessionId(session) || session < 1) {
      log.Write(LogLevel::Error, L"Failed to generate session id");
      session = 0;
    }
    runSessionId_ = session;
  }

  IFrameworkLib::RunRequest plan;
  bool hasHealth = false;
  bool hasRemediation = false;
  for (size_t i = 0; i < startRequest_->operationInfo.Size(); ++i) {
    const OperationInfoStructure* entry = startRequest_->operationInfo.Get(i);
    if (!entry) continue;
    std::vector<int32_t> ids;
    // An element that JsonCpp's asInt cannot convert (a string, an array)
    // throws there; it ends the run the same way here.
    if (!entry->ProblemIds(ids)) {
      log.Write(LogLevel::Error, L"Exception occured while executing the problems, ErrorCode: %d", 0);
      SetProgressError();
      return 1;
    }
    hasHealth = hasHealth || entry->stageId == kStageHealth;
    hasRemediation = hasRemediation || entry->stageId == kStageRemediation;
    plan.emplace(entry->stageId, std::move(ids));  // a repeated stage keeps its first entry
  }
  if (plan.empty()) {
    log.Write(LogLevel::Error, L"No problem identified for execution");
    SetProgressError();
    return 1;
  }

  IFrameworkLib* framework = settings_.framework.get();
  if (hasHealth && framework) {
    framework->Package(false);
    frameworkReady_ = false;
    DeletePreviousRun(settings_.dataFolder);
    if (platform::pathFileExists(settings_.dataFolder + "ResultStore.db") != 0) {
      frameworkReady_ = framework->Initialize(script_, fromUtf8(settings_.dataFolder), cancel_.get());
    }
  }
  if (!frameworkReady_ || !framework) {
    log.Write(LogLevel::Error, L"Failed to initialize the framework");
    SetProgressError();
    return 1;
  }

  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    storedResult_.stages.Clear();
    storedResult_.problems.Clear();
    storedSession_.sessionId = -1;
  }
  uploadTaken_ = false;
  ResultJson summary;
  const bool executed = framework->Execute(
      plan, summary, [this](ProgressJson* progress) { OnProgress(progress); });
  if (!executed) {
    log.Write(LogLevel::Error, L"Failed to execute the operations");
    SetProgressError();
    return 1;
  }
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    storedResult_ = summary;
  }

  if (hasRemediation) {
    {
      ThreadSynchronizer::Guard lock(synchronizer_);
      progress_.percentage = 95;
      progress_.message = "$GEN1001$";
    }
    if (framework->Package(true) && online) {
      {
        ThreadSynchronizer::Guard lock(synchronizer_);
        progress_.percentage += 2;
      }
      const int32_t session = runSessionId_.load();
      if (session > 0) {
        {
          ThreadSynchronizer::Guard lock(synchronizer_);
          progress_.percentage += 2;
        }
        {
          std::lock_guard<std::mutex> lock(resultMutex_);
          storedSession_.sessionId = session;
        }
        uploadTaken_ = settings_.reportService->UploadResult(session);
      }
    }
  }
  ThreadSynchronizer::Guard lock(synchronizer_);
  progress_.percentage = 100;
  return 0;
}

}  // namespace zorel
