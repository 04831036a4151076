#pragma once
// The JSON messages exchanged with the report server: the envelope of every
// request, the data of its three commands and the answer.
//
// Requests are written with JSON::ToString (styled, keys ascending), so the
// text of a CreateSessionId request reads "command", then "data" holding
// {"machineid"}, then "service". Answers are plain (unsealed) JSON.

#include <cstdint>
#include <string>

#include <json/value.h>

#include "zorel/bridge/json.h"

namespace zorel {

inline constexpr char kReportServiceName[] = "ReportService";
inline constexpr char kCommandCreateSessionId[] = "CreateSessionId";
inline constexpr char kCommandUploadResult[] = "UploadResult";
inline constexpr char kCommandCancelOperation[] = "CancelOperation";
// Separates the UploadResult envelope from the cabinet bytes in the body.
// The misspelling is the wire format's own.
inline constexpr char kJsonCabSeparator[] = "$JSON_CAB_SEPERATOR$";
inline constexpr size_t kJsonCabSeparatorLength = sizeof(kJsonCabSeparator) - 1;
static_assert(kJsonCabSeparatorLength == 20);

// The envelope of every request.
//   "service"  always "ReportService"
//   "command"  "CreateSessionId", "UploadResult" or "CancelOperation"
//   "data"     the command's parameters (ToValue of one structure below)
class HttpRequestData : public JSON {
 public:
  HttpRequestData();
  HttpRequestData(const std::string& commandName, const JSON& commandData);

  std::string service;
  std::string command;
  Json::Value data;
};

// Data of CreateSessionId: the machine ID as UTF-8.
class PreInstallSessionRequest : public JSON {
 public:
  PreInstallSessionRequest();
  std::string machineid;
};

// Data of UploadResult: the session and the byte size of the cabinet that
// follows the envelope in the body.
class ResultCabData : public JSON {
 public:
  ResultCabData();
  int32_t sessionid = 0;
  int32_t cabsize = 0;
};

// Data of CancelOperation. The key is "sessionId", with a capital I, unlike
// the other structures.
class CancelOperationRequest : public JSON {
 public:
  CancelOperationRequest();
  int32_t sessionId = 0;
};

// Every answer. A fresh one holds 0, false, "" and a null "response".
//   "errorcode"     the server's reason when it refuses an upload
//   "iserror"       true: the request was refused
//   "errormessage"  a readable reason; informational only
//   "response"      command-specific; for CreateSessionId an object whose
//                   member "sessionID" (capital I and D) is the session id
class HttpResponseData : public JSON {
 public:
  HttpResponseData();
  int32_t errorcode = 0;
  bool iserror = false;
  std::string errormessage;
  Json::Value response;
};

// The session id in a CreateSessionId answer: true when "response" is an
// object whose "sessionID" is an integer that fits 32 bits. Any other shape
// (no member, a text, a fraction, a "response" that is no object) is an
// answer without a session id.
bool SessionIdFromResponse(const HttpResponseData& answer, int32_t& sessionId);

}  // namespace zorel
