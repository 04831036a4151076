#pragma once
// What the endpoint answers to one POST body: unsealing, the envelope, the
// three commands and the configured faults. Free of HTTP so that the
// decisions read in one place; main.cpp puts the reply on the wire.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "report_store.h"
#include "server_options.h"

namespace zorel::reportserver {

// The server's own error codes in a refusal ("iserror" true).
enum RefusalCode : int32_t {
  kNotSealed = 1,         // the body is not a valid sealed container
  kBadRequest = 2,        // not a JSON object, or a field is missing or mistyped
  kUnknownCommand = 3,    // service or command not known
  kUnknownSession = 4,    // the session id was never handed out
  kCabsizeMismatch = 5,   // "cabsize" differs from the bytes after the separator
  kNoSeparator = 6,       // an upload without "$JSON_CAB_SEPERATOR$"
  kStoreFailed = 7,       // the data folder could not be written
};

struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
  std::string command = "-";  // for the request log
  std::string result;         // one short phrase for the request log
  std::vector<std::pair<std::string, std::string>> headers;  // further response headers
};

class RequestHandler {
 public:
  RequestHandler(ReportStore& store, std::vector<Fault> faults);

  Reply handle(const std::string& body);

  // Wakes every delayed answer (the server is stopping).
  void stop();

 private:
  Reply createSession(const std::string& envelope);
  Reply upload(const std::string& envelope, const std::string& cabinet, size_t sealedBytes,
               uint32_t sealValue);
  Reply cancel(const std::string& envelope);
  // Applies the faults configured for command; true when one of them is the
  // answer (then reply holds it).
  bool faultFor(const std::string& command, Reply& reply);
  void sleepFor(int64_t milliseconds);

  ReportStore& store_;
  std::vector<Fault> faults_;
  std::mutex sleepLock_;
  std::condition_variable wake_;
  bool stopping_ = false;
};

// The HttpResponseData text of an answer.
std::string answerText(int32_t errorcode, bool iserror, const std::string& message,
                       const Json::Value& response);

}  // namespace zorel::reportserver
