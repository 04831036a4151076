#pragma once
// COSPlugin: the script's "OS" object. It answers questions about the
// operating system (name, description, edition, version and version checks,
// architecture, language, UAC level, browsers, domain membership, the
// enterprise management agent, the system and Windows folders) from the
// platform layer's machine, and changes nothing.
//
// Every method writes one operation record (type 0, component "OS") and
// answers through "errorcode": for the yes/no methods 0 means yes. The
// methods, their record types and input keys are the rows of kSurface.

#include <cstdint>
#include <memory>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONOSInfo;
class CJSONOSReturnVal;
class CJSONReturn;

namespace platform {
class IMachine;
}

class COSPlugin : public CMethodDispatcher {
 public:
  // The script-visible surface: component "OS" and its methods.
  static const PluginSurface kSurface;

  // Construction arguments are not read.
  explicit COSPlugin(StackFrame& args);

  std::unique_ptr<CJSONOSInfo> getDefaultBrowser(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getInstalledBrowsers(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getOSName(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getOSDetail(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getOSEdition(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getMajorVersion(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getMinorVersion(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getOSArchType(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getOSLanguage(StackFrame& args);
  std::unique_ptr<CJSONOSInfo> getUACStatus(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOfOsName(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOsVersionOrGreater(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOsVersionLower(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOsVersionEqual(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOfType(StackFrame& args);
  std::unique_ptr<CJSONReturn> isRavelManaged(StackFrame& args);
  std::unique_ptr<CJSONReturn> isUnderDomain(StackFrame& args);
  std::unique_ptr<CJSONOSReturnVal> getSystemDirectory(StackFrame& args);
  std::unique_ptr<CJSONOSReturnVal> getWindowsDirectory(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

 private:
  enum class VersionCheck { OrGreater, Lower, Equal };
  // The version checks; `method` names the one that was called.
  std::unique_ptr<CJSONReturn> CheckVersion(const char* method, StackFrame& args,
                                            VersionCheck check);

  int32_t errorcode_ = 0;  // published as the property "errorcode"
};

// The factory's creation function for "OS".
std::unique_ptr<CMethodDispatcher> CreateOSPlugin(StackFrame& args);

namespace os_machine {
// The machine the plug-ins answer from (the process-wide one). Throws
// std::runtime_error when there is none, which the method's catch-all turns
// into its exception answer.
platform::IMachine& Current();
// VerifyVersionInfoW with major, minor and service-pack major each
// VER_GREATER_EQUAL: the system is at least major.minor with that pack.
bool AtLeast(const platform::IMachine& machine, uint32_t major, uint32_t minor,
             uint16_t servicePack);
}  // namespace os_machine

}  // namespace zorel
