// The worker thread of PreInstallCheck: one check run from the session id to
// the upload.

#include <map>
#include <vector>

#include "zorel/bridge/json.h"
#include "zorel/bridge/request_dispatch.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/win_error.h"
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
                                   platform::getLastError());
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
      log.Write(LogLevel::Error, L"Exception occured while executing the problems, ErrorCode: %d",
                platform::getLastError());
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
  // Without a data folder the store's names would be relative ones (the
  // working directory) and the framework's folder the host's root: nothing
  // is reset or opened, and the framework stays not ready.
  const bool haveFolder = !settings_.dataFolder.empty();
  if (hasHealth && framework && haveFolder) {
    framework->Package(false);
    frameworkReady_ = false;
    DeletePreviousRun(settings_.dataFolder);
    if (platform::pathFileExists(settings_.dataFolder + "ResultStore.db") != 0) {
      frameworkReady_ = framework->Initialize(script_, fromUtf8(settings_.dataFolder), cancel_.get());
    }
  }
  if (!frameworkReady_ || !framework || !haveFolder) {
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
  upload_ = UploadOutcome::None;
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
    NotifyProgress();
    if (framework->Package(true) && online) {
      {
        ThreadSynchronizer::Guard lock(synchronizer_);
        progress_.percentage += 2;
      }
      NotifyProgress();
      const int32_t session = runSessionId_.load();
      if (session > 0) {
        {
          ThreadSynchronizer::Guard lock(synchronizer_);
          progress_.percentage += 2;
        }
        NotifyProgress();
        {
          std::lock_guard<std::mutex> lock(resultMutex_);
          storedSession_.sessionId = session;
        }
        upload_ = Upload(session);
      }
    }
  }
  {
    ThreadSynchronizer::Guard lock(synchronizer_);
    progress_.percentage = 100;
  }
  NotifyProgress();
  return 0;
}

UploadOutcome PreInstallCheck::Upload(int32_t session) {
  // The client reads the server's answer on this thread and keeps only
  // whether it said "iserror"; an answer that was no JSON object at all
  // reads as a success there, so it is told apart by the texts this thread
  // could not read while the upload ran.
  const uint64_t unreadableBefore = UnreadableJsonTexts();
  if (!settings_.reportService || !settings_.reportService->UploadResult(session)) {
    return UploadOutcome::Refused;
  }
  return UnreadableJsonTexts() != unreadableBefore ? UploadOutcome::Unreadable : UploadOutcome::Taken;
}

}  // namespace zorel
