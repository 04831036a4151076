#pragma once
// FrameworkManager: runs a check script against the machine.
//
// It owns the object manager (and with it the plug-in instances), the script
// engine and the result store. Initialize opens a fresh store in a folder,
// runs the script's top-level code and records the script's identity and
// stages; Execute runs the requested problems stage by stage (minimum
// system health 100, then detection 101, each detection followed at once by
// remediation 102 when the problem did not pass), reports progress and
// builds the run summary; Package closes the run.
//
// Every operation reports failure as false plus one framework log line;
// none throws. Cancellation is cooperative: the cancel event is tested
// between steps, never inside a running stage function. All calls come from
// one thread; no locks.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zorel/store/data_table.h"

namespace zorel {

namespace platform {
class IManualResetEvent;
}

class CPluginFactory;
class IObjectManager;
class IResultStore;
class IScriptFunctions;
class JSEngine;
class ProgressJson;
class ResultJson;

// Stage ids.
namespace Stage {
inline constexpr int32_t kMinimumHealth = 100;
inline constexpr int32_t kDetection = 101;
inline constexpr int32_t kRemediation = 102;
}  // namespace Stage

class FrameworkManager {
 public:
  // Stage id to the problem ids to run; an empty list means every problem
  // declared for the stage.
  using RunRequest = std::map<int32_t, std::vector<int32_t>>;
  using ProgressCallback = std::function<void(ProgressJson*)>;

  // Over the program's plug-in table.
  FrameworkManager();
  // Over another factory (which must outlive the manager).
  explicit FrameworkManager(const CPluginFactory& factory);
  virtual ~FrameworkManager();
  FrameworkManager(const FrameworkManager&) = delete;
  FrameworkManager& operator=(const FrameworkManager&) = delete;

  // Opens the store in `storeFolder` (a host folder), runs `script` and
  // records header and stages. `cancel` is kept for every later test; null
  // never cancels. False when cancelled, when the store does not open, when
  // the script fails at top level or when its stages cannot be read.
  bool Initialize(const std::wstring& script, const std::wstring& storeFolder,
                  platform::IManualResetEvent* cancel);

  // Runs the request (see the file comment) and fills `summary`, which the
  // caller gives emptied. False, with no summary, when cancelled.
  bool Execute(RunRequest request, ResultJson& summary, const ProgressCallback& progress);

  // Runs one stage function of one problem and records its status 2 and its
  // times. True unless something threw; what the script reported is not
  // looked at.
  bool RunStage(int32_t problemId, int32_t stageId, const std::wstring& stageName);

  // With `finalize`: ends the run record and packs the store into cabinets.
  // Then closes the store, deleting the database when finalizing. False when
  // cancelled or when a step fails.
  bool Package(bool finalize);

  // The store (for the front end and tests); open between Initialize and
  // Package.
  IResultStore& Store() { return *store_; }

 private:
  bool Cancelled() const;
  // NAME of the stage, or empty text (logged) when there is not one row.
  std::wstring StageName(int32_t stageId);
  std::wstring ProblemName(int32_t problemId);
  std::vector<int32_t> ResolveProblems(int32_t stageId, const std::vector<int32_t>& requested);
  // Runs `sql`; true when it succeeded with at least one row.
  bool HasRows(const std::wstring& sql);
  void BuildSummary(const RunRequest& request, ResultJson& summary);
  // Initialize steps 6 to 8: the run row and the stage rows.
  void RecordHeader();
  void RecordStages();

  std::unique_ptr<IObjectManager> objects_;
  std::unique_ptr<IScriptFunctions> functions_;  // the reporting functions in the engine
  std::unique_ptr<JSEngine> engine_;
  std::unique_ptr<IResultStore> store_;
  DataTable runRecord_;  // JSEXECUTION_TABLE rows of this manager's runs
  platform::IManualResetEvent* cancel_ = nullptr;
  bool storeOpen_ = false;
};

}  // namespace zorel
