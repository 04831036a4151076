#include "zorel/store/jsexecution_table.h"

#include "zorel/log/framework_log.h"
#include "zorel/store/time_text.h"

namespace zorel {

void CreateJsExecutionTable(DataTable& table) {
  table.SetName(L"JSEXECUTION_TABLE");
  table.AddColumn(L"ID", ColumnType::kInteger, kAutoKey);
  table.AddColumn(L"JAVASCRIPT_NAME", ColumnType::kText);
  table.AddColumn(L"JAVASCRIPT_REVISION", ColumnType::kText);
  table.AddColumn(L"COREFRAMEWORK_VERSION", ColumnType::kText);
  table.AddColumn(L"START_TIME", ColumnType::kDateTime);
  table.AddColumn(L"END_TIME", ColumnType::kDateTime);
  table.AddColumn(L"EXECUTION_STATUS", ColumnType::kInteger);
}

void StartJSExecution(DataTable& table, const std::wstring& scriptName,
                      const std::wstring& revision, const std::wstring& frameworkVersion) {
  try {
    std::unique_ptr<DataRow> row = table.NewRow();
    row->Set(L"JAVASCRIPT_NAME", scriptName);
    row->Set(L"JAVASCRIPT_REVISION", revision);
    row->Set(L"COREFRAMEWORK_VERSION", frameworkVersion);
    row->Set(L"START_TIME", CurrentTimeText());
    row->Set(L"EXECUTION_STATUS", int32_t{0});
    table.AddRow(std::move(row));
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Execption Occured in StartJSExecution()");
  }
}

void EndJSExecution(DataTable& table, int32_t status) {
  try {
    if (table.RowCount() == 0) return;
    DataRow& row = table.Row(0);
    row.Set(L"END_TIME", CurrentTimeText());
    row.Set(L"EXECUTION_STATUS", status);
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Execption Occured in EndJSExecution()");
  }
}

}  // namespace zorel
