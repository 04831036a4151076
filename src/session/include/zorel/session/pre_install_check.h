#pragma once
// PreInstallCheck: the session controller, the one IBusinessLogic of the
// process. It owns the decrypted check script, the framework (in a worker
// process), the worker thread that runs a check, the cancel event, the
// shared progress record, and the result and session id of the last run.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "zorel/bridge/business_logic.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/request_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/session/framework_host.h"
#include "zorel/session/thread_synchronizer.h"

namespace zorel {

namespace platform {
class IManualResetEvent;
class IMachine;
class IRegistry;
}  // namespace platform

class IReportService;

// The largest decrypted script plus its terminator.
inline constexpr size_t kScriptBufferSize = 256000;

struct PreInstallCheckSettings {
  // Host folder of %APPDATA%\prynesecurity\zorel\ (ResultStore.db and db.cab
  // live here), ending in '/'.
  std::string dataFolder;
  // Host path of the sealed check script (Resource\Scripts\preinstall.enc).
  std::string sealedScript;
  // A plain script to run instead of the sealed one (zorel check --script).
  std::optional<std::wstring> plainScript;
  std::shared_ptr<IFrameworkLib> framework;
  // Null: the report client of ZOREL_REPORT_SERVER on dataFolder, with the
  // machine ID kept in machineRegistry.
  std::shared_ptr<IReportService> reportService;
  platform::IRegistry* machineRegistry = nullptr;
  // Told of every progress record the framework reports, after the shared
  // record took it, on the worker thread (a front end's progress lines).
  std::function<void(const ProgressJson&)> frameworkProgress;
  // Called after every change of the shared progress record (the
  // framework's progress, the controller's own steps, the end or failure of
  // a run), outside the lock, on the thread that made it: a front end can
  // wait for it instead of sleeping between reads.
  std::function<void()> progressChanged;
  // Cancel waits this long for the worker before ending the framework, and
  // then this long again.
  std::chrono::milliseconds cancelWait{10000};
  std::chrono::milliseconds terminateWait{1000};

  // The program's settings on `machine`: its data folder and
  // preinstall.enc, the framework in `zorel worker` (workerProgram, default
  // this program), its registry for the machine ID. Empty paths
  // when the machine has no APPDATA: the controller then never initialises
  // the framework (see PreInstallCheck). A traceFile (host path) has the
  // worker append a line for every plug-in call to it (call_trace.h).
  static PreInstallCheckSettings ForMachine(platform::IMachine& machine,
                                            const std::string& workerProgram = {},
                                            const std::string& traceFile = {});
};

// The host folder of %APPDATA%\prynesecurity\zorel\ on `machine` ending in
// '/', and the host path of its preinstall.enc; empty without APPDATA.
std::string MachineDataFolder(platform::IMachine& machine);
std::string MachineSealedScript(platform::IMachine& machine);

// What became of the last run's upload of db.cab.
enum class UploadOutcome {
  None,        // no upload was tried
  Taken,       // the server answered that it stored the cabinet
  Refused,     // no answer, an HTTP error or an answer with "iserror" true
  Unreadable,  // sent, but the answer was not a JSON object (garbage, a bare code)
};

// A run needs a data folder: with an empty one (no APPDATA) every run ends
// as "Failed to initialize the framework" with progress error 1000, and
// nothing is deleted or written, since the store's relative names would
// otherwise land in the working directory or at the host's root.
class PreInstallCheck : public IBusinessLogic {
 public:
  // Decrypts the script at once (see the log for failures).
  explicit PreInstallCheck(PreInstallCheckSettings settings);
  // Cancels a running check and waits for its worker.
  ~PreInstallCheck() override;
  PreInstallCheck(const PreInstallCheck&) = delete;
  PreInstallCheck& operator=(const PreInstallCheck&) = delete;

  std::wstring ProcessRequest(const std::wstring& request) override;
  bool Cancel() override;
  bool Start(const RequestJsonStructure& request) override;
  void CopyProgress(ProgressJson& progress) override;
  void CopyResult(ResultJson& result, SessionJson& session) override;

  bool HasScript() const { return !script_.empty(); }
  bool FrameworkReady() const { return frameworkReady_.load(); }
  // True while a worker thread runs.
  bool Running() const { return workerRunning_.load(); }
  // The upload of the last run that reached execution. The stored session
  // id alone does not say how it went: it is set before the upload is tried.
  UploadOutcome LastUpload() const { return upload_.load(); }

 private:
  bool DecryptScript(const std::string& path);
  void WorkerMain();
  int RunSteps();
  void SetProgressError();
  void OnProgress(const ProgressJson* progress);
  void NotifyProgress();
  UploadOutcome Upload(int32_t session);
  // Waits up to `wait` for the worker thread to end.
  bool WaitForWorker(std::chrono::milliseconds wait);

  PreInstallCheckSettings settings_;
  std::unique_ptr<platform::IManualResetEvent> cancel_;
  std::wstring script_;

  std::mutex progressSection_;
  ThreadSynchronizer synchronizer_;
  ProgressJson progress_;

  std::mutex resultMutex_;  // the stored result and session
  ResultJson storedResult_;
  SessionJson storedSession_;

  std::mutex controlMutex_;  // Start and Cancel from several front-end threads
  std::thread worker_;
  std::atomic<bool> workerRunning_{false};
  std::mutex workerStateMutex_;
  std::condition_variable workerEnded_;

  std::optional<RequestJsonStructure> startRequest_;
  std::atomic<bool> frameworkReady_{false};
  std::atomic<int32_t> runSessionId_{0};
  std::atomic<UploadOutcome> upload_{UploadOutcome::None};
};

}  // namespace zorel
