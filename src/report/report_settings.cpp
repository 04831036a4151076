// The report server's address: compiled in, overridable from the environment.

#include "zorel/report/report_settings.h"

#include <cstdlib>

#include "zorel/common/utf8.h"

#ifndef ZOREL_REPORT_SERVER_DEFAULT
#define ZOREL_REPORT_SERVER_DEFAULT "https://report.zorel.invalid"
#endif

namespace zorel {

namespace {

// The process environment of the host, not the emulated Windows block: the
// two variables configure this build, they are not part of the machine.
std::string hostSetting(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

const char* CompiledReportServerAddress() { return ZOREL_REPORT_SERVER_DEFAULT; }

ReportServerSettings ReportServerSettings::FromEnvironment() {
  ReportServerSettings settings;
  settings.baseAddress = CompiledReportServerAddress();
  if (std::string server = hostSetting("ZOREL_REPORT_SERVER"); !server.empty()) {
    settings.baseAddress = server;
  }
  settings.extraCaFile = hostSetting("ZOREL_REPORT_CA");
  return settings;
}

std::wstring ReportServerSettings::EndpointUrl() const {
  std::string base = baseAddress;
  if (!base.empty() && base.back() == '/') base.pop_back();
  return fromUtf8(base + kReportEndpointPath);
}

}  // namespace zorel
