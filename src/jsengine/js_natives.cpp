// The native functions the script calls: the script functions (report), the
// component constructors and the plug-in methods, and their registration.
//
// Shape of every native: the engine's errors unwind with longjmp, which must
// never cross a C++ frame that owns objects. So each native reads what it
// needs from the engine inside duk_safe_call into a plain record, does the
// C++ work (which catches everything), pushes its result inside another
// duk_safe_call, and only after every C++ object is gone rethrows an engine
// error, if there was one, from the thin C entry point. Errors the script
// causes (a throwing getter or toJSON, a cyclic or too deeply nested
// argument) reach the script as the exception it caused.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "binding_state.h"
#include "zorel/common/cesu8.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/object_manager.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/jsengine/script_functions.h"
#include "zorel/log/framework_log.h"

namespace zorel::jsengine {

namespace {

enum class NativeKind { Report, Constructor, Method };

struct Argument {
  std::string text;     // CESU-8, as the engine gave it
  bool encoded = false; // the value was an object and this is its JSON
};

// Everything a native reads from the engine, filled inside a safe call.
struct Gathered {
  NativeKind kind;
  std::vector<Argument> args;
  bool hasFunctionName = false;
  std::string functionName;
  bool hasThis = false;          // `this` is an object-coercible value
  bool hasObjectName = false;
  bool hasComponentName = false;
  std::string objectOrComponent;  // Object_Name (method) / Component_Name (constructor)
  bool constructorCall = false;
  std::vector<std::pair<std::string, std::string>> properties;
  bool outOfMemory = false;
};

std::string TextOf(duk_context* ctx, duk_idx_t index) {
  duk_size_t length = 0;
  const char* text = duk_safe_to_lstring(ctx, index, &length);
  return std::string(text, length);
}

// Runs inside duk_safe_call with all of the native's arguments. Holds no
// C++ object of its own across an engine call.
duk_ret_t GatherSafe(duk_context* ctx, void* udata) {
  Gathered& g = *static_cast<Gathered*>(udata);
  try {
    duk_idx_t count = duk_get_top(ctx);
    g.args.resize(static_cast<size_t>(count));
    for (duk_idx_t i = 0; i < count; ++i) {
      bool isObject = duk_get_type(ctx, i) == DUK_TYPE_OBJECT;
      if (g.kind == NativeKind::Constructor || isObject) {
        duk_json_encode(ctx, i);  // may throw: cycles, toJSON, getters, depth
        g.args[static_cast<size_t>(i)].encoded = true;
      }
      g.args[static_cast<size_t>(i)].text = TextOf(ctx, i);
    }

    duk_push_current_function(ctx);
    if (duk_get_prop_string(ctx, -1, "Function_Name")) {
      g.hasFunctionName = true;
      g.functionName = TextOf(ctx, -1);
    }
    duk_pop_2(ctx);
    if (g.kind == NativeKind::Report) return 0;

    if (g.kind == NativeKind::Constructor) {
      g.constructorCall = duk_is_constructor_call(ctx) != 0;
      if (!g.constructorCall) return 0;
    }
    duk_push_this(ctx);
    duk_idx_t self = duk_get_top_index(ctx);
    if (duk_is_null_or_undefined(ctx, self)) return 0;
    g.hasThis = true;
    const char* key = g.kind == NativeKind::Constructor ? "Component_Name" : "Object_Name";
    if (duk_get_prop_string(ctx, self, key)) {
      (g.kind == NativeKind::Constructor ? g.hasComponentName : g.hasObjectName) = true;
      g.objectOrComponent = TextOf(ctx, -1);
    }
    duk_pop(ctx);
    if (g.kind == NativeKind::Method && g.hasObjectName && g.hasFunctionName) {
      // Properties the script assigned to the instance reach the plug-in
      // before every call.
      duk_enum(ctx, self, DUK_ENUM_OWN_PROPERTIES_ONLY);
      while (duk_next(ctx, -1, 1)) {
        std::string k = TextOf(ctx, -2);
        std::string v = TextOf(ctx, -1);
        g.properties.emplace_back(std::move(k), std::move(v));
        duk_pop_2(ctx);
      }
      duk_pop(ctx);
    }
  } catch (...) {
    g.outOfMemory = true;  // a C++ allocation failed; nothing else throws here
  }
  return 0;
}

struct PushRequest {
  enum { kString, kThisWithName, kCurrentFunction } what;
  const std::string* text;  // kString: the value; kThisWithName: Object_Name
};

duk_ret_t PushSafe(duk_context* ctx, void* udata) {
  const PushRequest& request = *static_cast<PushRequest*>(udata);
  switch (request.what) {
    case PushRequest::kString:
      duk_push_lstring(ctx, request.text->data(), request.text->size());
      break;
    case PushRequest::kThisWithName:
      duk_push_this(ctx);
      duk_push_lstring(ctx, request.text->data(), request.text->size());
      duk_put_prop_string(ctx, -2, "Object_Name");
      break;
    case PushRequest::kCurrentFunction:
      duk_push_current_function(ctx);
      break;
  }
  return 1;
}

// How the C entry point finishes.
enum class Outcome { kNoValue, kOneValue, kRethrow, kFail };

constexpr size_t kMessageSize = 160;

Outcome Fail(const char* what, char* message) {
  std::snprintf(message, kMessageSize, "%s", what);
  return Outcome::kFail;
}

Outcome NativeBody(duk_context* ctx, NativeKind kind, char* message) {
  BindingState* state = StateOf(ctx);
  Gathered g;
  g.kind = kind;
  // One result slot: on failure it holds the error value to rethrow.
  if (duk_safe_call(ctx, GatherSafe, &g, duk_get_top(ctx), 1) != DUK_EXEC_SUCCESS)
    return Outcome::kRethrow;
  duk_pop(ctx);
  if (g.outOfMemory) return Fail("out of memory while reading the arguments", message);

  PushRequest push{PushRequest::kString, nullptr};
  std::string result;
  try {
    StackFrame frame;
    for (const Argument& arg : g.args) {
      if (kind == NativeKind::Constructor) {
        frame.AddNamedArguments(Cesu8ToUtf8(arg.text));
      } else if (arg.encoded) {
        frame.PushJson(Cesu8ToWide(arg.text));
      } else if (kind == NativeKind::Report) {
        frame.PushTextOrJson(Cesu8ToWide(arg.text));
      } else {
        frame.Push(Cesu8ToWide(arg.text));
      }
    }
    switch (kind) {
      case NativeKind::Report: {
        if (!g.hasFunctionName || frame.Count() < 1 || !state->functions)
          return Outcome::kNoValue;
        if (!state->functions->Invoke(Cesu8ToWide(g.functionName), frame.TextAt(0)))
          return Outcome::kNoValue;
        push.what = PushRequest::kCurrentFunction;
        break;
      }
      case NativeKind::Constructor: {
        if (!g.constructorCall || !g.hasThis || !g.hasComponentName || !state->objects)
          return Outcome::kNoValue;
        result = Utf8ToCesu8(
            state->objects->CreateObject(Cesu8ToUtf8(g.objectOrComponent), frame));
        push = {PushRequest::kThisWithName, &result};
        break;
      }
      case NativeKind::Method: {
        if (!g.hasThis || !g.hasObjectName || !g.hasFunctionName || !state->objects)
          return Outcome::kNoValue;
        std::string instance = Cesu8ToUtf8(g.objectOrComponent);
        for (const auto& [key, value] : g.properties)
          state->objects->SetProperty(instance, Cesu8ToUtf8(key), Cesu8ToWide(value));
        if (instance.empty() && g.functionName.empty()) return Outcome::kNoValue;
        result = Utf8ToCesu8(
            state->objects->InvokeMethod(instance, Cesu8ToUtf8(g.functionName), frame));
        push = {PushRequest::kString, &result};
        break;
      }
    }
  } catch (const std::exception& e) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured in a native call of the script: %s",
                                   fromUtf8(e.what()).c_str());
    return Fail("native call failed", message);
  } catch (...) {
    return Fail("native call failed", message);
  }
  if (duk_safe_call(ctx, PushSafe, &push, 0, 1) != DUK_EXEC_SUCCESS) return Outcome::kRethrow;
  return Outcome::kOneValue;
}

duk_ret_t Finish(duk_context* ctx, Outcome outcome, const char* message) {
  switch (outcome) {
    case Outcome::kNoValue: return 0;
    case Outcome::kOneValue: return 1;
    case Outcome::kRethrow: return duk_throw(ctx);
    case Outcome::kFail: break;
  }
  return duk_error(ctx, DUK_ERR_ERROR, "%s", message);
}

template <NativeKind kind>
duk_ret_t Native(duk_context* ctx) {
  char message[kMessageSize] = {0};
  Outcome outcome = NativeBody(ctx, kind, message);  // every C++ object is gone after this
  return Finish(ctx, outcome, message);
}

// The names to publish, converted before entering the engine.
struct Registration {
  std::vector<std::string> functions;
  struct Component {
    std::string name;
    std::vector<std::string> methods;
  };
  std::vector<Component> components;
};

duk_ret_t RegisterSafe(duk_context* ctx, void* udata) {
  const Registration& r = *static_cast<Registration*>(udata);
  duk_push_global_object(ctx);
  duk_idx_t global = duk_get_top_index(ctx);
  for (const std::string& name : r.functions) {
    duk_push_c_function(ctx, Native<NativeKind::Report>, DUK_VARARGS);
    duk_push_string(ctx, name.c_str());
    duk_put_prop_string(ctx, -2, "Function_Name");
    duk_put_prop_string(ctx, global, name.c_str());
  }
  for (const auto& component : r.components) {
    duk_push_c_function(ctx, Native<NativeKind::Constructor>, DUK_VARARGS);
    duk_push_object(ctx);  // the prototype
    for (const std::string& method : component.methods) {
      duk_push_c_function(ctx, Native<NativeKind::Method>, DUK_VARARGS);
      duk_push_string(ctx, method.c_str());
      duk_put_prop_string(ctx, -2, "Function_Name");
      duk_put_prop_string(ctx, -2, method.c_str());
    }
    duk_push_string(ctx, component.name.c_str());
    duk_put_prop_string(ctx, -2, "Component_Name");
    duk_put_prop_string(ctx, -2, "prototype");
    duk_put_prop_string(ctx, global, component.name.c_str());
  }
  duk_pop(ctx);
  return 0;
}

}  // namespace

bool RegisterNatives(duk_context* ctx, BindingState& state) {
  Registration r;
  if (state.functions) {
    std::vector<std::wstring> names = state.functions->GetFunctionNames();
    std::sort(names.begin(), names.end());
    for (const auto& name : names) r.functions.push_back(WideToCesu8(name));
  }
  bool publishComponents = state.objects != nullptr;
  if (publishComponents) {
    for (const std::string& component : state.objects->GetComponentNames()) {
      Registration::Component entry{Utf8ToCesu8(component), {}};
      for (const std::string& method : state.objects->GetMethodNames(component))
        entry.methods.push_back(Utf8ToCesu8(method));
      r.components.push_back(std::move(entry));
    }
  }
  bool ok = duk_safe_call(ctx, RegisterSafe, &r, 0, 1) == DUK_EXEC_SUCCESS;
  duk_pop(ctx);
  if (!publishComponents)
    FrameworkLog::Instance().Write(LogLevel::Error, L"Object Mangager can't be null");
  return ok;
}

}  // namespace zorel::jsengine
