// Class lookup and creation on a fresh machine, then the JScript engine
// driven the way a host drives it: results, failures at each step, the
// allocation cap and heaps that share nothing.

#include <gtest/gtest.h>

#include <string>

#include "machine/temp_machine.h"
#include "zorel/platform/com/active_script.h"
#include "zorel/platform/com/com_class.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {
namespace {

// A site that keeps the last script error it was told of.
class RecordingSite final : public IActiveScriptSite {
 public:
  HRESULT queryInterface(const Guid&, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t addRef() override { return ++refs; }
  std::uint32_t release() override { return --refs; }  // lives on the test's stack
  HRESULT getLCID(std::uint32_t*) override { return S_OK; }
  HRESULT getItemInfo(const std::wstring&, std::uint32_t, IUnknown**) override { return S_OK; }
  HRESULT getDocVersionString(std::wstring*) override { return S_OK; }
  HRESULT onScriptTerminate(const Variant*, const ExcepInfo*) override { return S_OK; }
  HRESULT onStateChange(ScriptState) override { return S_OK; }
  HRESULT onScriptError(IActiveScriptError* error) override {
    ++errors;
    ExcepInfo info;
    error->getExceptionInfo(&info);
    lastError = info.description;
    std::uint32_t context = 0;
    std::int32_t column = 0;
    error->getSourcePosition(&context, &lastLine, &column);
    return S_OK;
  }
  HRESULT onEnterScript() override { return S_OK; }
  HRESULT onLeaveScript() override { return S_OK; }

  std::uint32_t refs = 1;
  int errors = 0;
  std::wstring lastError;
  std::uint32_t lastLine = 0;
};

// One engine, parsed and connected.
struct Engine {
  ComPtr<IActiveScript> script;
  ComPtr<IActiveScriptParse> parse;
  RecordingSite site;
  HRESULT parsed = E_FAIL;
  HRESULT connected = E_FAIL;

  Engine(IMachine& machine, const std::wstring& text) {
    EXPECT_EQ(coCreateInstance(machine, CLSID_JScript, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                               script.putVoid()),
              S_OK);
    EXPECT_EQ(script->queryInterface(IID_IActiveScriptParse64, parse.putVoid()), S_OK);
    EXPECT_EQ(script->setScriptSite(&site), S_OK);
    EXPECT_EQ(parse->initNew(), S_OK);
    parsed = parse->parseScriptText(text, L"", nullptr, L"", 0, 0, 0, nullptr, nullptr);
    connected = script->setScriptState(ScriptState::kConnected);
  }
  ~Engine() {
    parse.reset();
    script.reset();
    EXPECT_EQ(site.refs, 1u) << "the engine keeps the site after its release";
  }

  // Calls the global `name` as a method; invoke's answer.
  HRESULT Call(const std::wstring& name, Variant* result, ExcepInfo* info = nullptr,
               HRESULT* ids = nullptr) {
    ComPtr<IDispatch> global;
    EXPECT_EQ(script->getScriptDispatch(L"", global.put()), S_OK);
    std::int32_t id = 0;
    const HRESULT found = global->getIDsOfNames(&name, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (ids) *ids = found;
    if (found != S_OK) return found;
    return global->invoke(id, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, DispParams{}, result, info);
  }
};

class ActiveScript : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(coInitialize(), S_OK); }
  void TearDown() override { coUninitialize(); }
  testing::TempMachine machine_;
};

TEST_F(ActiveScript, ClassesFromTheMachineRegistry) {
  IRegistry& registry = machine_->registry();
  const std::wstring other = L"{0A1B2C3D-0000-4000-8000-00AA00BBCC01}";
  ASSERT_EQ(writeValueAt(registry, kHkeyClassesRoot, L"Other.Engine\\CLSID", L"", REG_SZ,
                         regSz(other)), 0);
  ASSERT_EQ(writeValueAt(registry, kHkeyClassesRoot, L"CLSID\\" + other + L"\\InprocServer32",
                         L"", REG_SZ, regSz(L"C:\\Windows\\System32\\other.dll")), 0);
  ASSERT_EQ(writeValueAt(registry, kHkeyClassesRoot, L"NotAGuid\\CLSID", L"", REG_SZ,
                         regSz(L"{F414C260-6AC0-11CF-B6D1-00AA00BBBB5}")), 0);
  ASSERT_EQ(writeValueAt(registry, kHkeyClassesRoot, L"Unserved\\CLSID", L"", REG_SZ,
                         regSz(L"{0A1B2C3D-0000-4000-8000-00AA00BBCC02}")), 0);

  struct Case {
    const wchar_t* progId;
    HRESULT lookup;
    HRESULT creation;  // of the class found, for IActiveScript
  } cases[] = {
      {L"JScript", S_OK, S_OK},
      {L"jscript", S_OK, S_OK},  // registry names ignore case
      {L"JavaScript", S_OK, S_OK},
      {L"Other.Engine", S_OK, HRESULT_BAD_EXE_FORMAT},
      {L"Unserved", S_OK, REGDB_E_CLASSNOTREG},
      {L"VBScript", CO_E_CLASSSTRING, 0},
      {L"NotAGuid", CO_E_CLASSSTRING, 0},
      {L"", CO_E_CLASSSTRING, 0},
      {L"JScript\\CLSID", CO_E_CLASSSTRING, 0},
  };
  for (const Case& c : cases) {
    Guid clsid;
    ASSERT_EQ(clsidFromProgId(*machine_, c.progId, &clsid), c.lookup) << c.progId;
    if (c.lookup != S_OK) continue;
    ComPtr<IActiveScript> engine;
    EXPECT_EQ(coCreateInstance(*machine_, clsid, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                               engine.putVoid()),
              c.creation)
        << c.progId;
    EXPECT_EQ(static_cast<bool>(engine), c.creation == S_OK) << c.progId;
  }
  EXPECT_EQ(guidText(CLSID_JScript), L"{F414C260-6AC0-11CF-B6D1-00AA00BBBB58}");

  // The apartment count, and creation outside it.
  EXPECT_EQ(coInitialize(), S_FALSE);
  coUninitialize();
  coUninitialize();
  void* object = nullptr;
  EXPECT_EQ(coCreateInstance(*machine_, CLSID_JScript, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                             &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(coInitialize(), S_OK);
  EXPECT_EQ(coCreateInstance(*machine_, CLSID_JScript, CLSCTX_INPROC_SERVER, IID_IDispatch,
                             &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ActiveScript, FunctionResultsAsVariants) {
  struct Case {
    const wchar_t* body;
    VarType vt;
    double number;  // boolVal, lVal or dblVal
    const wchar_t* text = L"";
  } cases[] = {
      {L"return true", VT_BOOL, VARIANT_TRUE},
      {L"return false", VT_BOOL, VARIANT_FALSE},
      {L"return 1", VT_I4, 1},
      {L"return -2147483648", VT_I4, -2147483648.0},
      {L"return 2147483648", VT_R8, 2147483648.0},
      {L"return 1.5", VT_R8, 1.5},
      {L"return 'caf\u00e9 \u20ac\u4e2d \U0001F600'", VT_BSTR, 0, L"caf\u00e9 \u20ac\u4e2d \U0001F600"},
      {L"return '\u00e9\u20ac\u4e2d' === '\\u00e9\\u20ac\\u4e2d'", VT_BOOL, VARIANT_TRUE},
      {L"return undefined", VT_EMPTY, 0},
      {L"", VT_EMPTY, 0},
      {L"return null", VT_NULL, 0},
      {L"return {ok: true}", VT_DISPATCH, 0},
      {L"return function () {}", VT_DISPATCH, 0},
  };
  for (const Case& c : cases) {
    Engine engine(*machine_, std::wstring(L"function Check() { ") + c.body + L" }");
    ASSERT_EQ(engine.parsed, S_OK) << c.body;
    ASSERT_EQ(engine.connected, S_OK) << c.body;
    Variant result;
    ASSERT_EQ(engine.Call(L"Check", &result), S_OK) << c.body;
    EXPECT_EQ(result.vt, c.vt) << c.body;
    if (c.vt == VT_BOOL) {
      EXPECT_EQ(result.boolVal, c.number) << c.body;
    }
    if (c.vt == VT_I4) {
      EXPECT_EQ(result.lVal, c.number) << c.body;
    }
    if (c.vt == VT_R8) {
      EXPECT_EQ(result.dblVal, c.number) << c.body;
    }
    if (c.vt == VT_BSTR) {
      EXPECT_EQ(result.bstrVal, c.text) << c.body;
    }
    if (c.vt == VT_DISPATCH) {
      EXPECT_TRUE(result.pdispVal) << c.body;
    }
  }

  // An object result answers for its own members.
  Engine engine(*machine_, L"function Check() { return {ok: true, n: 7}; }");
  Variant object;
  ASSERT_EQ(engine.Call(L"Check", &object), S_OK);
  const std::wstring name = L"ok";
  std::int32_t id = 0;
  ASSERT_EQ(object.pdispVal->getIDsOfNames(&name, 1, LOCALE_SYSTEM_DEFAULT, &id), S_OK);
  Variant member;
  ASSERT_EQ(object.pdispVal->invoke(id, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET,
                                    DispParams{}, &member, nullptr),
            S_OK);
  EXPECT_EQ(member.vt, VT_BOOL);
  // A member that is not a function, called as a method.
  EXPECT_EQ(object.pdispVal->invoke(id, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, DispParams{},
                                    &member, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(ActiveScript, FailuresAtEachStep) {
  struct Case {
    const char* label;
    std::wstring script;
    const wchar_t* function;
    HRESULT parsed, connected, ids, invoked;
    const wchar_t* error;  // part of the site's or the EXCEPINFO's text
  } cases[] = {
      {"throw", L"function Check() { throw new Error('no luck'); }", L"Check", S_OK, S_OK, S_OK,
       DISP_E_EXCEPTION, L"no luck"},
      {"unknown name", L"function Check() { return true; }", L"Nope", S_OK, S_OK,
       DISP_E_UNKNOWNNAME, 0, L""},
      {"case of the name", L"function Check() { return true; }", L"check", S_OK, S_OK,
       DISP_E_UNKNOWNNAME, 0, L""},
      {"not a function", L"var Check = 3;", L"Check", S_OK, S_OK, S_OK, DISP_E_MEMBERNOTFOUND,
       L""},
      {"syntax error", L"function Check() {\n  return (;\n}", L"Check", SCRIPT_E_REPORTED, S_OK,
       DISP_E_UNKNOWNNAME, 0, L"SyntaxError"},
      {"throw at top level", L"function Check() { return true; }\nthrow 'early';", L"Check",
       S_OK, SCRIPT_E_REPORTED, S_OK, S_OK, L"early"},
      {"endless allocation",
       L"function Check() { var a = []; for (;;) a.push(new Uint8Array(1 << 20)); }", L"Check",
       S_OK, S_OK, S_OK, DISP_E_EXCEPTION, L"alloc failed"},
      {"endless small allocations",
       L"function Check() { var a = []; for (var i = 0;; ++i) a.push({i: i, s: 'v' + i}); }",
       L"Check", S_OK, S_OK, S_OK, DISP_E_EXCEPTION, L"alloc failed"},
      {"allocation at top level", L"var a = []; for (;;) a.push(new Uint8Array(1 << 20));",
       L"a", S_OK, SCRIPT_E_REPORTED, S_OK, DISP_E_MEMBERNOTFOUND, L"alloc failed"},
      {"deep recursion", L"function Check() { return 1 + Check(); }", L"Check", S_OK, S_OK, S_OK,
       DISP_E_EXCEPTION, L"RangeError"},
      {"name beyond ASCII", L"function Pr\u00fcfe() { return true; }", L"Pr\u00fcfe", S_OK,
       S_OK, S_OK, S_OK, L""},
  };
  for (const Case& c : cases) {
    Engine engine(*machine_, c.script);
    EXPECT_EQ(engine.parsed, c.parsed) << c.label;
    EXPECT_EQ(engine.connected, c.connected) << c.label;
    Variant result;
    ExcepInfo info;
    HRESULT ids = E_FAIL;
    const HRESULT invoked = engine.Call(c.function, &result, &info, &ids);
    EXPECT_EQ(ids, c.ids) << c.label;
    if (ids == S_OK) {
      EXPECT_EQ(invoked, c.invoked) << c.label;
    }
    const std::wstring told = engine.site.lastError + info.description;
    EXPECT_NE(told.find(c.error), std::wstring::npos) << c.label;
    if (c.parsed != S_OK) {
      EXPECT_EQ(engine.site.lastLine, 1u) << c.label;  // from 0
    }
    // The heap is still usable after any of these.
    EXPECT_EQ(engine.parse->parseScriptText(L"function Next() { return true; }", L"", nullptr,
                                            L"", 0, 0, 0, nullptr, nullptr),
              S_OK)
        << c.label;
    EXPECT_EQ(engine.Call(L"Next", &result), S_OK) << c.label;
    EXPECT_EQ(result.vt, VT_BOOL) << c.label;
  }
}

TEST_F(ActiveScript, EachEngineIsAHeapOfItsOwn) {
  Engine first(*machine_, L"var shared = 1; this.other = 2; function Check() { return 1; }");
  Engine second(*machine_,
                L"function Check() { return typeof shared + typeof other + typeof Check; }");
  Variant result;
  ASSERT_EQ(second.Call(L"Check", &result), S_OK);
  EXPECT_EQ(result.bstrVal, L"undefinedundefinedfunction");
  // The state machine: a second initNew and calls after close are refused.
  EXPECT_EQ(first.parse->initNew(), E_UNEXPECTED);
  EXPECT_EQ(first.script->close(), S_OK);
  ComPtr<IDispatch> global;
  EXPECT_EQ(first.script->getScriptDispatch(L"", global.put()), E_UNEXPECTED);
  EXPECT_EQ(first.parse->parseScriptText(L"1", L"", nullptr, L"", 0, 0, 0, nullptr, nullptr),
            E_UNEXPECTED);
}

}  // namespace
}  // namespace zorel::platform
