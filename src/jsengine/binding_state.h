#pragma once
// What the native functions of one heap need, reached through the heap's
// user data (so each engine carries its own object manager).

#include <duktape.h>

#include "zorel/jsengine/js_engine.h"

namespace zorel {

struct JSEngine::Binding {
  IObjectManager* objects = nullptr;
  IScriptFunctions* functions = nullptr;
};

namespace jsengine {

using BindingState = JSEngine::Binding;

inline BindingState* StateOf(duk_context* ctx) {
  duk_memory_functions funcs;
  duk_get_memory_functions(ctx, &funcs);
  return static_cast<BindingState*>(funcs.udata);
}

// Publishes the script functions and the component constructors into the
// global object of a fresh heap. False when the engine ran out of memory.
bool RegisterNatives(duk_context* ctx, BindingState& state);

}  // namespace jsengine
}  // namespace zorel
