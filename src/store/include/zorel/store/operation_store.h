#pragma once
// OPERATION_TABLE: the record of one plug-in method call.
//
// Begin() starts the row, Finish() completes it and appends it to the
// table, which the plug-in then hands to IResultStore::Insert.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zorel/store/store.h"

namespace zorel {

class OperationStore : public Store {
 public:
  // Gives the ERROR_STRING for a nonzero error code. The plug-ins own the
  // error-message table, so they pass their lookup in; without one the
  // text is left empty.
  using ErrorMessageLookup = std::function<std::wstring(int32_t)>;

  explicit OperationStore(ErrorMessageLookup errorMessage = {});

  // Start the current row: PROBLEM_ID and STAGE_ID from CurrentRun,
  // OPERATION_TYPE, COMPONENT_NAME (last element of |componentPath| without
  // its extension), API_NAME, START_TIME now. The row is not in the table yet.
  void Begin(int32_t operationType, const std::wstring& componentPath,
             const std::wstring& apiName);

  // Complete and append the current row; does nothing without Begin().
  void Finish(const std::wstring& inputDetails, int32_t executionStatus, int32_t errorCode);

  // "plugins\win\env\OS" gives "OS"; both separators are accepted.
  static std::wstring ComponentName(const std::wstring& componentPath);

 private:
  ErrorMessageLookup errorMessage_;
  std::unique_ptr<DataRow> current_;  // between Begin and Finish
};

}  // namespace zorel
