#pragma once
// Active Scripting: the interfaces a host uses to run script text in a
// script engine and call one of its functions, and the VARIANT results.
//
// Windows: activscp.h's IActiveScript, IActiveScriptParse (64-bit form),
// IActiveScriptSite, IActiveScriptSiteWindow, IActiveScriptError, and
// oaidl.h's IDispatch, VARIANT, EXCEPINFO; the engines are classes created
// with coCreateInstance (com_class.h).
// Linux emulation: the one engine is JScript (CLSID_JScript), each instance
// a Duktape heap of its own, so nothing one engine defines is seen by
// another. Only what a host needs to run text and call a function is
// offered:
//   - IActiveScript: setScriptSite, setScriptState (STARTED, CONNECTED,
//     CLOSED), getScriptState, getScriptDispatch (the global object; no
//     named items), close.
//   - IActiveScriptParse: initNew (makes the heap; once), parseScriptText.
//     The text is compiled at once: a syntax error is handed to the site's
//     onScriptError and the call answers SCRIPT_E_REPORTED. Text parsed
//     before the engine is started runs, in order, when setScriptState
//     reaches STARTED or CONNECTED; text parsed later runs at once. A throw
//     in that top-level code goes to onScriptError and fails the call that
//     ran it (SCRIPT_E_REPORTED).
//   - IDispatch of an object (the global one or a VT_DISPATCH result):
//     getIDsOfNames (names as the script spells them, case-sensitive; a
//     name the object does not have: DISP_E_UNKNOWNNAME and DISPID_UNKNOWN),
//     invoke with no arguments as DISPATCH_METHOD (a value that is not a
//     function: DISP_E_MEMBERNOTFOUND; a throw: DISP_E_EXCEPTION with the
//     error's text in the EXCEPINFO) or DISPATCH_PROPERTYGET.
//   - Results: a boolean is VT_BOOL (VARIANT_TRUE / VARIANT_FALSE), a
//     number that is a 32-bit integer VT_I4, any other number VT_R8, a
//     string VT_BSTR, undefined VT_EMPTY, null VT_NULL, an object or
//     function VT_DISPATCH.
//   - Each heap's allocations are capped at kScriptHeapLimit bytes. An
//     allocation past the cap is a script error (an Error "alloc failed"
//     the script can catch) that fails the call, never the process; every call into the heap
//     is protected. A script that never returns is not interrupted here (the
//     check script's worker process is ended instead).
//   - Text goes into the heap as CESU-8 and comes out decoded from it, so
//     every character arrives unchanged.

#include <cstdint>
#include <string>
#include <vector>

#include "zorel/platform/com/com_class.h"

namespace zorel::platform {

// {F414C260-6AC0-11CF-B6D1-00AA00BBBB58}
inline constexpr Guid CLSID_JScript{0xF414C260, 0x6AC0, 0x11CF,
                                    {0xB6, 0xD1, 0x00, 0xAA, 0x00, 0xBB, 0xBB, 0x58}};
// {00020400-0000-0000-C000-000000000046}
inline constexpr Guid IID_IDispatch{0x00020400, 0x0000, 0x0000,
                                    {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {BB1A2AE1-A4F9-11CF-8F20-00805F2CD064}
inline constexpr Guid IID_IActiveScript{0xBB1A2AE1, 0xA4F9, 0x11CF,
                                        {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
// {C7EF7658-E1EE-480E-97EA-D52CB4D76D17}
inline constexpr Guid IID_IActiveScriptParse64{0xC7EF7658, 0xE1EE, 0x480E,
                                               {0x97, 0xEA, 0xD5, 0x2C, 0xB4, 0xD7, 0x6D, 0x17}};
// {DB01A1E3-A42B-11CF-8F20-00805F2CD064}
inline constexpr Guid IID_IActiveScriptSite{0xDB01A1E3, 0xA42B, 0x11CF,
                                            {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
// {D10F6761-83E9-11CF-8F20-00805F2CD064}
inline constexpr Guid IID_IActiveScriptSiteWindow{
    0xD10F6761, 0x83E9, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
// {EAE1BA61-A4ED-11CF-8F20-00805F2CD064}
inline constexpr Guid IID_IActiveScriptError{0xEAE1BA61, 0xA4ED, 0x11CF,
                                             {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT SCRIPT_E_REPORTED = static_cast<HRESULT>(0x80020101u);

inline constexpr std::int32_t DISPID_UNKNOWN = -1;
inline constexpr std::uint32_t LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr std::uint16_t DISPATCH_METHOD = 0x1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 0x2;

// The bytes one engine's heap may hold.
inline constexpr std::size_t kScriptHeapLimit = std::size_t{64} << 20;

// A window handle; the desktop window's value is GetDesktopWindow's usual one.
using Hwnd = std::uintptr_t;
inline constexpr Hwnd kDesktopWindow = 0x10010;

enum class ScriptState : std::uint32_t {
  kUninitialized = 0,
  kStarted = 1,
  kConnected = 2,
  kDisconnected = 3,
  kClosed = 4,
  kInitialized = 5,
};

enum VarType : std::uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
};
inline constexpr std::int16_t VARIANT_TRUE = -1;
inline constexpr std::int16_t VARIANT_FALSE = 0;

struct Variant;

// EXCEPINFO of a failed call.
struct ExcepInfo {
  std::wstring source;       // e.g. L"JScript runtime error"
  std::wstring description;  // the error's text as the script shows it
  HRESULT scode = 0;
};

// DISPPARAMS: the positional arguments of invoke.
struct DispParams {
  const std::vector<Variant>* args = nullptr;  // null: none
};

class IDispatch : public IUnknown {
 public:
  // One DISPID per name in *dispIds; RETURNS S_OK or DISP_E_UNKNOWNNAME
  // (the unknown ones DISPID_UNKNOWN).
  virtual HRESULT getIDsOfNames(const std::wstring* names, std::uint32_t count,
                                std::uint32_t lcid, std::int32_t* dispIds) = 0;
  // result and excepInfo may be null.
  virtual HRESULT invoke(std::int32_t dispId, std::uint32_t lcid, std::uint16_t flags,
                         const DispParams& params, Variant* result, ExcepInfo* excepInfo) = 0;

 protected:
  ~IDispatch() = default;
};

// VARIANT. Only the member named by vt means anything.
struct Variant {
  VarType vt = VT_EMPTY;
  std::int16_t boolVal = VARIANT_FALSE;
  std::int32_t lVal = 0;
  double dblVal = 0;
  std::wstring bstrVal;
  ComPtr<IDispatch> pdispVal;
};

class IActiveScriptError : public IUnknown {
 public:
  virtual HRESULT getExceptionInfo(ExcepInfo* info) = 0;
  // line counts from 0 (the text's first line plus the parse call's start
  // line); charPosition from 0, -1 when unknown.
  virtual HRESULT getSourcePosition(std::uint32_t* sourceContext, std::uint32_t* line,
                                    std::int32_t* charPosition) = 0;

 protected:
  ~IActiveScriptError() = default;
};

// The host's site. The engine calls it; the host implements it.
class IActiveScriptSite : public IUnknown {
 public:
  virtual HRESULT getLCID(std::uint32_t* lcid) = 0;
  virtual HRESULT getItemInfo(const std::wstring& name, std::uint32_t returnMask,
                              IUnknown** item) = 0;
  virtual HRESULT getDocVersionString(std::wstring* version) = 0;
  virtual HRESULT onScriptTerminate(const Variant* result, const ExcepInfo* excepInfo) = 0;
  virtual HRESULT onStateChange(ScriptState state) = 0;
  virtual HRESULT onScriptError(IActiveScriptError* error) = 0;
  virtual HRESULT onEnterScript() = 0;
  virtual HRESULT onLeaveScript() = 0;

 protected:
  ~IActiveScriptSite() = default;
};

class IActiveScriptSiteWindow : public IUnknown {
 public:
  virtual HRESULT getWindow(Hwnd* window) = 0;
  virtual HRESULT enableModeless(bool enable) = 0;

 protected:
  ~IActiveScriptSiteWindow() = default;
};

class IActiveScript : public IUnknown {
 public:
  // RETURNS S_OK; E_POINTER; E_UNEXPECTED when a site is already set.
  virtual HRESULT setScriptSite(IActiveScriptSite* site) = 0;
  // RETURNS S_OK; SCRIPT_E_REPORTED when top-level code threw; E_UNEXPECTED
  // before initNew or after close; E_NOTIMPL for the other states.
  virtual HRESULT setScriptState(ScriptState state) = 0;
  virtual HRESULT getScriptState(ScriptState* state) = 0;
  virtual HRESULT close() = 0;
  // itemName empty: the global object. RETURNS S_OK; E_UNEXPECTED before
  // initNew or after close; E_INVALIDARG for a named item.
  virtual HRESULT getScriptDispatch(const std::wstring& itemName, IDispatch** dispatch) = 0;

 protected:
  ~IActiveScript() = default;
};

class IActiveScriptParse : public IUnknown {
 public:
  // RETURNS S_OK; E_UNEXPECTED when called twice; E_OUTOFMEMORY when no
  // heap can be made.
  virtual HRESULT initNew() = 0;
  // itemName, context, delimiter, the cookie and flags are taken as a host
  // passes them and not used; *result is VT_EMPTY. result and excepInfo may
  // be null. RETURNS S_OK; SCRIPT_E_REPORTED
  // (syntax error or, when run at once, a throw); E_UNEXPECTED before
  // initNew or after close.
  virtual HRESULT parseScriptText(const std::wstring& code, const std::wstring& itemName,
                                  IUnknown* context, const std::wstring& delimiter,
                                  std::uint64_t sourceContextCookie, std::uint32_t startingLine,
                                  std::uint32_t flags, Variant* result, ExcepInfo* excepInfo) = 0;

 protected:
  ~IActiveScriptParse() = default;
};

}  // namespace zorel::platform
