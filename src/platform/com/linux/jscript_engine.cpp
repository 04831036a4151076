// The JScript engine: IActiveScript and IActiveScriptParse over one capped
// Duktape heap, and IDispatch over the heap's objects (see active_script.h).

#include "com/linux/jscript_engine.h"

#include <atomic>
#include <new>
#include <string>
#include <vector>

#include "com/linux/jscript_heap.h"
#include "zorel/common/cesu8.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/com/active_script.h"

namespace zorel::platform {

namespace {

using jscript::HeapError;
using jscript::HeapValue;

// The JScript error numbers the EXCEPINFO carries: "Syntax error" (1002)
// and "Exception thrown and not caught" (5022).
constexpr HRESULT kSyntaxError = static_cast<HRESULT>(0x800A03EAu);
constexpr HRESULT kUncaughtException = static_cast<HRESULT>(0x800A139Eu);
constexpr wchar_t kCompilationError[] = L"JScript compilation error";
constexpr wchar_t kRuntimeError[] = L"JScript runtime error";

// The reference count every object here keeps.
class RefCount {
 public:
  std::uint32_t add() { return ++count_; }
  std::uint32_t drop() { return --count_; }

 private:
  std::atomic<std::uint32_t> count_{1};
};

// A script error as the site's onScriptError receives it.
class ScriptError final : public IActiveScriptError {
 public:
  ScriptError(ExcepInfo info, std::uint32_t line) : info_(std::move(info)), line_(line) {}

  HRESULT queryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown) && !(iid == IID_IActiveScriptError)) return E_NOINTERFACE;
    addRef();
    *object = static_cast<IActiveScriptError*>(this);
    return S_OK;
  }
  std::uint32_t addRef() override { return refs_.add(); }
  std::uint32_t release() override {
    const std::uint32_t left = refs_.drop();
    if (left == 0) delete this;
    return left;
  }
  HRESULT getExceptionInfo(ExcepInfo* info) override {
    if (!info) return E_POINTER;
    *info = info_;
    return S_OK;
  }
  HRESULT getSourcePosition(std::uint32_t* sourceContext, std::uint32_t* line,
                            std::int32_t* charPosition) override {
    if (sourceContext) *sourceContext = 0;
    if (line) *line = line_;
    if (charPosition) *charPosition = -1;
    return S_OK;
  }

 private:
  RefCount refs_;
  ExcepInfo info_;
  std::uint32_t line_;
};

class JScriptEngine;

// IDispatch of one heap object: slot 0 the global object, else an object
// the engine keeps for it. DISPIDs count from 1 over the names asked for.
class ScriptObject final : public IDispatch {
 public:
  ScriptObject(JScriptEngine* engine, std::uint32_t slot);

  HRESULT queryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown) && !(iid == IID_IDispatch)) return E_NOINTERFACE;
    addRef();
    *object = static_cast<IDispatch*>(this);
    return S_OK;
  }
  std::uint32_t addRef() override { return refs_.add(); }
  std::uint32_t release() override {
    const std::uint32_t left = refs_.drop();
    if (left == 0) delete this;
    return left;
  }
  HRESULT getIDsOfNames(const std::wstring* names, std::uint32_t count, std::uint32_t lcid,
                        std::int32_t* dispIds) override;
  HRESULT invoke(std::int32_t dispId, std::uint32_t lcid, std::uint16_t flags,
                 const DispParams& params, Variant* result, ExcepInfo* excepInfo) override;

 private:
  ~ScriptObject();

  RefCount refs_;
  JScriptEngine* engine_;  // one reference held
  std::uint32_t slot_;
  std::vector<std::string> names_;  // CESU-8; DISPID n is names_[n - 1]
};

class JScriptEngine final : public IActiveScript, public IActiveScriptParse {
 public:
  HRESULT queryInterface(const Guid& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IActiveScript) {
      *object = static_cast<IActiveScript*>(this);
    } else if (iid == IID_IActiveScriptParse64) {
      *object = static_cast<IActiveScriptParse*>(this);
    } else {
      return E_NOINTERFACE;
    }
    addRef();
    return S_OK;
  }
  std::uint32_t addRef() override { return refs_.add(); }
  std::uint32_t release() override {
    const std::uint32_t left = refs_.drop();
    if (left == 0) delete this;
    return left;
  }

  // IActiveScript
  HRESULT setScriptSite(IActiveScriptSite* site) override {
    if (!site) return E_POINTER;
    if (site_ || state_ == ScriptState::kClosed) return E_UNEXPECTED;
    site->addRef();
    site_ = ComPtr<IActiveScriptSite>::attach(site);
    return S_OK;
  }
  HRESULT setScriptState(ScriptState state) override {
    switch (state) {
      case ScriptState::kStarted:
      case ScriptState::kConnected: {
        if (!ctx_ || !site_) return E_UNEXPECTED;
        const HRESULT ran = RunPending();
        ChangeState(state);
        return ran;
      }
      case ScriptState::kClosed:
        return close();
      default:
        return state == state_ ? S_OK : E_NOTIMPL;
    }
  }
  HRESULT getScriptState(ScriptState* state) override {
    if (!state) return E_POINTER;
    *state = state_;
    return S_OK;
  }
  HRESULT close() override {
    if (ctx_) duk_destroy_heap(ctx_);
    ctx_ = nullptr;
    pending_.clear();
    ChangeState(ScriptState::kClosed);
    site_.reset();
    return S_OK;
  }
  HRESULT getScriptDispatch(const std::wstring& itemName, IDispatch** dispatch) override {
    if (!dispatch) return E_POINTER;
    *dispatch = nullptr;
    if (!ctx_) return E_UNEXPECTED;
    if (!itemName.empty()) return E_INVALIDARG;
    *dispatch = new (std::nothrow) ScriptObject(this, 0);
    return *dispatch ? S_OK : E_OUTOFMEMORY;
  }

  // IActiveScriptParse
  HRESULT initNew() override {
    if (ctx_ || state_ != ScriptState::kUninitialized) return E_UNEXPECTED;
    ctx_ = jscript::createCappedHeap(&budget_);
    if (!ctx_) return E_OUTOFMEMORY;
    ChangeState(ScriptState::kInitialized);
    return S_OK;
  }
  HRESULT parseScriptText(const std::wstring& code, const std::wstring&, IUnknown*,
                          const std::wstring&, std::uint64_t, std::uint32_t startingLine,
                          std::uint32_t, Variant* result, ExcepInfo* excepInfo) override {
    if (result) *result = Variant();
    if (!ctx_) return E_UNEXPECTED;
    // The lexer reads UTF-8 and makes surrogate pairs of characters beyond
    // the Basic Multilingual Plane itself.
    const std::string source = toUtf8(code);
    const std::uint32_t slot = nextSlot_++;
    auto compile = [&source, slot](duk_context* c) {
      duk_push_lstring(c, source.data(), source.size());
      duk_push_string(c, "JScript");
      duk_compile(c, 0);
      duk_push_global_stash(c);
      duk_dup(c, -2);
      duk_put_prop_index(c, -2, slot);
    };
    HeapError error;
    if (!jscript::protectedCall(ctx_, compile, &error)) {
      error.line += startingLine;
      Report(kSyntaxError, kCompilationError, error, excepInfo);
      return SCRIPT_E_REPORTED;
    }
    pending_.push_back(slot);
    if (state_ == ScriptState::kStarted || state_ == ScriptState::kConnected) return RunPending();
    return S_OK;
  }

  // For ScriptObject.
  duk_context* heap() const { return ctx_; }
  std::uint32_t* nextSlot() { return &nextSlot_; }
  void Enter() {
    if (site_) site_->onEnterScript();
  }
  void Leave() {
    if (site_) site_->onLeaveScript();
  }
  // A value read out of the heap as a VARIANT (an object's slot handed to
  // a new ScriptObject, or given back when there is nowhere to put it).
  HRESULT ToVariant(const HeapValue& value, Variant* out) {
    if (!out) {
      if (value.vt == VT_DISPATCH) jscript::dropObject(ctx_, value.slot);
      return S_OK;
    }
    *out = Variant();
    out->vt = value.vt;
    switch (value.vt) {
      case VT_BOOL:
        out->boolVal = value.boolean ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case VT_I4:
        out->lVal = static_cast<std::int32_t>(value.number);
        break;
      case VT_R8:
        out->dblVal = value.number;
        break;
      case VT_BSTR:
        out->bstrVal = Cesu8ToWide(value.text);
        break;
      case VT_DISPATCH:
        if (auto* object = new (std::nothrow) ScriptObject(this, value.slot)) {
          out->pdispVal = ComPtr<IDispatch>::attach(object);
        } else {
          jscript::dropObject(ctx_, value.slot);
          *out = Variant();
          return E_OUTOFMEMORY;
        }
        break;
      default:
        break;
    }
    return S_OK;
  }

 private:
  ~JScriptEngine() {
    if (ctx_) duk_destroy_heap(ctx_);
  }

  void ChangeState(ScriptState state) {
    state_ = state;
    if (site_) site_->onStateChange(state);
  }

  // Hands a script error to the site (and to excepInfo when given).
  void Report(HRESULT scode, const wchar_t* source, const HeapError& error,
              ExcepInfo* excepInfo) {
    ExcepInfo info{source, error.text, scode};
    if (excepInfo) *excepInfo = info;
    if (!site_) return;
    const std::uint32_t line = error.line > 0 ? error.line - 1 : 0;
    if (auto* reported = new (std::nothrow) ScriptError(std::move(info), line)) {
      site_->onScriptError(reported);
      reported->release();
    }
  }

  // Runs the top-level code parsed so far, in order; the first throw stops
  // the rest.
  HRESULT RunPending() {
    std::vector<std::uint32_t> slots;
    slots.swap(pending_);
    HRESULT outcome = S_OK;
    for (std::uint32_t slot : slots) {
      if (outcome != S_OK) {
        jscript::dropObject(ctx_, slot);
        continue;
      }
      auto run = [slot](duk_context* c) {
        jscript::pushObject(c, slot);
        duk_call(c, 0);
      };
      HeapError error;
      Enter();
      const bool ok = jscript::protectedCall(ctx_, run, &error);
      Leave();
      jscript::dropObject(ctx_, slot);
      if (!ok) {
        Report(kUncaughtException, kRuntimeError, error, nullptr);
        outcome = SCRIPT_E_REPORTED;
      }
    }
    return outcome;
  }

  RefCount refs_;
  ScriptState state_ = ScriptState::kUninitialized;
  ComPtr<IActiveScriptSite> site_;
  jscript::HeapBudget budget_;
  duk_context* ctx_ = nullptr;
  std::vector<std::uint32_t> pending_;  // compiled top-level code not yet run
  std::uint32_t nextSlot_ = 1;
};

ScriptObject::ScriptObject(JScriptEngine* engine, std::uint32_t slot)
    : engine_(engine), slot_(slot) {
  engine_->addRef();
}

ScriptObject::~ScriptObject() {
  if (slot_ != 0 && engine_->heap()) jscript::dropObject(engine_->heap(), slot_);
  engine_->release();
}

HRESULT ScriptObject::getIDsOfNames(const std::wstring* names, std::uint32_t count,
                                    std::uint32_t, std::int32_t* dispIds) {
  if ((!names || !dispIds) && count > 0) return E_POINTER;
  duk_context* ctx = engine_->heap();
  if (!ctx) return E_UNEXPECTED;
  HRESULT outcome = S_OK;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name = WideToCesu8(names[i]);
    bool present = false;
    auto probe = [&](duk_context* c) {
      jscript::pushObject(c, slot_);
      present = duk_has_prop_lstring(c, -1, name.data(), name.size()) != 0;
    };
    if (!jscript::protectedCall(ctx, probe, nullptr) || !present) {
      dispIds[i] = DISPID_UNKNOWN;
      outcome = DISP_E_UNKNOWNNAME;
      continue;
    }
    std::size_t at = 0;
    while (at < names_.size() && names_[at] != name) ++at;
    if (at == names_.size()) names_.push_back(name);
    dispIds[i] = static_cast<std::int32_t>(at + 1);
  }
  return outcome;
}

HRESULT ScriptObject::invoke(std::int32_t dispId, std::uint32_t, std::uint16_t flags,
                             const DispParams& params, Variant* result, ExcepInfo* excepInfo) {
  if (result) *result = Variant();
  duk_context* ctx = engine_->heap();
  if (!ctx) return E_UNEXPECTED;
  if (dispId < 1 || static_cast<std::size_t>(dispId) > names_.size())
    return DISP_E_MEMBERNOTFOUND;
  if (params.args && !params.args->empty()) return DISP_E_BADPARAMCOUNT;
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return E_INVALIDARG;
  const std::string& name = names_[static_cast<std::size_t>(dispId) - 1];
  const std::uint32_t slot = slot_;
  std::uint32_t* nextSlot = engine_->nextSlot();
  HeapValue value;
  bool notFunction = false;
  auto call = [&](duk_context* c) {
    jscript::pushObject(c, slot);
    duk_get_prop_lstring(c, -1, name.data(), name.size());
    if ((flags & DISPATCH_METHOD) && duk_is_callable(c, -1)) {
      duk_dup(c, -2);  // `this` is the object the name was found on
      duk_call_method(c, 0);
    } else if (!(flags & DISPATCH_PROPERTYGET)) {
      notFunction = true;
      return;
    }
    jscript::readTopValue(c, &value, nextSlot);
  };
  HeapError error;
  engine_->Enter();
  const bool ok = jscript::protectedCall(ctx, call, &error);
  engine_->Leave();
  if (!ok) {
    if (excepInfo) *excepInfo = ExcepInfo{kRuntimeError, error.text, kUncaughtException};
    return DISP_E_EXCEPTION;
  }
  if (notFunction) return DISP_E_MEMBERNOTFOUND;
  return engine_->ToVariant(value, result);
}

}  // namespace

HRESULT createJScriptEngine(const Guid& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* engine = new (std::nothrow) JScriptEngine();
  if (!engine) return E_OUTOFMEMORY;
  const HRESULT answered = engine->queryInterface(iid, object);
  engine->release();
  return answered;
}

}  // namespace zorel::platform
