#pragma once
// Com: the script's "COM" object. It checks a COM class registration (the
// class key, its server-type key, the registered server path, the server
// binary on disk) and registers a server: a DLL through the system's
// regsvr32, an EXE through its -regserver switch.
//
// The registry and file questions go to a private Registry and File object
// made for each call without a result store (so only the COM method's own
// operation record is written); their answers become the COM method's. The
// methods are declared once in kSurface (operation type, input-details keys,
// what a script author needs); ComMethods() adds each one's required
// properties and messages. Component "Com"; the error code is not a script
// property.
//
// registerCOM is sound where the documented behaviour was not: regsvr32's
// exit code decides the outcome (a failed registration is not reported as
// registered), the .exe path is quoted on its command line (so C:\Program.exe
// cannot run in place of a server under Program Files), and a command line
// over 259 characters is refused with 87 before anything runs.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class Com;

// The argument checks and messages of one method of Com::kSurface.
struct ComMethodRow {
  const char* name;
  std::vector<const wchar_t*> required;  // properties that must not be empty
  const wchar_t* argumentMessage;
  const wchar_t* exceptionMessage;
};

const std::vector<ComMethodRow>& ComMethods();

class Com : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\Com";
  // The script-visible surface: component "COM", its methods and properties.
  static const PluginSurface kSurface;

  explicit Com(StackFrame& args);

  // Script-visible properties.
  std::wstring clsid;
  std::wstring servertype;
  std::wstring serverpath;
  std::wstring name;
  bool is32bit = false;

  std::unique_ptr<CJSONReturn> isEntryPresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOfServerType(StackFrame& args);
  std::unique_ptr<CJSONReturn> isServerPathMatching(StackFrame& args);
  std::unique_ptr<CJSONReturn> isServerBinaryExists(StackFrame& args);
  std::unique_ptr<CJSONReturn> registerCOM(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

 private:
  std::wstring ClassKey() const;
  std::wstring ServerKey() const;
  std::wstring Input(const wchar_t* name, const std::wstring& path) const;
  std::unique_ptr<CJSONReturn> RegisterDll(const std::wstring& path, int32_t* code);
  std::unique_ptr<CJSONReturn> RegisterExe(const std::wstring& path, int32_t* code);

  int32_t errorcode_ = 0;
};

// The factory's creation function for "COM".
std::unique_ptr<CMethodDispatcher> CreateComPlugin(StackFrame& args);

}  // namespace zorel
