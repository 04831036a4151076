#pragma once
// Downloading a URL into a file.
//
// Windows: URLDownloadToFileW (no caller, no flags, no callback).
// Linux emulation: libcurl, for http, https and file URLs only (redirects
// may lead to http and https only). A file URL naming a drive
// (file:///C:/x or file://localhost/C:/x, percent-escapes allowed) is read
// from the machine through the path mapper; other file URLs name host
// paths. A plain Windows path with a drive letter (C:\x\a.reg) is read like
// a file URL naming it, as URLDownloadToFileW reads paths. The body goes to a temporary file beside the destination, which is
// renamed over the destination only when the whole body arrived: a failed,
// cut-short or timed-out download leaves no file behind and does not touch
// a file already at the destination. HTTP answers of 400 and above fail.
// TLS certificates are verified.

#include <cstdint>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IPathMapper;

struct DownloadOptions {
  // The whole transfer must end within this many seconds.
  long timeoutSeconds = 300;
  // Connecting must end within this many seconds.
  long connectTimeoutSeconds = 30;
  // Maps file URLs with a drive letter; null: such URLs fail.
  const IPathMapper* paths = nullptr;
};

struct DownloadResult {
  // 0 on success, else the Windows-style HRESULT URLDownloadToFileW gives
  // for the kind of failure (INET_E_* / E_* values, as an int32).
  int32_t hresult = 0;
  long httpStatus = 0;      // the last HTTP status, 0 for file URLs
  int curlCode = 0;         // the libcurl result, kept for the log
  std::wstring message;     // a readable reason on failure
  uint64_t bytes = 0;       // bytes written on success
};

inline constexpr int32_t kHresultInvalidUrl = static_cast<int32_t>(0x800C0002);      // INET_E_INVALID_URL
inline constexpr int32_t kHresultNoSession = static_cast<int32_t>(0x800C0003);       // INET_E_NO_SESSION
inline constexpr int32_t kHresultCannotConnect = static_cast<int32_t>(0x800C0004);   // INET_E_CANNOT_CONNECT
inline constexpr int32_t kHresultResourceNotFound = static_cast<int32_t>(0x800C0005);// INET_E_RESOURCE_NOT_FOUND
inline constexpr int32_t kHresultDownloadFailure = static_cast<int32_t>(0x800C0008); // INET_E_DOWNLOAD_FAILURE
inline constexpr int32_t kHresultUnknownProtocol = static_cast<int32_t>(0x800C000D); // INET_E_UNKNOWN_PROTOCOL
inline constexpr int32_t kHresultTimeout = static_cast<int32_t>(0x800C000B);         // INET_E_CONNECTION_TIMEOUT
inline constexpr int32_t kHresultCannotWrite = static_cast<int32_t>(0x80070005);     // E_ACCESSDENIED

// Downloads `url` (UTF-8) into the host file `destination`.
DownloadResult downloadToFile(const std::string& url, const std::string& destination,
                              const DownloadOptions& options = {});

// The same into a file named by a Windows path of the current machine; file
// URLs with a drive are read through the machine's paths unless `options`
// names other ones. A destination that is no path of the machine fails
// with kHresultCannotWrite.
DownloadResult downloadToFile(const std::string& url, std::wstring_view destination,
                              DownloadOptions options = {});

}  // namespace zorel::platform
