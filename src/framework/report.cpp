// Report: reportProblem and reportStatus, and the current problem and stage.

#include "zorel/framework/report.h"

#include <cwchar>
#include <exception>

#include "last_error.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/report_json.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/current_run.h"
#include "zorel/store/data_table.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

namespace {

void reportProblemHandler(Report& report, const std::wstring& argument) {
  report.reportProblem(argument);
}

void reportStatusHandler(Report& report, const std::wstring& argument) {
  report.reportStatus(argument);
}

}  // namespace

Report::Report() {
  functions_[L"reportProblem"] = reportProblemHandler;
  functions_[L"reportStatus"] = reportStatusHandler;
}

Report& Report::Instance() {
  // Never destroyed: natives may report while static objects go away.
  static Report* instance = new Report();
  return *instance;
}

std::vector<std::wstring> Report::GetFunctionNames() const {
  std::vector<std::wstring> names;
  for (const auto& entry : functions_) names.push_back(entry.first);
  return names;
}

bool Report::Invoke(const std::wstring& name, const std::wstring& argument) {
  auto it = functions_.find(name);
  if (it == functions_.end()) return false;
  it->second(*this, argument);
  return true;
}

void Report::SetCurrent(int32_t problemId, int32_t stageId) {
  CurrentRun::Instance().Set(problemId, stageId);
}

int32_t Report::CurrentProblemId() const { return CurrentRun::Instance().ProblemId(); }

int32_t Report::CurrentStageId() const { return CurrentRun::Instance().StageId(); }

void Report::reportProblem(const std::wstring& argument) {
  try {
    ProblemJson problem;
    problem.FromString(toUtf8(argument));
    if (!store_) return;

    ProblemStore problems;
    problems.AddProblem(problem.id, fromUtf8(problem.name), fromUtf8(problem.description),
                        fromUtf8(problem.url));
    store_->Insert(problems.Table());

    // Every stage element must read as an integer before anything is
    // written: one unreadable element (a string) leaves the problem without
    // any status row. A scalar or null "stages" has no elements.
    ProblemStatusStore statuses;
    const Json::Value& stages = problem.stages;
    if (stages.isArray() || stages.isObject()) {
      for (Json::Value::const_iterator it = stages.begin(); it != stages.end(); ++it) {
        statuses.AddStatus(problem.id, it->asInt(), ProblemStatus::kDeclared);
      }
    }
    if (statuses.Table().RowCount() > 0) store_->Insert(statuses.Table());
  } catch (...) {
    // Back to the script; whatever was written stays.
  }
}

void Report::reportStatus(const std::wstring& argument) {
  try {
    StatusJson status;
    status.FromString(toUtf8(argument));
    if (!store_) return;

    const int32_t value = status.status < 1 ? ProblemStatus::kPassed : status.status;
    wchar_t sql[260];
    std::swprintf(sql, 260,
                  L"update PROBLEM_STATUS_TABLE set STATUS=%d where PROBLEM_ID=%d and STAGE_ID=%d",
                  value, status.id, status.stage);
    DataTable scratch;
    if (!store_->ExecuteQuery(sql, scratch)) {
      FrameworkLog::Instance().Write(LogLevel::Error,
                                     L"Failed to update problem status, ErrorCode: %d",
                                     LastSystemError());
    }
  } catch (...) {
  }
}

}  // namespace zorel
