#pragma once
// WorkerFrameworkLib: the script framework in a worker child process.
//
// The child is `<program> <args...>` (normally `zorel worker --machine ROOT`)
// started by the first Initialize and reused by every later call, so the
// engine heap, plug-in instances and run record live across runs as the
// framework expects. Each call is one request over the child's channel;
// Execute's progress streams back and reaches the callback on the calling
// thread. While a call waits, a signalled cancel event is passed on to the
// child at once. A child that ends (Terminate, a crash) fails the pending
// call; the next Initialize starts a new one, and the other calls fail until
// then.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include "zorel/session/framework_host.h"

namespace zorel {

namespace platform {
class IChildProcess;
}

// Starts a worker child; null with `error` set when it cannot.
using WorkerStarter = std::function<std::unique_ptr<platform::IChildProcess>(int32_t& error)>;

struct WorkerProgram {
  std::string program;             // host path of the executable
  std::vector<std::string> args;   // its arguments
};

class WorkerFrameworkLib : public IFrameworkLib {
 public:
  explicit WorkerFrameworkLib(WorkerProgram program);
  // Children from `starter` instead (a test's or a fuzz target's peer).
  explicit WorkerFrameworkLib(WorkerStarter starter);
  // Asks the child to quit, kills it if it has not ended 2 s later.
  ~WorkerFrameworkLib() override;

  bool Initialize(const std::wstring& script, const std::wstring& storeFolder,
                  platform::IManualResetEvent* cancel) override;
  bool Execute(RunRequest request, ResultJson& summary, const ProgressCallback& progress) override;
  bool Package(bool finalize) override;
  void Terminate() override;

  // The running child's process id; 0 when there is none.
  int32_t WorkerProcessId();

 private:
  struct Worker;

  std::shared_ptr<Worker> CurrentWorker();
  std::shared_ptr<Worker> StartWorker();
  void DropWorker(const std::shared_ptr<Worker>& worker);
  // One request and its reply; progress messages go to `progress` when set.
  bool Call(const std::shared_ptr<Worker>& worker, Json::Value request, Json::Value& reply,
            const ProgressCallback* progress);

  WorkerStarter starter_;
  platform::IManualResetEvent* cancel_ = nullptr;
  std::mutex mutex_;  // guards worker_
  std::shared_ptr<Worker> worker_;
};

}  // namespace zorel
