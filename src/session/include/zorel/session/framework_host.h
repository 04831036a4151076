#pragma once
// IFrameworkLib: the script framework as the session controller drives it.
//
// The calls are those of FrameworkLib (zorel/framework/framework_lib.h).
// The program's implementation runs the framework in a worker child process
// (WorkerFrameworkLib), so that a stage function that never returns, or a
// plug-in that crashes, can be ended without taking the controller's locks,
// the log or the window with it.

#include <cstdint>
#include <string>

#include "zorel/framework/framework_manager.h"

namespace zorel {

namespace platform {
class IManualResetEvent;
}

class ResultJson;

class IFrameworkLib {
 public:
  using RunRequest = FrameworkManager::RunRequest;
  using ProgressCallback = FrameworkManager::ProgressCallback;

  virtual ~IFrameworkLib() = default;

  // Opens the store in storeFolder (host folder), runs the script's top
  // level. `cancel` is kept and tested by every later call.
  virtual bool Initialize(const std::wstring& script, const std::wstring& storeFolder,
                          platform::IManualResetEvent* cancel) = 0;
  // Runs the request; progress arrives through `progress` on the calling
  // thread. False when cancelled or failed (summary then empty).
  virtual bool Execute(RunRequest request, ResultJson& summary,
                       const ProgressCallback& progress) = 0;
  virtual bool Package(bool finalize) = 0;

  // Ends a framework that did not stop after a cancel (TerminateThread in
  // the original design). A call blocked in Initialize, Execute or Package
  // returns false soon after. Callable from any thread. The next Initialize
  // starts afresh.
  virtual void Terminate() = 0;
};

}  // namespace zorel
