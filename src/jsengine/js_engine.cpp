// JSEngine: heap lifetime, running the script, calling a stage function and
// reading a global as JSON.

#include "zorel/jsengine/js_engine.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "binding_state.h"
#include "zorel/common/cesu8.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace {

// The engine calls this only for an error nothing can catch, after which the
// heap is unusable. Every call the binding makes is protected, so reaching
// it is a defect; it is logged and printed before the process stops, never
// an abort without a word.
void FatalHandler(void*, const char* message) {
  std::wstring text = fromUtf8(message ? message : "(no message)");
  FrameworkLog::Instance().Write(LogLevel::Error,
                                 L"Exception occured in the script engine, fatal error: %s",
                                 text.c_str());
  std::fprintf(stderr, "script engine fatal error: %s\n", message ? message : "(no message)");
  std::fflush(stderr);
  std::abort();
}

// The pieces of a dotted path, as strtok gives them (empty pieces skipped).
std::vector<std::string> SplitPath(const std::wstring& path) {
  std::vector<std::string> pieces;
  std::string narrow = WideToCesu8(path);
  size_t start = 0;
  while (start <= narrow.size()) {
    size_t dot = narrow.find('.', start);
    if (dot == std::string::npos) dot = narrow.size();
    if (dot > start) pieces.push_back(narrow.substr(start, dot - start));
    start = dot + 1;
  }
  return pieces;
}

struct Lookup {
  std::vector<std::string> pieces;
  bool call = false;
  std::string function;
  // results
  bool missing = false;      // a path piece was not there
  std::string missingText;   // the engine's text of the value found instead
  bool found = false;        // `json` holds the encoded value
  std::string json;
  bool outOfMemory = false;
};

duk_ret_t LookupSafe(duk_context* ctx, void* udata) {
  Lookup& l = *static_cast<Lookup*>(udata);
  try {
    duk_push_global_object(ctx);
    for (const std::string& piece : l.pieces) {
      if (!duk_get_prop_string(ctx, -1, piece.c_str())) {
        duk_size_t length = 0;
        const char* text = duk_safe_to_lstring(ctx, -1, &length);
        l.missing = true;
        l.missingText.assign(text, length);
        return 0;
      }
    }
    if (l.call) {
      if (!duk_get_prop_string(ctx, -1, l.function.c_str())) return 0;
      duk_pcall(ctx, 0);  // a throw leaves the error value, encoded like a result
    }
    duk_json_encode(ctx, -1);
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx, -1, &length);
    l.json.assign(text, length);
    l.found = true;
  } catch (...) {
    l.outOfMemory = true;
  }
  return 0;
}

}  // namespace

JSEngine::JSEngine(IObjectManager* objects, IScriptFunctions* functions)
    : binding_(new Binding{objects, functions}) {
  ctx_ = duk_create_heap(nullptr, nullptr, nullptr, binding_, FatalHandler);
  if (!ctx_) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to create the script engine heap");
    return;
  }
  if (!jsengine::RegisterNatives(ctx_, *binding_))
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to register the native functions of the script");
}

JSEngine::~JSEngine() {
  if (ctx_) duk_destroy_heap(ctx_);
  delete binding_;
}

bool JSEngine::ExecuteScript(const std::wstring& script) {
  if (!ctx_) return false;
  // The lexer reads UTF-8 source and turns characters beyond the BMP into
  // surrogate pairs itself.
  std::string source = toUtf8(script);
  duk_idx_t top = duk_get_top(ctx_);
  duk_push_string(ctx_, "jsengine\\JSEngine");  // the file name in error traces
  duk_int_t rc = duk_eval_raw(ctx_, source.data(), source.size(),
                              1 /* the file name on the stack */ | DUK_COMPILE_EVAL |
                                  DUK_COMPILE_SAFE | DUK_COMPILE_NOSOURCE);
  bool ok = rc == 0;
  if (!ok) {
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx_, -1, &length);
    std::wstring error = Cesu8ToWide(std::string_view(text, length));
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to execute the script, ErrorString: %s", error.c_str());
  }
  duk_set_top(ctx_, top);
  return ok;
}

namespace {

Json::Value RunLookup(duk_context* ctx, Lookup& lookup, const std::wstring& path) {
  if (!ctx) return Json::Value();
  duk_idx_t top = duk_get_top(ctx);
  duk_int_t rc = duk_safe_call(ctx, LookupSafe, &lookup, 0, 1);
  Json::Value result;
  if (rc != DUK_EXEC_SUCCESS) {
    // A value on the path that cannot have properties (null) or a throwing
    // getter; or a value without JSON form (cyclic, throwing toJSON).
    duk_size_t length = 0;
    const char* text = duk_safe_to_lstring(ctx, -1, &length);
    std::wstring error = Cesu8ToWide(std::string_view(text, length));
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to read %s from the script: %s",
                                   path.c_str(), error.c_str());
  } else if (lookup.missing) {
    std::wstring text = Cesu8ToWide(lookup.missingText);
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s", text.c_str());
  } else if (lookup.found) {
    result = Json::Value(Cesu8ToUtf8(lookup.json));
  }
  duk_set_top(ctx, top);
  return result;
}

}  // namespace

Json::Value JSEngine::CallFunction(const std::wstring& path, const std::wstring& function) {
  Lookup lookup;
  lookup.pieces = SplitPath(path);
  lookup.call = true;
  lookup.function = WideToCesu8(function);
  return RunLookup(ctx_, lookup, path);
}

Json::Value JSEngine::GetGlobalAsJson(const std::wstring& path) {
  Lookup lookup;
  lookup.pieces = SplitPath(path);
  return RunLookup(ctx_, lookup, path);
}

}  // namespace zorel
