#pragma once
// Service: the script's "Service" object. It checks whether a service is
// installed (with a startup type and state), checks and changes those,
// creates and deletes services, checks a dependent service, and writes a
// snapshot of every Win32 service into SERVICE_TABLE.
//
// Every method answers with a CJSONServiceReturn whose "status" starts
// true: the service manager's answer 1 gives "return" true and "errorcode"
// 0, any other code becomes "errorcode" (20016, an exception, also clears
// "status"), and the operation record counts as executed only for 1. The
// published "errorcode" property is never changed by the methods.
//
// The plug-in opens the service control manager once, at construction, and
// opens one service handle per call, closed (once) before the call ends.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/platform/services/service_manager.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class CJSONServiceReturn;
class PluginCall;
class ServiceTable;

class Service : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\Service";
  static const PluginSurface kSurface;

  // The Win32 code of a file system status query of a Windows path: 0 when
  // the status could be read or the file is missing (2, 3), else the error.
  using PathStatus = std::function<int32_t(const std::wstring& windowsPath)>;

  // Reads the construction arguments name, displayname, path, startuptype
  // and status; works on the current machine's service manager.
  explicit Service(StackFrame& args);
  // The same on `manager`, with `pathStatus` checking create's binary path.
  Service(StackFrame& args, std::shared_ptr<platform::IServiceManager> manager,
          PathStatus pathStatus);
  ~Service() override;

  std::unique_ptr<CJSONReturn> isPresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> setStatus(StackFrame& args);
  std::unique_ptr<CJSONReturn> setStartUpType(StackFrame& args);
  std::unique_ptr<CJSONReturn> checkStatus(StackFrame& args);
  std::unique_ptr<CJSONReturn> checkStartUpType(StackFrame& args);
  std::unique_ptr<CJSONReturn> create(StackFrame& args);
  std::unique_ptr<CJSONReturn> deleteService(StackFrame& args);
  std::unique_ptr<CJSONReturn> collect(StackFrame& args);
  // Arguments: dependentname, dependentstatus (a state number). A
  // dependentstatus that is not a number throws out of the method (the
  // script gets the empty result).
  std::unique_ptr<CJSONReturn> hasDependency(StackFrame& args);

  // The state names of SERVICE_TABLE (1 to 8) and the start-type names
  // (Windows start types 0 to 4); empty text for any other number.
  static std::wstring StateName(uint32_t state);
  static std::wstring StartTypeName(uint32_t startType);
  // Windows start type <-> the script's startup-type numbering (0 manual, 1
  // automatic, 2 disabled, 3 boot, 4 system; other numbers: automatic).
  static uint32_t ToWindowsStartType(int32_t number);
  static int32_t FromWindowsStartType(uint32_t startType);

 private:
  // Runs one method: the record's inputs, the empty-input check (87,
  // "status" false) and the outcome mapping of `work`'s code. An exception
  // in `work` gives 20016 after `onException` logged it.
  std::unique_ptr<CJSONReturn> Run(const char* method, std::initializer_list<std::wstring> inputs,
                                   bool inputsMissing, const std::function<int32_t()>& work,
                                   const std::function<void(const std::wstring&)>& onException);

  // Opens `name` on `manager` as the plug-in's service handle (closing the
  // previous one). RETURNS 0 or the manager's code.
  int32_t OpenService(platform::ScHandle manager, const std::wstring& name, uint32_t access);
  // Closes the service handle if one is open, exactly once.
  void CloseService();
  // setStatus's work, also used by deleteService to stop a running service.
  int32_t ChangeStatus(const std::wstring& wantedText);
  int32_t Control(uint32_t control, const std::wstring& wantedText);
  int32_t Collect(ServiceTable& table);

  std::wstring name_, displayname_, path_, startuptype_, status_;
  int32_t errorcode_ = 0;  // published as "errorcode"; the methods leave it 0

  std::shared_ptr<platform::IServiceManager> manager_;
  PathStatus pathStatus_;
  platform::ScHandle scm_ = platform::kNoScHandle;      // opened at construction
  int32_t scmError_ = 0;                                // why scm_ is missing
  platform::ScHandle service_ = platform::kNoScHandle;  // the open service handle, if any
};

// The factory's creation function for "Service".
std::unique_ptr<CMethodDispatcher> CreateServicePlugin(StackFrame& args);

}  // namespace zorel
