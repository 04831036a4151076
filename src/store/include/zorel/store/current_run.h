#pragma once
// The problem id and stage id being run, for the operation records.
//
// Process-wide; -1 for both until the framework starts a stage. The
// framework's reporting object sets it before every stage function and
// OperationStore::Begin reads it. It lives here, below the framework,
// because the framework links the store.

#include <atomic>
#include <cstdint>

namespace zorel {

class CurrentRun {
 public:
  static CurrentRun& Instance();

  void Set(int32_t problemId, int32_t stageId) {
    problemId_.store(problemId, std::memory_order_relaxed);
    stageId_.store(stageId, std::memory_order_relaxed);
  }
  int32_t ProblemId() const { return problemId_.load(std::memory_order_relaxed); }
  int32_t StageId() const { return stageId_.load(std::memory_order_relaxed); }

 private:
  CurrentRun() = default;

  // Written and read on the thread that runs the script; atomic only so a
  // reader on another thread never sees a torn value.
  std::atomic<int32_t> problemId_{-1};
  std::atomic<int32_t> stageId_{-1};
};

}  // namespace zorel
