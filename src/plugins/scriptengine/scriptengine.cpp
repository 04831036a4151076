// CScriptEnginePlugin: its method table and executeScript.

#include "zorel/plugins/scriptengine/scriptengine.h"

#include <algorithm>
#include <string>

#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"

namespace zorel {

namespace {

constinit const PluginMethod kMethods[] = {
    {"executeScript", MethodOf<&CScriptEnginePlugin::executeScript>, OperationType::kQuery,
     {L"languagename", L"functionname", L"script"},
     {.summary = "Runs a script text in the languagename engine and calls its function: "
                 "errorcode 0 when the function returned true.",
      .arguments = {{{"script", ValueType::kText, false, "the script text"},
                     {"functionName", ValueType::kText, true,
                      "the function to call, in place of the functionname property"}}},
      .reads = "languagename, functionname",
      .fills = "status",
      .errors = {2, 87}}},
};

constinit const PluginProperty kProperties[] = {
    {"languagename", ValueType::kText, "the script engine, e.g. JScript or VBScript"},
    {"functionname", ValueType::kText, "the function executeScript calls"},
    {"errorcode", ValueType::kNumber, kErrorCodeMeaning},
};

// The method's error for a failed run or a result other than true.
constexpr int32_t kRunFailed = 2;

}  // namespace

constinit const PluginSurface CScriptEnginePlugin::kSurface{
    "ScriptEngine", kComponentPath, kMethods, kProperties,
    "Runs a rule written in JScript or VBScript."};

CScriptEnginePlugin::CScriptEnginePlugin(StackFrame& args) {
  RegisterSurface(kSurface);
  BindProperty("languagename", languagename);
  BindProperty("functionname", functionname);
  BindProperty("errorcode", errorcode_);
  args.GetNamedText("languagename", languagename);
  args.GetNamedText("functionname", functionname);
}

std::unique_ptr<CJSONReturn> CScriptEnginePlugin::executeScript(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  std::wstring script;
  if (args.Count() >= 1) script = args.TextAt(0);
  if (args.Count() >= 2) functionname = args.TextAt(1);
  if (languagename.empty() || functionname.empty() || script.empty()) {
    call.ArgumentError(plugin_error::kInvalidParameter, L"Invalid Parameters.");
  } else {
    ScriptOutcome outcome = ScriptOutcome::kFailed;
    call.Run([&] { outcome = RunScript(platform::currentMachine(), languagename, functionname,
                                       script); },
             nullptr, kRunFailed);
    if (outcome == ScriptOutcome::kReturnedTrue) {
      FrameworkLog::Instance().Write(LogLevel::Info, L"ScriptEngine : Executed script : %s.",
                                     functionname.c_str());
      call.SetError(plugin_error::kSuccess);
    } else {
      FrameworkLog::Instance().Write(
          LogLevel::Error,
          L"ScriptEngine : Script execution failed or script returned false status for "
          L"function : %s",
          functionname.c_str());
      call.SetError(kRunFailed);
      call.RecordCode(plugin_error::kScriptFailed);
    }
  }
  result->status = call.Succeeded();
  std::replace(script.begin(), script.end(), L'\'', L'"');
  call.Input(languagename).Input(functionname).Input(std::move(script));
  return call.Finish(std::move(result));
}

std::unique_ptr<CMethodDispatcher> CreateScriptEnginePlugin(StackFrame& args) {
  return std::make_unique<CScriptEnginePlugin>(args);
}

}  // namespace zorel
