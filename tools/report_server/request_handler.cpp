// The endpoint's decisions for one request body.

#include "request_handler.h"

#include <chrono>
#include <memory>

#include <json/reader.h>

#include "zorel/report/report_messages.h"
#include "zorel/report/sealed_container.h"

namespace zorel::reportserver {

namespace {

Reply refusal(int32_t code, const std::string& message, const std::string& command = "-") {
  Reply r;
  r.body = answerText(code, true, message, Json::Value());
  r.command = command;
  r.result = "refused " + std::to_string(code) + ": " + message;
  return r;
}

bool parseObject(const std::string& text, Json::Value& value) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  builder["stackLimit"] = 100;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors) &&
           value.isObject();
  } catch (const std::exception&) {
    return false;
  }
}

// An integer member that fits 32 bits (booleans are not numbers here).
bool intMember(const Json::Value& object, const char* key, int32_t& out) {
  if (!object.isObject() || !object.isMember(key)) return false;
  const Json::Value& v = object[key];
  if (v.isBool() || !v.isInt()) return false;
  out = v.asInt();
  return true;
}

// Bytes that are neither JSON nor four bytes long: braces, NULs and bytes
// that are not UTF-8.
std::string garbageBytes() {
  std::string bytes = "{\"errorcode\":";
  for (int i = 0; i < 48; ++i) bytes.push_back(static_cast<char>((i * 73 + 11) & 0xFF));
  return bytes;
}

}  // namespace

std::string answerText(int32_t errorcode, bool iserror, const std::string& message,
                       const Json::Value& response) {
  HttpResponseData answer;
  answer.errorcode = errorcode;
  answer.iserror = iserror;
  answer.errormessage = message;
  answer.response = response;
  return answer.ToString();
}

RequestHandler::RequestHandler(ReportStore& store, std::vector<Fault> faults)
    : store_(store), faults_(std::move(faults)) {}

void RequestHandler::stop() {
  std::lock_guard<std::mutex> guard(sleepLock_);
  stopping_ = true;
  wake_.notify_all();
}

void RequestHandler::sleepFor(int64_t milliseconds) {
  std::unique_lock<std::mutex> guard(sleepLock_);
  wake_.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return stopping_; });
}

bool RequestHandler::faultFor(const std::string& command, Reply& reply) {
  bool answered = false;
  for (const Fault& f : faults_) {
    if (f.command != "*" && f.command != command) continue;
    switch (f.kind) {
      case FaultKind::Delay:
        sleepFor(f.number);
        break;
      case FaultKind::Status:
        reply = Reply{};
        reply.status = static_cast<int>(f.number);
        reply.body = answerText(static_cast<int32_t>(f.number), true,
                                "fault: HTTP status " + std::to_string(f.number), Json::Value());
        reply.result = "fault status " + std::to_string(f.number);
        answered = true;
        break;
      case FaultKind::Code:
        reply = Reply{};
        reply.body = f.code;
        reply.contentType = "text/plain";
        reply.result = "fault code " + f.code;
        answered = true;
        break;
      case FaultKind::Garbage:
        reply = Reply{};
        reply.body = garbageBytes();
        reply.contentType = "application/octet-stream";
        reply.result = "fault garbage";
        answered = true;
        break;
      case FaultKind::IsError:
        reply = Reply{};
        reply.body = answerText(static_cast<int32_t>(f.number), true,
                                "fault: refused with " + std::to_string(f.number), Json::Value());
        reply.result = "fault iserror " + std::to_string(f.number);
        answered = true;
        break;
    }
  }
  reply.command = command;
  return answered;
}

Reply RequestHandler::handle(const std::string& body) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(body.data());
  uint32_t value = 0;
  size_t length = 0;
  int32_t rc = Unseal(nullptr, 0, bytes, body.size(), &value, nullptr, &length);
  std::string plain(length, '\0');
  if (rc == kSealOk) {
    rc = Unseal(nullptr, 0, bytes, body.size(), &value, reinterpret_cast<uint8_t*>(plain.data()),
                &length);
  }
  if (rc != kSealOk) {
    std::string name = SealResultName(rc);
    return refusal(kNotSealed, "the body is not a sealed container (" + std::to_string(rc) +
                                   (name.empty() ? "" : " " + name) + ", " +
                                   SealResultMeaning(rc) + ")");
  }

  const size_t separator = plain.find(kJsonCabSeparator);
  const std::string envelope = plain.substr(0, separator);
  Json::Value request;
  if (!parseObject(envelope, request)) {
    return refusal(kBadRequest, "the request is not a JSON object");
  }
  const Json::Value& service = request["service"];
  const Json::Value& command = request["command"];
  if (!service.isString() || service.asString() != kReportServiceName) {
    return refusal(kUnknownCommand, "\"service\" is not \"ReportService\"");
  }
  if (!command.isString()) return refusal(kBadRequest, "\"command\" is not a text");
  const std::string name = command.asString();
  if (name != kCommandCreateSessionId && name != kCommandUploadResult &&
      name != kCommandCancelOperation) {
    return refusal(kUnknownCommand, "unknown command \"" + name + "\"", name);
  }

  Reply faulty;
  if (faultFor(name, faulty)) return faulty;

  if (name == kCommandUploadResult) {
    if (separator == std::string::npos) {
      return refusal(kNoSeparator, "no \"$JSON_CAB_SEPERATOR$\" after the request", name);
    }
    return upload(envelope, plain.substr(separator + kJsonCabSeparatorLength), body.size(),
                  value);
  }
  if (separator != std::string::npos) {
    return refusal(kBadRequest, "only UploadResult carries a cabinet", name);
  }
  return name == kCommandCreateSessionId ? createSession(envelope) : cancel(envelope);
}

Reply RequestHandler::createSession(const std::string& envelope) {
  Json::Value request;
  parseObject(envelope, request);
  const Json::Value& data = request["data"];
  const std::string name = kCommandCreateSessionId;
  if (!data.isObject() || !data["machineid"].isString() || data["machineid"].asString().empty()) {
    return refusal(kBadRequest, "\"data\" has no \"machineid\" text", name);
  }
  int32_t id = 0;
  std::string error;
  if (!store_.newSession(data["machineid"].asString(), id, error)) {
    return refusal(kStoreFailed, error, name);
  }
  Json::Value response(Json::objectValue);
  response["sessionID"] = id;
  Reply r;
  r.body = answerText(0, false, "", response);
  r.command = name;
  r.result = "session " + std::to_string(id) + " for " + data["machineid"].asString();
  return r;
}

Reply RequestHandler::upload(const std::string& envelope, const std::string& cabinet,
                             size_t sealedBytes, uint32_t sealValue) {
  Json::Value request;
  parseObject(envelope, request);
  const Json::Value& data = request["data"];
  const std::string name = kCommandUploadResult;
  int32_t sessionId = 0, cabsize = 0;
  if (!intMember(data, "sessionid", sessionId) || !intMember(data, "cabsize", cabsize)) {
    return refusal(kBadRequest, "\"data\" needs integer \"sessionid\" and \"cabsize\"", name);
  }
  if (!store_.knownSession(sessionId)) {
    return refusal(kUnknownSession, "session " + std::to_string(sessionId) + " is not known",
                   name);
  }
  if (cabsize < 0 || static_cast<size_t>(cabsize) != cabinet.size()) {
    return refusal(kCabsizeMismatch, "\"cabsize\" " + std::to_string(cabsize) +
                                         " does not match the " +
                                         std::to_string(cabinet.size()) +
                                         " cabinet bytes after the separator",
                   name);
  }
  UploadFacts facts;
  facts.sessionId = sessionId;
  facts.envelope = envelope;
  facts.sealedBytes = sealedBytes;
  facts.sealValue = sealValue;
  std::string stored, error;
  if (!store_.storeUpload(facts, cabinet, stored, error)) {
    return refusal(kStoreFailed, error, name);
  }
  Json::Value response(Json::objectValue);
  response["sessionid"] = sessionId;
  response["cabsize"] = cabsize;
  response["stored"] = stored;
  Reply r;
  r.body = answerText(0, false, "", response);
  r.command = name;
  r.result = "stored " + stored + " (" + std::to_string(cabinet.size()) + " bytes)";
  return r;
}

Reply RequestHandler::cancel(const std::string& envelope) {
  Json::Value request;
  parseObject(envelope, request);
  const std::string name = kCommandCancelOperation;
  int32_t sessionId = 0;
  if (!intMember(request["data"], "sessionId", sessionId)) {
    return refusal(kBadRequest, "\"data\" needs an integer \"sessionId\"", name);
  }
  bool known = false;
  std::string error;
  if (!store_.recordCancel(sessionId, error, known)) return refusal(kStoreFailed, error, name);
  Json::Value response(Json::objectValue);
  response["sessionId"] = sessionId;
  response["knownsession"] = known;
  Reply r;
  r.body = answerText(0, false, "", response);
  r.command = name;
  r.result = "cancel of session " + std::to_string(sessionId) + (known ? "" : " (unknown)");
  return r;
}

}  // namespace zorel::reportserver
