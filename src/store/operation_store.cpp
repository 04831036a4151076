#include "zorel/store/operation_store.h"

#include "zorel/store/current_run.h"
#include "zorel/store/time_text.h"

namespace zorel {

OperationStore::OperationStore(ErrorMessageLookup errorMessage)
    : Store(L"OPERATION_TABLE"), errorMessage_(std::move(errorMessage)) {
  table_.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
  table_.AddColumn(L"PROBLEM_ID", ColumnType::kInteger);
  table_.AddColumn(L"STAGE_ID", ColumnType::kInteger);
  table_.AddColumn(L"OPERATION_TYPE", ColumnType::kInteger);
  table_.AddColumn(L"COMPONENT_NAME", ColumnType::kText);
  table_.AddColumn(L"API_NAME", ColumnType::kText);
  table_.AddColumn(L"INPUT_DETAILS", ColumnType::kText);
  table_.AddColumn(L"EXECUTION_STATUS", ColumnType::kInteger);
  table_.AddColumn(L"ERROR_CODE", ColumnType::kInteger);
  table_.AddColumn(L"ERROR_STRING", ColumnType::kText);
  table_.AddColumn(L"START_TIME", ColumnType::kDateTime);
  table_.AddColumn(L"END_TIME", ColumnType::kDateTime);
}

std::wstring OperationStore::ComponentName(const std::wstring& componentPath) {
  const size_t slash = componentPath.find_last_of(L"\\/");
  std::wstring name = slash == std::wstring::npos ? componentPath : componentPath.substr(slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos && dot != 0) name.erase(dot);
  return name;
}

void OperationStore::Begin(int32_t operationType, const std::wstring& componentPath,
                           const std::wstring& apiName) {
  current_ = table_.NewRow();
  current_->Set(L"PROBLEM_ID", CurrentRun::Instance().ProblemId());
  current_->Set(L"STAGE_ID", CurrentRun::Instance().StageId());
  current_->Set(L"OPERATION_TYPE", operationType);
  current_->Set(L"COMPONENT_NAME", ComponentName(componentPath));
  current_->Set(L"API_NAME", apiName);
  current_->Set(L"START_TIME", CurrentTimeText());
}

void OperationStore::Finish(const std::wstring& inputDetails, int32_t executionStatus,
                            int32_t errorCode) {
  if (!current_) return;
  current_->Set(L"INPUT_DETAILS", inputDetails);
  current_->Set(L"EXECUTION_STATUS", executionStatus);
  current_->Set(L"ERROR_CODE", errorCode);
  if (errorCode != 0 && errorMessage_) current_->Set(L"ERROR_STRING", errorMessage_(errorCode));
  current_->Set(L"END_TIME", CurrentTimeText());
  table_.AddRow(std::move(current_));
}

}  // namespace zorel
