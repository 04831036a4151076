#pragma once
// JSEXECUTION_TABLE: one row per script run.

#include <cstdint>
#include <string>

#include "zorel/store/data_table.h"

namespace zorel {

// Name |table| JSEXECUTION_TABLE and append its columns.
void CreateJsExecutionTable(DataTable& table);

// Append a run row: the script's name, revision and declared framework
// version, START_TIME now, EXECUTION_STATUS 0.
void StartJSExecution(DataTable& table, const std::wstring& scriptName,
                      const std::wstring& revision, const std::wstring& frameworkVersion);

// On the first row, if any: END_TIME now and EXECUTION_STATUS |status|.
void EndJSExecution(DataTable& table, int32_t status);

}  // namespace zorel
