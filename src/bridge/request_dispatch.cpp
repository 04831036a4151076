// The UI request protocol on top of IBusinessLogic.

#include "zorel/bridge/request_dispatch.h"

#include <exception>

#include "zorel/bridge/request_json.h"
#include "zorel/bridge/response_json.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace {

void refuse(ResponseJsonStructure& response) {
  response.status = false;
  response.errorCode = kOperationNotDone;
}

// Runs the operation the request names and fills the response.
void dispatch(IBusinessLogic& logic, const RequestJsonStructure& request,
              ResponseJsonStructure& response) {
  switch (request.operationId) {
    case static_cast<int32_t>(UiOperation::Start):
      if (!logic.Start(request)) refuse(response);
      break;
    case static_cast<int32_t>(UiOperation::Progress):
      logic.CopyProgress(response.progress);
      if (response.progress.errorCode > 0) {
        response.status = false;
        response.errorCode = response.progress.errorCode;
      }
      break;
    case static_cast<int32_t>(UiOperation::Result):
      logic.CopyResult(response.result, response.session);
      break;
    case static_cast<int32_t>(UiOperation::Cancel):
      logic.Cancel();  // answers true whatever happened
      break;
    default:
      refuse(response);
      break;
  }
}

}  // namespace

std::wstring DispatchRequest(IBusinessLogic& logic,
                             const std::wstring& request) {
  if (request.empty()) return std::wstring();
  try {
    ResponseJsonStructure response;
    response.status = true;
    RequestJsonStructure parsed;
    // UTF-8 both ways, so text beyond ASCII reaches the controller intact.
    parsed.FromString(toUtf8(request));
    dispatch(logic, parsed, response);
    return fromUtf8(response.ToString());
  } catch (const std::exception& e) {
    FrameworkLog::Instance().Write(
        LogLevel::Error, L"Exception occured while processing the UI request: %s",
        fromUtf8(e.what()).c_str());
  } catch (...) {
    FrameworkLog::Instance().Write(
        LogLevel::Error, L"Exception occured while processing the UI request");
  }
  // Built outside the try: a failed operation still gets its answer.
  try {
    ResponseJsonStructure failed;
    refuse(failed);
    return fromUtf8(failed.ToString());
  } catch (...) {
    return std::wstring();
  }
}

}  // namespace zorel
