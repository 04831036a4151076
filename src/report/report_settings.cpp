// The report server's address: compiled in, overridable from the host
// environment.

#include "zorel/report/report_settings.h"

#include <charconv>
#include <optional>

#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_variable.h"

#ifndef ZOREL_REPORT_SERVER_DEFAULT
#define ZOREL_REPORT_SERVER_DEFAULT "https://report.zorel.invalid"
#endif

namespace zorel {

namespace {

// The host process's variables, not the emulated Windows block: they
// configure this build, they are not part of the machine.
std::string hostSetting(const wchar_t* name) {
  const std::optional<std::wstring> value = platform::hostVariable(name);
  return value ? toUtf8(*value) : std::string();
}

}  // namespace

const char* CompiledReportServerAddress() { return ZOREL_REPORT_SERVER_DEFAULT; }

std::optional<std::chrono::milliseconds> ParseExchangeTimeLimit(const std::string& text) {
  long long ms = 0;
  const char* end = text.data() + text.size();
  const auto [at, ec] = std::from_chars(text.data(), end, ms);
  if (text.empty() || ec != std::errc() || at != end || ms < 1 || ms > kMaxExchangeTimeLimit.count()) {
    return std::nullopt;
  }
  return std::chrono::milliseconds(ms);
}

ReportServerSettings ReportServerSettings::FromEnvironment() {
  ReportServerSettings settings;
  settings.baseAddress = CompiledReportServerAddress();
  if (std::string server = hostSetting(L"ZOREL_REPORT_SERVER"); !server.empty()) {
    settings.baseAddress = server;
  }
  settings.extraCaFile = hostSetting(L"ZOREL_REPORT_CA");
  // A value that is not a whole number of milliseconds in range keeps the
  // default rather than leaving exchanges unbounded.
  if (auto limit = ParseExchangeTimeLimit(hostSetting(L"ZOREL_REPORT_TIMEOUT_MS"))) {
    settings.timeLimit = *limit;
  }
  return settings;
}

std::wstring ReportServerSettings::EndpointUrl() const {
  std::string base = baseAddress;
  if (!base.empty() && base.back() == '/') base.pop_back();
  return fromUtf8(base + kReportEndpointPath);
}

}  // namespace zorel
