#pragma once
// The JScript engine's Duktape heap: a capped allocator, protected calls
// and reading values out of the heap.
//
// Duktape reports errors with longjmp. A function run by protectedCall may
// therefore hold no C++ object with a destructor across a heap call that
// can throw, and must catch its own C++ exceptions (protectedCall does).

#include <duktape.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "zorel/platform/com/active_script.h"

namespace zorel::platform::jscript {

// What one heap has allocated and may allocate.
struct HeapBudget {
  std::size_t used = 0;
  std::size_t limit = kScriptHeapLimit;
};

// A heap whose allocations stay within *budget (which must outlive it);
// null when even the heap itself does not fit.
duk_context* createCappedHeap(HeapBudget* budget);

// A failed protected call: the thrown value's text ("TypeError: ...") and
// its line (from 1; 0 when unknown).
struct HeapError {
  std::wstring text;
  std::uint32_t line = 0;
};

namespace detail {
using Work = void (*)(duk_context*, void*);
bool protectedCall(duk_context* ctx, Work work, void* data, HeapError* error);
}  // namespace detail

// Runs work(ctx) protected; the value stack is as before afterwards.
// RETURNS false when it threw (what it threw in *error, may be null) or let
// a C++ exception out.
template <class F>
bool protectedCall(duk_context* ctx, F& work, HeapError* error) {
  return detail::protectedCall(
      ctx, [](duk_context* c, void* data) { (*static_cast<F*>(data))(c); }, &work, error);
}

// The value at the top of the stack, read out (for a VARIANT). Objects are
// kept in the heap's stash under a slot number until dropObject.
struct HeapValue {
  VarType vt = VT_EMPTY;
  bool boolean = false;
  double number = 0;
  std::string text;        // CESU-8, for VT_BSTR
  std::uint32_t slot = 0;  // for VT_DISPATCH
};
// Must run inside protectedCall (it can throw). Uses *nextSlot for an
// object and advances it.
void readTopValue(duk_context* ctx, HeapValue* value, std::uint32_t* nextSlot);

// Pushes the object kept under `slot`, or the global object for slot 0.
// Inside protectedCall.
void pushObject(duk_context* ctx, std::uint32_t slot);
// Forgets the object kept under `slot`.
void dropObject(duk_context* ctx, std::uint32_t slot);

}  // namespace zorel::platform::jscript
