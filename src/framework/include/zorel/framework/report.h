#pragma once
// Report: the process-wide reporting object behind the script's global
// functions reportProblem and reportStatus, and the holder of the problem
// and stage now running.
//
// reportProblem declares a problem (PROBLEM_TABLE) and the stages it takes
// part in (PROBLEM_STATUS_TABLE rows with STATUS 0); reportStatus sets the
// STATUS of one (problem, stage) row. Both take one JSON text, already
// through the %...% expansion of the argument frame. Nothing is written
// before the framework hands over an open store. Handlers never throw.
//
// The current ids are kept in CurrentRun (the store library's holder), which
// the operation records read. Used on the thread that runs the script; no
// locks.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "zorel/jsengine/script_functions.h"

namespace zorel {

class IResultStore;

class Report {
 public:
  // A handler: the reporting object and the argument text.
  using Handler = void (*)(Report&, const std::wstring&);

  static Report& Instance();
  virtual ~Report() = default;
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;

  // The function names in ascending order.
  std::vector<std::wstring> GetFunctionNames() const;
  // False when `name` is unknown; otherwise runs its handler and is true.
  bool Invoke(const std::wstring& name, const std::wstring& argument);

  // Called before each stage function runs.
  void SetCurrent(int32_t problemId, int32_t stageId);
  int32_t CurrentProblemId() const;
  int32_t CurrentStageId() const;

  // The open store to write to; null writes nothing.
  void SetResultStore(IResultStore* store) { store_ = store; }
  IResultStore* GetResultStore() const { return store_; }

  // The handlers themselves (argument text as the script passed it).
  void reportProblem(const std::wstring& argument);
  void reportStatus(const std::wstring& argument);

 private:
  Report();

  IResultStore* store_ = nullptr;
  std::map<std::wstring, Handler> functions_;
};

// The reporting functions as the script engine publishes them.
class ReportScriptFunctions : public IScriptFunctions {
 public:
  std::vector<std::wstring> GetFunctionNames() const override {
    return Report::Instance().GetFunctionNames();
  }
  bool Invoke(const std::wstring& name, const std::wstring& argument) override {
    return Report::Instance().Invoke(name, argument);
  }
};

}  // namespace zorel
