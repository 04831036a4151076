#pragma once
// COM classes: the apartment count of a thread, ProgID lookup and in-process
// creation, and the IUnknown every COM object here answers through.
//
// Windows: ole32's CoInitialize, CoUninitialize, CLSIDFromProgID,
// CoCreateInstance.
// Linux emulation:
//   - coInitialize / coUninitialize keep a count per thread: the first
//     coInitialize of a thread answers S_OK, every further one S_FALSE;
//     coUninitialize lowers the count (nothing below 0).
//   - clsidFromProgId reads the default value of HKCR\<ProgID>\CLSID of the
//     machine's registry; a missing key or value, or a text that is not a
//     braced GUID, answers CO_E_CLASSSTRING.
//   - coCreateInstance (in-process servers only) needs
//     HKCR\CLSID\{clsid}\InprocServer32, else REGDB_E_CLASSNOTREG. The
//     class CLSID_JScript is the built-in JScript engine (active_script.h),
//     whose registered server path is never opened; any other registered
//     class has no server this machine can load: 0x800700C1
//     (HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT)).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "zorel/platform/base/guid.h"

namespace zorel::platform {

class IMachine;

using HRESULT = std::int32_t;

inline constexpr bool succeeded(HRESULT hr) { return hr >= 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT HRESULT_BAD_EXE_FORMAT = static_cast<HRESULT>(0x800700C1u);

// CLSCTX values of coCreateInstance.
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 0x1;

bool operator==(const Guid& a, const Guid& b);

// CLSIDFromString's braced form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// hex digits in either case. RETURNS false for anything else.
bool parseGuid(std::wstring_view text, Guid* guid);
// StringFromGUID2's form: braced, upper-case hex.
std::wstring guidText(const Guid& guid);

inline constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// IUnknown. Objects are reference-counted: whoever receives an interface
// pointer owns one reference and gives it back with release().
class IUnknown {
 public:
  // Sets *object (with a reference) to the interface `iid` of this object.
  // RETURNS S_OK; E_NOINTERFACE (object null); E_POINTER.
  virtual HRESULT queryInterface(const Guid& iid, void** object) = 0;
  virtual std::uint32_t addRef() = 0;
  virtual std::uint32_t release() = 0;

 protected:
  ~IUnknown() = default;
};

// Holds one reference of an interface pointer (ATL's CComPtr).
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->addRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Takes over a reference the caller already owns.
  static ComPtr attach(T* p) {
    ComPtr held;
    held.p_ = p;
    return held;
  }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->release();
  }
  // For out-parameters: releases what is held and hands out the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// RETURNS S_OK for the thread's first call, S_FALSE for each further one.
HRESULT coInitialize();
// Undoes one coInitialize of this thread.
void coUninitialize();

// RETURNS S_OK with *clsid set; CO_E_CLASSSTRING (see above).
HRESULT clsidFromProgId(IMachine& machine, std::wstring_view progId, Guid* clsid);

// Creates an object of `clsid` and answers its interface `iid`.
//   [O] object  set (with a reference) on S_OK, else null.
// RETURNS S_OK; CO_E_NOTINITIALIZED when the thread has not called
// coInitialize; REGDB_E_CLASSNOTREG (also for a context without
// CLSCTX_INPROC_SERVER); 0x800700C1; E_NOINTERFACE; E_OUTOFMEMORY.
HRESULT coCreateInstance(IMachine& machine, const Guid& clsid, std::uint32_t clsContext,
                         const Guid& iid, void** object);

}  // namespace zorel::platform
