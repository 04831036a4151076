#pragma once
// Probe: a plug-in that exists only in the tests. It records how it was
// constructed and answers with what reached it, and writes one operation
// record per call through the method skeleton like a real plug-in.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel::test {

class ProbePlugin : public CMethodDispatcher {
 public:
  explicit ProbePlugin(StackFrame& args) : named(args.named()) {
    args.GetNamedText("filename", filename);
    args.GetNamedBool("recursive", recursive);
    BindProperty("filename", filename);
    BindProperty("recursive", recursive);
    BindProperty("count", count);
    BindProperty("errorcode", errorcode);
    RegisterMethod("echo", &ProbePlugin::Echo);
    RegisterMethod("intArg", &ProbePlugin::IntArg);
    RegisterMethod("props", &ProbePlugin::Props);
    RegisterMethod("nothing", &ProbePlugin::Nothing);
    RegisterMethod("needsArg", &ProbePlugin::NeedsArg);
  }

  // Every argument, joined with "|", as "value"; input details name each.
  std::unique_ptr<CJSONOSReturnVal> Echo(StackFrame& args) {
    PluginCall call(GetResultStore(), errorcode, 0, L"plugins\\test\\Probe", L"Probe::echo");
    auto result = std::make_unique<CJSONOSReturnVal>();
    std::wstring joined;
    for (int32_t i = 0; i < args.Count(); ++i) {
      if (i) joined += L"|";
      joined += args.TextAt(i);
      call.Input(L"arg" + std::to_wstring(i), args.TextAt(i));
    }
    result->SetValue(joined);
    result->status = true;
    lastArgs.assign(args.positional().begin(), args.positional().end());
    return call.Finish(std::move(result));
  }
  // IntAt lets a conversion error escape, as plug-ins do.
  std::unique_ptr<CJSONReturn> IntArg(StackFrame& args) {
    auto result = std::make_unique<CJSONReturn>();
    result->errorcode = args.IntAt(0);
    return result;
  }
  std::unique_ptr<CJSONOSReturnVal> Props(StackFrame&) {
    auto result = std::make_unique<CJSONOSReturnVal>();
    result->SetValue(filename + L"|" + (recursive ? L"1" : L"0") + L"|" + std::to_wstring(count));
    return result;
  }
  std::unique_ptr<CJSONReturn> Nothing(StackFrame&) { return nullptr; }
  // A required argument: 87 and "Invalid Parameters." without it.
  std::unique_ptr<CJSONReturn> NeedsArg(StackFrame& args) {
    PluginCall call(GetResultStore(), errorcode, 0, L"plugins\\test\\Probe", L"Probe::needsArg");
    auto result = std::make_unique<CJSONReturn>();
    if (args.Count() < 1) {
      call.ArgumentError(87, L"Invalid Parameters.");
    } else {
      call.Input(L"value", args.TextAt(0));
      call.Run([&] {
        if (args.TextAt(0) == L"throw") throw std::runtime_error("boom");
        result->returnValue = true;
      }, L"Exception occured while probing.");
    }
    return call.Finish(std::move(result));
  }

  std::map<std::string, std::wstring> named;
  std::vector<std::wstring> lastArgs;
  std::wstring filename;
  bool recursive = false;
  int32_t count = 0;
  int32_t errorcode = 0;
};

inline std::unique_ptr<CMethodDispatcher> CreateProbe(StackFrame& args) {
  return std::make_unique<ProbePlugin>(args);
}

// A component with one method, for the registration checks.
class NamedOnePlugin : public CMethodDispatcher {
 public:
  explicit NamedOnePlugin(const char* method) {
    RegisterMethod(method, [](CMethodDispatcher&, StackFrame&) -> std::unique_ptr<CJSONReturn> {
      auto result = std::make_unique<CJSONReturn>();
      result->status = true;
      return result;
    });
  }
};

// OS with getOSName, File and Probe as Probe plug-ins.
inline std::vector<PluginRegistration> TestPluginTable() {
  return {
      {"OS", [](StackFrame&) { return std::make_unique<NamedOnePlugin>("getOSName"); }},
      {"File", CreateProbe},
      {"Probe", CreateProbe},
  };
}

}  // namespace zorel::test
