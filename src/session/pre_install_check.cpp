// PreInstallCheck: construction, script decryption, start, progress, result
// and cancel. The worker thread's run is in pre_install_worker.cpp.

#include "zorel/session/pre_install_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "zorel/bridge/request_dispatch.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/sync.h"
#include "zorel/report/report_client.h"
#include "zorel/report/sealed_container.h"
#include "zorel/session/machine_id_manager.h"
#include "zorel/session/worker_framework_lib.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;

std::string AppDataHost(platform::IMachine& machine, const std::wstring& below) {
  std::wstring appData;
  std::string host;
  if (machine.environment().getVariable(L"APPDATA", appData) != 0 || appData.empty()) return {};
  if (machine.paths().toHostPath(appData + L"\\prynesecurity\\zorel" + below, host) != 0) return {};
  return host;
}

}  // namespace

std::string MachineDataFolder(platform::IMachine& machine) {
  std::string folder = AppDataHost(machine, L"");
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string MachineSealedScript(platform::IMachine& machine) {
  return AppDataHost(machine, L"\\Resource\\Scripts\\preinstall.enc");
}

PreInstallCheckSettings PreInstallCheckSettings::ForMachine(platform::IMachine& machine,
                                                            const std::string& workerProgram,
                                                            const std::string& traceFile) {
  PreInstallCheckSettings s;
  s.dataFolder = MachineDataFolder(machine);
  s.sealedScript = MachineSealedScript(machine);
  WorkerProgram program;
  program.program = workerProgram.empty() ? platform::currentProgramPath() : workerProgram;
  program.args = {"worker", "--machine", machine.hostRoot()};
  if (!traceFile.empty()) program.args.insert(program.args.end(), {"--trace", traceFile});
  s.framework = std::make_shared<WorkerFrameworkLib>(std::move(program));
  s.machineRegistry = &machine.registry();
  return s;
}

PreInstallCheck::PreInstallCheck(PreInstallCheckSettings settings) : settings_(std::move(settings)) {
  synchronizer_.Attach(&progressSection_);
  cancel_ = platform::createManualResetEvent(false);
  if (!settings_.reportService) {
    platform::IRegistry* registry = settings_.machineRegistry;
    settings_.reportService = std::make_shared<ReportServiceClient>(
        ReportServerSettings::FromEnvironment(),
        [registry](std::wstring& id) { return CMachineIDManager(registry).GetMachineID(id); },
        settings_.dataFolder);
  }
  if (!settings_.dataFolder.empty()) {
    std::error_code ignored;
    fs::create_directories(settings_.dataFolder, ignored);
  }
  if (settings_.plainScript) {
    script_ = *settings_.plainScript;
  } else if (!DecryptScript(settings_.sealedScript)) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to decrypt the JS file");
  }
}

PreInstallCheck::~PreInstallCheck() {
  Cancel();
  std::lock_guard<std::mutex> control(controlMutex_);
  if (worker_.joinable()) worker_.join();
  synchronizer_.Attach(nullptr);
}

bool PreInstallCheck::DecryptScript(const std::string& path) {
  try {
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Encrypted js file not exist");
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> sealed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> plain;
    try {
      plain.assign(kScriptBufferSize, 0);
    } catch (const std::bad_alloc&) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Decryption of js file failed");
      return false;
    }
    size_t capacity = plain.size();
    Unseal(nullptr, 0, sealed.data(), sealed.size(), nullptr, plain.data(), &capacity);
    // The text ends at its first zero byte. A payload that fills the whole
    // buffer has none and is refused rather than read past its end.
    const auto end = std::find(plain.begin(), plain.end(), uint8_t{0});
    if (end != plain.end()) script_ = fromUtf8(std::string(plain.begin(), end));
    return true;
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured in decrypting JS file, ErrorCode: %d",
                                   platform::getLastError());
    return false;
  }
}

std::wstring PreInstallCheck::ProcessRequest(const std::wstring& request) {
  return DispatchRequest(*this, request);
}

bool PreInstallCheck::Start(const RequestJsonStructure& request) {
  if (script_.empty()) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"No decrypted script available for execution");
    return false;
  }
  {
    ThreadSynchronizer::Guard lock(synchronizer_);
    progress_.errorCode = 0;
    progress_.stageId = 0;
    progress_.percentage = 0;
    progress_.message = "$GEN1000$";
  }
  NotifyProgress();
  FrameworkLog::Instance().Write(LogLevel::Info, L"Initializing the scan operations");
  std::lock_guard<std::mutex> control(controlMutex_);
  if (worker_.joinable() && !workerRunning_.load()) worker_.join();
  if (worker_.joinable()) {
    FrameworkLog::Instance().Write(LogLevel::Warn, L"Script execution is in running state");
    return false;
  }
  cancel_->reset();
  startRequest_ = request;
  runSessionId_ = 0;
  workerRunning_ = true;
  try {
    worker_ = std::thread([this] { WorkerMain(); });
  } catch (const std::system_error&) {
    workerRunning_ = false;
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured while executing the problems, ErrorCode: %d",
                                   platform::getLastError());
    return false;
  }
  return true;
}

void PreInstallCheck::CopyProgress(ProgressJson& progress) {
  ThreadSynchronizer::Guard lock(synchronizer_);
  progress = progress_;
}

void PreInstallCheck::CopyResult(ResultJson& result, SessionJson& session) {
  std::lock_guard<std::mutex> lock(resultMutex_);
  result = storedResult_;
  session = storedSession_;
}

void PreInstallCheck::SetProgressError() {
  {
    ThreadSynchronizer::Guard lock(synchronizer_);
    progress_.errorCode = kOperationNotDone;
  }
  NotifyProgress();
}

void PreInstallCheck::NotifyProgress() {
  if (settings_.progressChanged) settings_.progressChanged();
}

void PreInstallCheck::OnProgress(const ProgressJson* progress) {
  if (!progress) return;
  {
    ThreadSynchronizer::Guard lock(synchronizer_);
    progress_.stageId = progress->stageId;
    progress_.percentage = progress->percentage;
    progress_.message = progress->message;
    progress_.errorCode = progress->errorCode;
  }
  if (settings_.frameworkProgress) settings_.frameworkProgress(*progress);
  NotifyProgress();
}

bool PreInstallCheck::WaitForWorker(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(workerStateMutex_);
  return workerEnded_.wait_for(lock, wait, [this] { return !workerRunning_.load(); });
}

bool PreInstallCheck::Cancel() {
  try {
    std::lock_guard<std::mutex> control(controlMutex_);
    if (!worker_.joinable()) return true;
    const bool running = workerRunning_.load();
    cancel_->set();
    const int32_t session = runSessionId_.load();
    if (running && session > 0 && settings_.reportService) {
      settings_.reportService->CancelOperation(session);
    }
    if (!WaitForWorker(settings_.cancelWait)) {
      // The stage function does not return: end the worker process. The
      // worker thread's pending framework call then fails and the thread
      // ends with the run's failure.
      if (settings_.framework) {
        settings_.framework->Terminate();
        // The script, its problems and the open store went with it: only
        // a run with stage 100 initialises a framework again.
        frameworkReady_ = false;
      }
      WaitForWorker(settings_.terminateWait);
    }
    // A thread cannot be ended from outside without leaving its locks
    // behind; one still busy in a report-server exchange (bounded by the
    // exchange time limit) is kept, so no second worker starts beside it.
    if (!workerRunning_.load()) worker_.join();
    return true;
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured while cancelling the operation, ErrorCode: %d",
                                   platform::getLastError());
    return true;
  }
}

}  // namespace zorel
