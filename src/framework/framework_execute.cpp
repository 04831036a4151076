// FrameworkManager::Execute, RunStage and the run summary.

#include <algorithm>
#include <cwchar>
#include <set>
#include <string>

#include <json/value.h>

#include "last_error.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/framework_manager.h"
#include "zorel/framework/report.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/result_store_interface.h"
#include "zorel/store/time_text.h"

namespace zorel {

namespace {

// Query texts are formatted into fixed buffers, as the statements are short.
template <size_t N, class... Args>
std::wstring format(const wchar_t* fmt, Args... args) {
  wchar_t buffer[N];
  const int n = std::swprintf(buffer, N, fmt, args...);
  return n < 0 ? std::wstring() : std::wstring(buffer);
}

// The value of the first column of `row` as an integer or a text; query
// columns are named as SQLite names them, so they are read by position.
int32_t firstInt(const DataTable& table, size_t row, int32_t fallback) {
  int32_t value = fallback;
  if (table.ColumnCount() > 0) table.Row(row).GetInt(table.Column(0).name, value);
  return value;
}

std::wstring firstText(const DataTable& table, size_t row) {
  std::wstring value;
  if (table.ColumnCount() > 0) table.Row(row).GetString(table.Column(0).name, value);
  return value;
}

}  // namespace

bool FrameworkManager::HasRows(const std::wstring& sql) {
  DataTable rows;
  return store_->ExecuteQuery(sql, rows) && rows.RowCount() > 0;
}

std::wstring FrameworkManager::StageName(int32_t stageId) {
  DataTable rows;
  if (store_->ExecuteQuery(L"select NAME from problem_stage_table where id=" +
                               std::to_wstring(stageId),
                           rows) &&
      rows.RowCount() == 1) {
    return firstText(rows, 0);
  }
  FrameworkLog::Instance().Write(LogLevel::Error,
                                 L"Failed to get stage name for corresponding stageid");
  return {};
}

std::wstring FrameworkManager::ProblemName(int32_t problemId) {
  DataTable rows;
  if (store_->ExecuteQuery(format<260>(L"select  NAME from problem_table where id=%d", problemId),
                           rows) &&
      rows.RowCount() == 1) {
    return firstText(rows, 0);
  }
  FrameworkLog::Instance().Write(LogLevel::Error,
                                 L"Failed to get stage name for corresponding stageid");
  return {};
}

std::vector<int32_t> FrameworkManager::ResolveProblems(int32_t stageId,
                                                       const std::vector<int32_t>& requested) {
  std::vector<int32_t> resolved;
  if (!requested.empty()) {
    // A problem without a row for this stage is dropped without a word.
    for (int32_t id : requested) {
      if (HasRows(format<260>(
              L"select * from problem_status_table where problem_id= %d and stage_id= %d", id,
              stageId))) {
        resolved.push_back(id);
      }
    }
    return resolved;
  }
  DataTable rows;
  if (!store_->ExecuteQuery(
          L"select problem_id from problem_status_table where stage_id=" +
              std::to_wstring(stageId),
          rows) ||
      rows.RowCount() == 0) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to get problem ids for corresponding stageid");
    return resolved;
  }
  for (size_t i = 0; i < rows.RowCount(); ++i) resolved.push_back(firstInt(rows, i, 0));
  return resolved;
}

bool FrameworkManager::Execute(RunRequest request, ResultJson& summary,
                               const ProgressCallback& progress) {
  FrameworkLog& log = FrameworkLog::Instance();
  try {
    ProgressJson record;
    auto report = [&]() {
      if (progress) progress(&record);
    };

    if (Cancelled()) return false;
    record.percentage = 0;

    for (auto& [stageId, problems] : request) problems = ResolveProblems(stageId, problems);

    if (Cancelled()) return false;
    size_t total = 0;
    for (int32_t stageId : {Stage::kMinimumHealth, Stage::kDetection}) {
      auto it = request.find(stageId);
      if (it != request.end()) total += it->second.size();
    }
    size_t done = 0;
    auto advance = [&]() {
      ++done;
      record.percentage = static_cast<int32_t>(done * 95 / total);
    };

    if (Cancelled()) return false;
    bool healthy = true;
    auto health = request.find(Stage::kMinimumHealth);
    if (health != request.end() && !health->second.empty()) {
      record.stageId = Stage::kMinimumHealth;
      const std::wstring name = StageName(Stage::kMinimumHealth);
      for (int32_t id : health->second) {
        if (Cancelled()) return false;
        record.message = toUtf8(ProblemName(id));
        report();
        if (!RunStage(id, Stage::kMinimumHealth, name)) {
          log.Write(LogLevel::Warn, L"Failed to execute the problem id : %d", id);
        }
        advance();
      }
      // Every stage-100 row of the store must have passed, not only the
      // ones just run.
      DataTable notPassed;
      const bool ok = store_->ExecuteQuery(
          format<260>(L"select * from problem_status_table where stage_id = %d and status <> 1",
                      Stage::kMinimumHealth),
          notPassed);
      if (!ok || notPassed.RowCount() > 0) {
        log.Write(LogLevel::Info, L"minimum system health failed");
        healthy = false;
      }
    } else {
      log.Write(LogLevel::Info, L"No Minimum system health check operation available in script");
    }

    if (healthy) {
      if (Cancelled()) return false;
      auto detection = request.find(Stage::kDetection);
      if (detection != request.end() && !detection->second.empty()) {
        record.stageId = Stage::kDetection;
        const std::wstring detectName = StageName(Stage::kDetection);
        const std::wstring remedyName = StageName(Stage::kRemediation);
        std::vector<int32_t> remedies;
        auto remediation = request.find(Stage::kRemediation);
        if (remediation != request.end()) remedies = remediation->second;

        for (int32_t id : detection->second) {
          if (Cancelled()) return false;
          record.message = toUtf8(ProblemName(id));
          report();
          if (!RunStage(id, Stage::kDetection, detectName)) {
            log.Write(LogLevel::Warn, L"Failed to execute the problem id : %d, stage id : %d", id,
                      Stage::kDetection);
            continue;
          }
          DataTable notPassed;
          const bool ok = store_->ExecuteQuery(
              format<260>(L"select * from problem_status_table where stage_id = %d and "
                          L"problem_id = %d and status <> 1",
                          Stage::kDetection, id),
              notPassed);
          const bool failedDetection = !ok || notPassed.RowCount() > 0;
          if (failedDetection &&
              std::find(remedies.begin(), remedies.end(), id) != remedies.end()) {
            if (!RunStage(id, Stage::kRemediation, remedyName)) {
              log.Write(LogLevel::Warn, L"Failed to remediate the problem id : %d", id);
            }
          }
          advance();
        }
      }
    }

    if (Cancelled()) return false;
    if (storeOpen_) BuildSummary(request, summary);
    return true;
  } catch (...) {
    log.Write(LogLevel::Error, L"Exception occured while executing problem method, ErrorCode: %d",
              LastSystemError());
    return false;
  }
}

bool FrameworkManager::RunStage(int32_t problemId, int32_t stageId,
                                const std::wstring& stageName) {
  FrameworkLog& log = FrameworkLog::Instance();
  try {
    Report::Instance().SetCurrent(problemId, stageId);

    DataTable scratch;
    if (!store_->ExecuteQuery(
            format<260>(
                L"update problem_status_table set status = %d where stage_id= %d AND problem_id= %d",
                ProblemStatus::kStarted, stageId, problemId),
            scratch)) {
      log.Write(LogLevel::Warn, L"Faild to update staus for problem id: %d, stage id: %d",
                problemId, stageId);
    }

    const std::wstring start = CurrentTimeText();
    // What the function returned or threw is not looked at: the stage's
    // status is what the script reported, or 2.
    engine_->CallFunction(L"Problems." + std::to_wstring(problemId), stageName);
    const std::wstring end = CurrentTimeText();

    DataTable times;
    if (!store_->ExecuteQuery(
            format<260>(L"update problem_status_table set start_time = '%ls', end_time= '%ls' "
                        L"where stage_id= %d AND problem_id= %d",
                        start.c_str(), end.c_str(), stageId, problemId),
            times)) {
      log.Write(LogLevel::Warn,
                L"Faild to update the start and end time for problem id: %d, stage id: %d",
                problemId, stageId);
    }
    return true;
  } catch (...) {
    log.Write(LogLevel::Warn, L"Exception occured while executing problem id: %d, stage id: %d",
              problemId, stageId);
    return false;
  }
}

void FrameworkManager::BuildSummary(const RunRequest& request, ResultJson& summary) {
  if (request.empty()) return;

  std::map<int32_t, int32_t> stageTable;
  std::set<int32_t> problemIds;
  for (const auto& [stageId, problems] : request) {
    stageTable[stageId] = 1;
    problemIds.insert(problems.begin(), problems.end());
  }

  for (int32_t id : problemIds) {
    DataTable problemRows;
    store_->ExecuteQuery(format<1024>(L"select * from problem_table where id= %d", id),
                         problemRows);
    for (size_t p = 0; p < problemRows.RowCount(); ++p) {
      const DataRow& row = problemRows.Row(p);
      ProblemData& problem = summary.problems.Add();
      row.GetInt(L"ID", problem.problemId);
      std::wstring text;
      row.GetString(L"NAME", text);
      problem.name = toUtf8(text);
      text.clear();
      row.GetString(L"DESCRIPTION", text);
      problem.description = toUtf8(text);
      text.clear();
      row.GetString(L"URL", text);
      problem.url = toUtf8(text);

      DataTable statusRows;
      store_->ExecuteQuery(
          format<1024>(L"select * from problem_status_table where problem_id= %d", id),
          statusRows);
      bool hasRemediation = false;
      for (size_t s = 0; s < statusRows.RowCount(); ++s) {
        StatusData& status = problem.status.Add();
        statusRows.Row(s).GetInt(L"STAGE_ID", status.stageId);
        statusRows.Row(s).GetInt(L"STATUS", status.status);
        if (status.stageId == Stage::kRemediation) hasRemediation = true;
        if (status.stageId == Stage::kMinimumHealth) {
          DataTable outcome;
          store_->ExecuteQuery(
              format<1024>(L"select input_details from operation_table where stage_id = %d and "
                           L"problem_id = %d",
                           Stage::kMinimumHealth, id),
              outcome);
          if (outcome.RowCount() > 0) status.outcome = toUtf8(firstText(outcome, 0));
        }
      }

      for (size_t s = 0; s < problem.status.Size(); ++s) {
        const StatusData& status = *problem.status.Get(s);
        auto entry = stageTable.find(status.stageId);
        if ((status.status == 2 || status.status == 3) && entry != stageTable.end()) {
          entry->second = 2;
        }
        // A detected problem without remediation leaves the remediation
        // stage marked.
        if (status.stageId == Stage::kDetection && status.status == 2 && !hasRemediation) {
          auto remedy = stageTable.find(Stage::kRemediation);
          if (remedy != stageTable.end()) remedy->second = 2;
        }
      }
    }
  }

  for (const auto& [stageId, status] : stageTable) {
    StatusData& entry = summary.stages.Add();
    entry.stageId = stageId;
    entry.status = status;
  }
}

}  // namespace zorel
