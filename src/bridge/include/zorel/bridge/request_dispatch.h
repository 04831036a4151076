#pragma once
// The UI request protocol: one request text in, one response text out.

#include <cstdint>
#include <string>

#include "zorel/bridge/business_logic.h"

namespace zorel {

// The "operationid" values the UI sends.
enum class UiOperation : int32_t { Start = 0, Progress = 1, Result = 2, Cancel = 3 };

// The only error code the UI sees: the operation was not done.
constexpr int32_t kOperationNotDone = 1000;

// Answers one UI request on behalf of `logic`:
//  - an empty request gives an empty text and calls nothing;
//  - otherwise the text (UTF-8 once narrowed) is read into a
//    RequestJsonStructure, its "operationid" picks the operation of `logic`,
//    and the ResponseJsonStructure is returned as styled JSON text.
// Never throws: an exception from `logic` is logged and answered with
// "status" false and "errorcode" 1000.
std::wstring DispatchRequest(IBusinessLogic& logic, const std::wstring& request);

}  // namespace zorel
