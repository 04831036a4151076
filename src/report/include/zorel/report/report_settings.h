#pragma once
// Where the report server is and how an exchange with it is bounded.
//
// The base address is compiled in (ZOREL_REPORT_SERVER_DEFAULT, an HTTPS
// origin) and can be replaced at run time with the environment variable
// ZOREL_REPORT_SERVER, e.g. a test server on loopback. TLS peer and host
// verification always stay on; ZOREL_REPORT_CA names one more PEM file whose
// certificates are trusted beside the system's own roots;
// ZOREL_REPORT_TIMEOUT_MS replaces the 30 s limit of one exchange.

#include <chrono>
#include <optional>
#include <string>

namespace zorel {

// The path of the one endpoint, appended to the base address.
inline constexpr char kReportEndpointPath[] = "/preinstall/DataAPIService.aspx";
// An exchange that has not finished after this long has failed.
inline constexpr std::chrono::milliseconds kDefaultExchangeTimeLimit{30000};
// The longest limit ZOREL_REPORT_TIMEOUT_MS may set (one hour).
inline constexpr std::chrono::milliseconds kMaxExchangeTimeLimit{3600000};

struct ReportServerSettings {
  // Origin without a trailing slash, e.g. "https://report.example.invalid".
  std::string baseAddress;
  // Extra trusted certificates (PEM file, host path); empty: none.
  std::string extraCaFile;
  // Overall limit of one exchange: connection, TLS, request and answer.
  std::chrono::milliseconds timeLimit = kDefaultExchangeTimeLimit;

  // The compiled-in address, overridden by ZOREL_REPORT_SERVER and
  // ZOREL_REPORT_CA where set and not empty; the time limit from
  // ZOREL_REPORT_TIMEOUT_MS when it is a whole number of milliseconds from
  // 1 to kMaxExchangeTimeLimit.
  static ReportServerSettings FromEnvironment();

  // baseAddress + kReportEndpointPath; one trailing '/' of the base is
  // dropped so the two never join as "//".
  std::wstring EndpointUrl() const;
};

// The compiled-in base address.
const char* CompiledReportServerAddress();

// "1500" -> 1500 ms; nullopt for anything but decimal digits giving 1 to
// kMaxExchangeTimeLimit.
std::optional<std::chrono::milliseconds> ParseExchangeTimeLimit(const std::string& text);

}  // namespace zorel
