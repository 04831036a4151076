#pragma once
// One HTTP request and its answer, for the report service client.
//
// Windows: the request object of the ProgID "microsoft.xmlhttp"
// (IXMLHTTPRequest): open, send, then readyState, status and
// responseStream. A transfer that fails shows as a WinINet code
// (12002, 12029, ...) in place of the HTTP status.
// Linux emulation: libcurl with OpenSSL, TLS certificates verified against
// the system roots (and one extra file of certificates when given), no
// proxy for loopback addresses, no redirects followed, no request header of
// the program's own. The same outcomes, so a caller cannot tell the two
// apart.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zorel::platform {

// WinINet's codes for failed transfers, reported in place of an HTTP status.
inline constexpr int32_t ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr int32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr int32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr int32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr int32_t ERROR_INTERNET_INVALID_CA = 12045;
inline constexpr int32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr int32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

struct HttpRequest {
  bool post = true;                // false: GET
  std::string url;                 // UTF-8; only absolute http and https URLs open
  std::vector<uint8_t> body;       // sent as it is with POST
  std::string extraCaFile;         // PEM certificates trusted beside the system roots
  std::chrono::milliseconds timeLimit{30000};  // the whole exchange; past it: 12002
  size_t maxResponseBytes = 16u * 1024u * 1024u;  // a longer answer: 12152
};

// How far the exchange got.
enum class HttpStage {
  kNoRequestObject,  // no request object could be made; nothing was sent
  kOpenFailed,       // the URL (or the certificate setting) was refused
  kSendFailed,       // the request could not be handed over
  kCompleted,        // sent; status says how it went
};

struct HttpResponse {
  HttpStage stage = HttpStage::kNoRequestObject;
  // kCompleted: the HTTP status of the answer, or the WinINet code of a
  // transfer that failed; 0 otherwise.
  int32_t status = 0;
  std::vector<uint8_t> body;    // the answer's body when status is 200
  std::string transferError;    // what went wrong with a failed transfer
  bool extraCaFileMissing = false;  // extraCaFile names no regular file
};

// Runs one exchange to its end on the calling thread. Never throws.
HttpResponse sendHttpRequest(const HttpRequest& request);

}  // namespace zorel::platform
