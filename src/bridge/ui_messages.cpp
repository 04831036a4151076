// Member bindings of the UI message structures and the run summary records.

#include <exception>

#include "zorel/bridge/problem_data.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/request_json.h"
#include "zorel/bridge/response_json.h"
#include "zorel/bridge/result_json.h"

namespace zorel {

StatusData::StatusData() {
  BindInt("stageid", stageId);
  BindInt("status", status);
  BindString("outcome", outcome);
}

ProblemData::ProblemData() {
  BindInt("problemid", problemId);
  BindString("name", name);
  BindString("description", description);
  BindString("url", url);
  BindArray("status", status);
}

ProgressJson::ProgressJson() {
  BindInt("stageId", stageId);
  BindInt("percentage", percentage);
  BindString("message", message);
}

ResultJson::ResultJson() {
  BindArray("stages", stages);
  BindArray("problems", problems);
}

SessionJson::SessionJson() { BindInt("sessionid", sessionId); }

OperationInfoStructure::OperationInfoStructure() {
  BindInt("stageid", stageId);
  BindValue("problemid", problemId);
}

bool OperationInfoStructure::ProblemIds(std::vector<int32_t>& ids) const {
  ids.clear();
  if (!problemId.isArray()) return true;
  for (Json::ArrayIndex i = 0; i < problemId.size(); ++i) {
    try {
      ids.push_back(problemId[i].asInt());
    } catch (const std::exception&) {
      return false;  // a string, an object, or out of the int range
    }
  }
  return true;
}

RequestJsonStructure::RequestJsonStructure() {
  BindInt("operationid", operationId);
  BindArray("operationinfo", operationInfo);
  BindString("productname", productName);
  BindString("producttype", productType);
}

ResponseJsonStructure::ResponseJsonStructure() {
  BindBool("status", status);
  BindInt("errorcode", errorCode);
  BindObject("progress", progress);
  BindObject("result", result);
  BindObject("session", session);
}

}  // namespace zorel
