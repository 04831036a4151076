#pragma once
// CScriptEnginePlugin: the script's "ScriptEngine" object. executeScript
// runs a piece of script text in one of the machine's Active Scripting
// engines (named by its ProgID in the property `languagename`) and calls
// one function of it (`functionname`, or argument 1); only a boolean true
// counts as success. Component "ScriptEngine", operation type 0.
//
// Sound where the documented behaviour was not: an 87 answer (an empty
// language, function name or script) has "status" false; a run starts from
// the failed outcome, so an empty text can never leave it unset; and COM is
// uninitialised only after its initialisation succeeded.

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;

namespace platform {
class IMachine;
}

class CScriptEnginePlugin : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\ScriptEngine";

  static const PluginSurface kSurface;

  // Copies the construction arguments "languagename" and "functionname".
  explicit CScriptEnginePlugin(StackFrame& args);

  // Argument 0: the script text; argument 1 (optional): the function name,
  // kept in `functionname`. "errorcode" 0 when the function returned true,
  // 2 for any other result or failure (the record then carries 30062), 87
  // for an empty language, function name or script; "status" is
  // (errorcode == 0).
  std::unique_ptr<CJSONReturn> executeScript(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

  // Script-visible properties.
  std::wstring languagename;
  std::wstring functionname;

 private:
  int32_t errorcode_ = 0;  // published as the property "errorcode"
};

// The outcome of running one script.
enum class ScriptOutcome : int32_t {
  kReturnedTrue = 1,
  kFailed = 2,  // any failure, or a result other than a boolean true
};

// Runs `script` in the engine of ProgID `language` on `machine` (COM on
// the calling thread, initialised and released around the run) and calls
// `function` without arguments. Never throws.
ScriptOutcome RunScript(platform::IMachine* machine, const std::wstring& language,
                        const std::wstring& function, const std::wstring& script);

// The factory's creation function for "ScriptEngine".
std::unique_ptr<CMethodDispatcher> CreateScriptEnginePlugin(StackFrame& args);

}  // namespace zorel
