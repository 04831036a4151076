#pragma once
// JSEngine: one script heap with the native side published into it.
//
// The global scope receives the script functions (IScriptFunctions) and one
// constructor per plug-in component, whose prototype holds one function per
// method. Every construction, property assignment and method call is
// forwarded to the object manager. Text crosses the boundary as UTF-8 (the
// engine's own CESU-8 inside).
//
// Nothing a script does can end the process: every engine call that may
// raise an error runs protected, script errors come back as results or log
// lines, and a fatal engine error is logged before the process stops.

#include <string>

#include <json/value.h>

struct duk_hthread;

namespace zorel {

class IObjectManager;
class IScriptFunctions;

class JSEngine {
 public:
  // Creates the heap and registers the natives. Without an object manager
  // only the script functions are published ("Object Mangager can't be null"
  // is logged). Both pointers must outlive the engine.
  explicit JSEngine(IObjectManager* objects, IScriptFunctions* functions = nullptr);
  ~JSEngine();
  JSEngine(const JSEngine&) = delete;
  JSEngine& operator=(const JSEngine&) = delete;

  // Runs the script's top-level code. False (and the engine's error text in
  // the log) when it does not compile or throws.
  bool ExecuteScript(const std::wstring& script);

  // Calls the function `function` of the object at the dotted `path` with no
  // arguments. A string value holding the JSON text of what it returned (or
  // threw); null when the path or the function is missing.
  Json::Value CallFunction(const std::wstring& path, const std::wstring& function);

  // A string value holding the JSON text of the value at the dotted path;
  // null when the path does not resolve or the value has no JSON form.
  Json::Value GetGlobalAsJson(const std::wstring& path);

 // What the natives of this heap need; defined inside the binding.
  struct Binding;

 private:
  duk_hthread* ctx_ = nullptr;
  Binding* binding_ = nullptr;  // owned; the heap's user data points at it
};

}  // namespace zorel
