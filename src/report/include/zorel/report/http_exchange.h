#pragma once
// One HTTP exchange with the report server: the record handed to the
// exchange thread and the function that thread runs.
//
// The request itself is the platform's (platform/http/http_request.h): the
// HTTP status of the answer, or the WinINet code that stands for a failed
// transfer. This layer adds the client's log lines and the server's own
// four-byte codes.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "zorel/platform/http/http_request.h"

namespace zorel {

inline constexpr int32_t kHttpMethodPost = 1;  // any other value means GET

// WinINet's codes for failed transfers, reported in place of an HTTP status.
inline constexpr int32_t kInternetTimeout = platform::ERROR_INTERNET_TIMEOUT;
inline constexpr int32_t kInternetNameNotResolved = platform::ERROR_INTERNET_NAME_NOT_RESOLVED;
inline constexpr int32_t kInternetCannotConnect = platform::ERROR_INTERNET_CANNOT_CONNECT;
inline constexpr int32_t kInternetConnectionAborted = platform::ERROR_INTERNET_CONNECTION_ABORTED;
inline constexpr int32_t kInternetInvalidCa = platform::ERROR_INTERNET_INVALID_CA;
inline constexpr int32_t kHttpInvalidServerResponse = platform::ERROR_HTTP_INVALID_SERVER_RESPONSE;
inline constexpr int32_t kInternetSecurityChannelError =
    platform::ERROR_INTERNET_SECURITY_CHANNEL_ERROR;

// Answers longer than this are not read: the exchange fails with
// kHttpInvalidServerResponse instead of growing without bound.
inline constexpr size_t kMaxResponseBytes = 16u * 1024u * 1024u;

// One request and its answer; owned by whoever starts the exchange and
// touched only by the exchange thread until that thread has ended.
struct HttpExchange {
  int32_t method = kHttpMethodPost;
  // The HTTP status, a server code 1000..1010 spelt by a four-byte answer,
  // a WinINet code for a failed transfer; 0 until known.
  int32_t status = 0;
  std::wstring url;
  std::vector<uint8_t> body;      // the sealed request
  std::vector<uint8_t> response;  // the answer body when status was 200
};

// Runs one exchange to its end on the calling thread (the exchange thread).
//   exchange     in: method, url, body; out: status and response.
//   extraCaFile  PEM file trusted beside the system roots; empty: none.
//   timeLimit    overall limit; past it the transfer fails with
//                kInternetTimeout.
// Never throws. Writes "Failed to create request" when the URL is not an
// http(s) URL (status stays 0), "Failed to get response from server with
// Error code --  : %d" for any status other than 200, and "Exception occured
// on uploading data" for anything unexpected. When no request object can be
// had at all the exchange ends quietly with status 0.
void RunHttpExchange(HttpExchange& exchange, const std::string& extraCaFile,
                     std::chrono::milliseconds timeLimit);

// The decimal number four answer bytes spell, read as the C library's atoi
// reads text (leading blanks, a sign, digits up to the first other byte):
// "1003" is 1003, "12ab" 12, "abcd" 0.
int32_t FourByteStatus(const uint8_t* bytes);

}  // namespace zorel
