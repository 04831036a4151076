#pragma once
// IBusinessLogic: what the UI bridge and the window need of the session
// controller.

#include <string>

#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/request_json.h"
#include "zorel/bridge/result_json.h"

namespace zorel {

class IBusinessLogic {
 public:
  // A UI request text in, its response text out (empty for an empty
  // request). Implementations answer with DispatchRequest
  // (zorel/bridge/request_dispatch.h), which calls the operations below.
  virtual std::wstring ProcessRequest(const std::wstring& request) = 0;

  // Cancels a running check run, if any; always true. Also called by the
  // window when it closes.
  virtual bool Cancel() = 0;

  virtual ~IBusinessLogic() = default;

  // --- the operations a request is dispatched to -------------------------

  // Operation 0: starts a check run for the request's "operationinfo";
  // false when the run was not started.
  virtual bool Start(const RequestJsonStructure& request) = 0;

  // Operation 1: copies the shared progress record (under its lock),
  // including the progress error code, into `progress`.
  virtual void CopyProgress(ProgressJson& progress) = 0;

  // Operation 2: copies the result of the last completed run and the
  // session id of its upload.
  virtual void CopyResult(ResultJson& result, SessionJson& session) = 0;
};

}  // namespace zorel
