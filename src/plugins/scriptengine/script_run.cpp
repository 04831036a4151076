// Running one script: the host's minimal site and the steps from the
// engine's creation to the function's result.

#include <atomic>
#include <new>

#include "zorel/log/framework_log.h"
#include "zorel/platform/com/active_script.h"
#include "zorel/platform/com/com_class.h"
#include "zorel/plugins/scriptengine/scriptengine.h"

namespace zorel {

namespace {

using namespace platform;

// The site handed to the engine. It answers only IActiveScriptSiteWindow
// and otherwise does nothing: script errors go unreported here and show as
// the failed outcome.
class ActiveScriptSite final : public IActiveScriptSite, public IActiveScriptSiteWindow {
 public:
  HRESULT queryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IActiveScriptSiteWindow)) return E_NOTIMPL;
    addRef();
    *object = static_cast<IActiveScriptSiteWindow*>(this);
    return S_OK;
  }
  std::uint32_t addRef() override { return ++refs_; }
  std::uint32_t release() override {
    const std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT getLCID(std::uint32_t*) override { return S_OK; }
  HRESULT getItemInfo(const std::wstring&, std::uint32_t, IUnknown**) override { return S_OK; }
  HRESULT getDocVersionString(std::wstring*) override { return S_OK; }
  HRESULT onScriptTerminate(const Variant*, const ExcepInfo*) override { return S_OK; }
  HRESULT onStateChange(ScriptState) override { return S_OK; }
  HRESULT onScriptError(IActiveScriptError*) override { return S_OK; }
  HRESULT onEnterScript() override { return S_OK; }
  HRESULT onLeaveScript() override { return S_OK; }

  HRESULT getWindow(Hwnd* window) override {
    if (!window) return E_POINTER;
    *window = kDesktopWindow;
    return S_OK;
  }
  HRESULT enableModeless(bool) override { return S_OK; }

 private:
  ~ActiveScriptSite() = default;
  std::atomic<std::uint32_t> refs_{1};
};

bool Failed(HRESULT hr) { return !succeeded(hr); }

// The steps in order; the first that fails ends the run with the failed
// outcome. The interfaces are released as the run ends (dispatch, site,
// parser, engine).
ScriptOutcome RunSteps(IMachine& machine, const std::wstring& language,
                       const std::wstring& function, const std::wstring& script) {
  Guid clsid;
  if (Failed(clsidFromProgId(machine, language, &clsid))) return ScriptOutcome::kFailed;
  ComPtr<IActiveScript> engine;
  if (Failed(coCreateInstance(machine, clsid, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                              engine.putVoid())))
    return ScriptOutcome::kFailed;  // Script object creation failed.
  ComPtr<IActiveScriptParse> parser;
  if (Failed(engine->queryInterface(IID_IActiveScriptParse64, parser.putVoid())))
    return ScriptOutcome::kFailed;  // Script parser object creation failed.
  auto* made = new (std::nothrow) ActiveScriptSite();
  if (!made) return ScriptOutcome::kFailed;
  ComPtr<IActiveScriptSite> site = ComPtr<IActiveScriptSite>::attach(made);
  if (Failed(engine->setScriptSite(site.get())))
    return ScriptOutcome::kFailed;  // Script Site setting failed.
  if (Failed(parser->initNew())) return ScriptOutcome::kFailed;  // Script initnew failed.
  if (Failed(parser->parseScriptText(script, L"", nullptr, L"", 0, 0, 0, nullptr, nullptr)))
    return ScriptOutcome::kFailed;  // Script parsing failed.
  if (Failed(engine->setScriptState(ScriptState::kConnected)))
    return ScriptOutcome::kFailed;  // Setting script state failed.
  ComPtr<IDispatch> dispatch;
  if (Failed(engine->getScriptDispatch(L"", dispatch.put())))
    return ScriptOutcome::kFailed;  // Failed to get script dispatch.
  std::int32_t dispId = DISPID_UNKNOWN;
  if (Failed(dispatch->getIDsOfNames(&function, 1, LOCALE_SYSTEM_DEFAULT, &dispId)))
    return ScriptOutcome::kFailed;  // Getting detection function name failed.
  Variant result;
  if (Failed(dispatch->invoke(dispId, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, DispParams{},
                              &result, nullptr)))
    return ScriptOutcome::kFailed;  // Detection function invoke failed.
  return result.vt == VT_BOOL && result.boolVal == VARIANT_TRUE ? ScriptOutcome::kReturnedTrue
                                                                : ScriptOutcome::kFailed;
}

}  // namespace

ScriptOutcome RunScript(IMachine* machine, const std::wstring& language,
                        const std::wstring& function, const std::wstring& script) {
  const HRESULT init = coInitialize();
  if (Failed(init)) FrameworkLog::Instance().Write(LogLevel::Error, L"%s", L"ScriptEngine : CoInitialize failed");
  ScriptOutcome outcome = ScriptOutcome::kFailed;
  if (machine && !language.empty() && !function.empty() && !script.empty()) {
    try {
      outcome = RunSteps(*machine, language, function, script);
    } catch (...) {
      outcome = ScriptOutcome::kFailed;
    }
  }
  if (init == S_OK || init == S_FALSE) coUninitialize();
  return outcome;
}

}  // namespace zorel
