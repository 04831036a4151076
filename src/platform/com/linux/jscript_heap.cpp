// The JScript engine's heap: capped allocator, protected calls, values out.

#include "com/linux/jscript_heap.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "zorel/common/cesu8.h"

namespace zorel::platform::jscript {

namespace {

// Each block starts with its size, so frees and reallocations know what
// they give back. The header keeps the payload aligned as malloc's is.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* Allocate(void* udata, duk_size_t size) {
  auto* budget = static_cast<HeapBudget*>(udata);
  if (size > budget->limit - budget->used) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  budget->used += size;
  return block + kHeader;
}

std::size_t BlockSize(void* ptr) {
  std::size_t size;
  std::memcpy(&size, static_cast<unsigned char*>(ptr) - kHeader, sizeof size);
  return size;
}

void Free(void* udata, void* ptr) {
  if (!ptr) return;
  static_cast<HeapBudget*>(udata)->used -= BlockSize(ptr);
  std::free(static_cast<unsigned char*>(ptr) - kHeader);
}

void* Reallocate(void* udata, void* ptr, duk_size_t size) {
  if (!ptr) return Allocate(udata, size);
  if (size == 0) {
    Free(udata, ptr);
    return nullptr;
  }
  auto* budget = static_cast<HeapBudget*>(udata);
  const std::size_t old = BlockSize(ptr);
  if (size > old && size - old > budget->limit - budget->used) return nullptr;
  auto* block =
      static_cast<unsigned char*>(std::realloc(static_cast<unsigned char*>(ptr) - kHeader,
                                               kHeader + size));
  if (!block) return nullptr;  // the old block stays, as realloc leaves it
  std::memcpy(block, &size, sizeof size);
  budget->used = budget->used - old + size;
  return block + kHeader;
}

// Reached only for an error outside every protected call: a defect of
// this file, never a script's doing. Say so before stopping.
void Fatal(void*, const char* message) {
  std::fprintf(stderr, "JScript engine fatal error: %s\n", message ? message : "(no message)");
  std::fflush(stderr);
  std::abort();
}

struct Call {
  detail::Work work;
  void* data;
  bool cppFailure = false;
};

duk_ret_t RunCall(duk_context* ctx, void* udata) {
  auto* call = static_cast<Call*>(udata);
  try {
    call->work(ctx, call->data);
  } catch (...) {
    call->cppFailure = true;
  }
  return 0;
}

struct ErrorRead {
  const char* text = nullptr;
  duk_size_t length = 0;
  double line = 0;
};

// The error value at the top: its text and lineNumber.
duk_ret_t ReadError(duk_context* ctx, void* udata) {
  auto* read = static_cast<ErrorRead*>(udata);
  if (duk_is_object(ctx, -1)) {
    duk_get_prop_string(ctx, -1, "lineNumber");
    read->line = duk_get_number_default(ctx, -1, 0);
    duk_pop(ctx);
  }
  read->text = duk_safe_to_lstring(ctx, -1, &read->length);
  return 1;  // the text, which must stay on the stack while it is read
}

void FillError(duk_context* ctx, HeapError* error) {
  if (!error) return;
  ErrorRead read;
  // The value to describe is at the top; the call leaves it there.
  duk_dup_top(ctx);
  if (duk_safe_call(ctx, ReadError, &read, 1, 1) == DUK_EXEC_SUCCESS) {
    try {
      error->text = read.text ? Cesu8ToWide(std::string_view(read.text, read.length)) : L"Error";
    } catch (...) {
      error->text.clear();
    }
    duk_pop(ctx);
    error->line =
        read.line >= 1 && read.line < 4294967296.0 ? static_cast<std::uint32_t>(read.line) : 0;
  } else {
    duk_pop(ctx);
    error->text = L"Error";
    error->line = 0;
  }
}

}  // namespace

duk_context* createCappedHeap(HeapBudget* budget) {
  return duk_create_heap(Allocate, Reallocate, Free, budget, Fatal);
}

bool detail::protectedCall(duk_context* ctx, Work work, void* data, HeapError* error) {
  const duk_idx_t top = duk_get_top(ctx);
  Call call{work, data};
  bool ok = duk_safe_call(ctx, RunCall, &call, 0, 1) == DUK_EXEC_SUCCESS;
  if (!ok) FillError(ctx, error);
  if (ok && call.cppFailure) {
    ok = false;
    if (error) *error = HeapError{L"Out of memory", 0};
  }
  duk_set_top(ctx, top);
  return ok;
}

void readTopValue(duk_context* ctx, HeapValue* value, std::uint32_t* nextSlot) {
  switch (duk_get_type(ctx, -1)) {
    case DUK_TYPE_UNDEFINED:
    case DUK_TYPE_NONE:
      value->vt = VT_EMPTY;
      return;
    case DUK_TYPE_NULL:
      value->vt = VT_NULL;
      return;
    case DUK_TYPE_BOOLEAN:
      value->vt = VT_BOOL;
      value->boolean = duk_get_boolean(ctx, -1) != 0;
      return;
    case DUK_TYPE_NUMBER: {
      const double n = duk_get_number(ctx, -1);
      value->number = n;
      const bool negativeZero = n == 0 && std::signbit(n);
      value->vt = n >= -2147483648.0 && n <= 2147483647.0 && std::floor(n) == n && !negativeZero
                      ? VT_I4
                      : VT_R8;
      return;
    }
    case DUK_TYPE_STRING: {
      duk_size_t length = 0;
      const char* text = duk_get_lstring(ctx, -1, &length);
      value->vt = VT_BSTR;
      value->text.assign(text, length);  // a C++ throw here is caught by protectedCall
      return;
    }
    default:
      // Objects and functions; plain buffers, pointers and light functions
      // as their object form.
      duk_to_object(ctx, -1);
      duk_push_global_stash(ctx);
      duk_dup(ctx, -2);
      duk_put_prop_index(ctx, -2, *nextSlot);
      duk_pop(ctx);
      value->vt = VT_DISPATCH;
      value->slot = (*nextSlot)++;
      return;
  }
}

void pushObject(duk_context* ctx, std::uint32_t slot) {
  if (slot == 0) {
    duk_push_global_object(ctx);
    return;
  }
  duk_push_global_stash(ctx);
  duk_get_prop_index(ctx, -1, slot);
  duk_remove(ctx, -2);
}

void dropObject(duk_context* ctx, std::uint32_t slot) {
  auto drop = [slot](duk_context* c) {
    duk_push_global_stash(c);
    duk_del_prop_index(c, -1, slot);
  };
  protectedCall(ctx, drop, nullptr);
}

}  // namespace zorel::platform::jscript
