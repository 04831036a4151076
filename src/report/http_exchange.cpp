// The exchange thread's work: the platform's request object, and the log
// lines and status rules of the report client around it.

#include "zorel/report/http_exchange.h"

#include <utility>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/http/http_request.h"

namespace zorel {

namespace {

void transfer(HttpExchange& exchange, const std::string& extraCaFile,
              std::chrono::milliseconds timeLimit) {
  exchange.status = 0;
  exchange.response.clear();
  FrameworkLog& log = FrameworkLog::Instance();

  platform::HttpRequest request;
  request.post = exchange.method == kHttpMethodPost;
  request.url = toUtf8(exchange.url);
  request.extraCaFile = extraCaFile;
  request.timeLimit = timeLimit;
  request.maxResponseBytes = kMaxResponseBytes;
  // The body is lent to the request and given back to the record.
  request.body = std::move(exchange.body);
  platform::HttpResponse response = platform::sendHttpRequest(request);
  exchange.body = std::move(request.body);

  if (response.extraCaFileMissing) {
    log.Write(LogLevel::Error, L"Report server certificate file not found: %s",
              fromUtf8(extraCaFile).c_str());
  }
  switch (response.stage) {
    case platform::HttpStage::kNoRequestObject:
      return;  // the exchange ends normally with status 0
    case platform::HttpStage::kOpenFailed:
      log.Write(LogLevel::Error, L"Failed to create request");
      return;
    case platform::HttpStage::kSendFailed:
      log.Write(LogLevel::Error, L"Failed to send request data to server");
      return;
    case platform::HttpStage::kCompleted:
      break;
  }
  exchange.status = response.status;
  if (!response.transferError.empty()) {
    log.Write(LogLevel::Error, L"Report server exchange: %s",
              fromUtf8(response.transferError).c_str());
  }
  if (exchange.status == 200) {
    // The server spells its own codes 1000..1010 as a four-byte answer.
    if (response.body.size() == 4) exchange.status = FourByteStatus(response.body.data());
    exchange.response = std::move(response.body);
  } else {
    log.Write(LogLevel::Error, L"Failed to get response from server with Error code --  : %d",
              exchange.status);
  }
}

}  // namespace

void RunHttpExchange(HttpExchange& exchange, const std::string& extraCaFile,
                     std::chrono::milliseconds timeLimit) {
  try {
    transfer(exchange, extraCaFile, timeLimit);
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured on uploading data");
  }
}

int32_t FourByteStatus(const uint8_t* bytes) {
  size_t at = 0;
  auto blank = [](uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (at < 4 && blank(bytes[at])) ++at;
  bool negative = false;
  if (at < 4 && (bytes[at] == '+' || bytes[at] == '-')) {
    negative = bytes[at] == '-';
    ++at;
  }
  int32_t value = 0;
  for (; at < 4 && bytes[at] >= '0' && bytes[at] <= '9'; ++at) {
    value = value * 10 + (bytes[at] - '0');  // at most four digits: no overflow
  }
  return negative ? -value : value;
}

}  // namespace zorel
