// Key bindings of the report-server messages.

#include "zorel/report/report_messages.h"

namespace zorel {

HttpRequestData::HttpRequestData() {
  BindString("service", service);
  BindString("command", command);
  BindValue("data", data);
}

HttpRequestData::HttpRequestData(const std::string& commandName, const JSON& commandData)
    : HttpRequestData() {
  service = kReportServiceName;
  command = commandName;
  data = commandData.ToValue();
}

PreInstallSessionRequest::PreInstallSessionRequest() { BindString("machineid", machineid); }

ResultCabData::ResultCabData() {
  BindInt("sessionid", sessionid);
  BindInt("cabsize", cabsize);
}

CancelOperationRequest::CancelOperationRequest() { BindInt("sessionId", sessionId); }

HttpResponseData::HttpResponseData() {
  BindInt("errorcode", errorcode);
  BindBool("iserror", iserror);
  BindString("errormessage", errormessage);
  BindValue("response", response);
}

bool SessionIdFromResponse(const HttpResponseData& answer, int32_t& sessionId) {
  const Json::Value& response = answer.response;
  if (!response.isObject() || !response.isMember("sessionID")) return false;
  const Json::Value& id = response["sessionID"];
  // isInt() is true for integral values of any numeric type within the
  // 32-bit range (7.0 included, 7.5 and 2^31 not); booleans are no ids.
  if (id.isBool() || !id.isInt()) return false;
  sessionId = id.asInt();
  return true;
}

}  // namespace zorel
