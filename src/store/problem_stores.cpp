#include "zorel/store/problem_stores.h"

namespace zorel {

ProblemStore::ProblemStore() : Store(L"PROBLEM_TABLE") {
  table_.AddColumn(L"ID", ColumnType::kInteger, kPrimaryKey);
  table_.AddColumn(L"NAME", ColumnType::kText);
  table_.AddColumn(L"DESCRIPTION", ColumnType::kText);
  table_.AddColumn(L"URL", ColumnType::kText);
}

void ProblemStore::AddProblem(int32_t id, const std::wstring& name,
                              const std::wstring& description, const std::wstring& url) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"ID", id);
    row->Set(L"NAME", name);
    row->Set(L"DESCRIPTION", description);
    row->Set(L"URL", url);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

ProblemStageStore::ProblemStageStore() : Store(L"PROBLEM_STAGE_TABLE") {
  table_.AddColumn(L"ID", ColumnType::kInteger, kPrimaryKey);
  table_.AddColumn(L"NAME", ColumnType::kText);
}

void ProblemStageStore::AddStage(int32_t id, const std::wstring& name) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"ID", id);
    row->Set(L"NAME", name);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

ProblemStatusStore::ProblemStatusStore() : Store(L"PROBLEM_STATUS_TABLE") {
  table_.AddColumn(L"PROBLEM_ID", ColumnType::kInteger);
  table_.AddColumn(L"STAGE_ID", ColumnType::kInteger);
  table_.AddColumn(L"STATUS", ColumnType::kInteger);
  table_.AddColumn(L"START_TIME", ColumnType::kDateTime);
  table_.AddColumn(L"END_TIME", ColumnType::kDateTime);
}

void ProblemStatusStore::AddStatus(int32_t problemId, int32_t stageId, int32_t status) {
  try {
    std::unique_ptr<DataRow> row = table_.NewRow();
    row->Set(L"PROBLEM_ID", problemId);
    row->Set(L"STAGE_ID", stageId);
    row->Set(L"STATUS", status);
    table_.AddRow(std::move(row));
  } catch (...) {
  }
}

}  // namespace zorel
