#pragma once
// Registry: the script's registry object. Presence, type and data checks,
// pattern matches over sub-keys and values, key creation, setValue, key and
// value deletion, getValue, and (registry_collect.cpp, registry_import.cpp)
// collection into the result store and .reg imports.
//
// The script-visible surface is kSurface (name, operation type, input-details
// keys in order and what a script author needs, per method); the properties
// each method requires and its log messages are RegistryMethods(). The registry work is RegistryHelper's, made on first use
// over the current machine's registry and kept for the object's lifetime.
// Each method writes one operation record (component "Registry"); the
// plug-in's error code is not a script property.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class PluginCall;
class RegistryHelper;

class Registry;

// The argument checks and messages of one method of Registry::kSurface. Of
// the surface row's input-details keys, "key", "value", "data", "type" and
// "is32bit" are the properties, the others positional arguments.
struct RegistryMethodRow {
  const char* name;
  // Properties that must not be empty ("key", "type", "data").
  std::vector<const wchar_t*> required;
  const wchar_t* argumentMessage;
  const wchar_t* exceptionMessage;
};

// Every method, in registration order.
const std::vector<RegistryMethodRow>& RegistryMethods();
const RegistryMethodRow& RegistryMethod(const char* name);

class Registry : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\Registry";
  // The script-visible surface: component "Registry", its methods and properties.
  static const PluginSurface kSurface;

  explicit Registry(StackFrame& args);
  ~Registry() override;

  // Script-visible properties.
  std::wstring key;
  std::wstring value;
  std::wstring data;
  std::wstring type;
  bool is32bit = false;

  std::unique_ptr<CJSONReturn> isKeyPresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOfDataType(StackFrame& args);
  std::unique_ptr<CJSONReturn> isValuePresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> isDataPresent(StackFrame& args);
  std::unique_ptr<CJSONReturn> createKey(StackFrame& args);
  std::unique_ptr<CJSONReturn> isKeyMatch(StackFrame& args);
  std::unique_ptr<CJSONReturn> isValueMatch(StackFrame& args);
  std::unique_ptr<CJSONReturn> deleteKey(StackFrame& args);
  std::unique_ptr<CJSONReturn> deleteValue(StackFrame& args);
  std::unique_ptr<CJSONReturn> setValue(StackFrame& args);
  std::unique_ptr<CJSONReturn> isDataMatching(StackFrame& args);
  std::unique_ptr<CJSONReturn> getValue(StackFrame& args);
  std::unique_ptr<CJSONReturn> collect(StackFrame& args);
  std::unique_ptr<CJSONReturn> importRegistry(StackFrame& args);
  std::unique_ptr<CJSONReturn> importRegistryAndPermissionSet(StackFrame& args);

  // The helper, made over the current machine's registry on first use.
  // Throws std::runtime_error when there is no machine.
  RegistryHelper& Helper();
  int32_t ErrorCode() const { return errorcode_; }

 private:
  using Work = std::function<std::unique_ptr<CJSONReturn>(RegistryHelper&)>;
  // The common course of a method: record begun, arguments and properties
  // checked (argumentError: 20023 for a wrong argument count, logged with
  // nothing; 87 for a bad one, logged with the method's message), properties
  // copied into the helper, `work` run in a catch-all, inputs recorded from
  // the method's declared (positional values in `positional`), record written.
  std::unique_ptr<CJSONReturn> Run(const char* name,
                                   const std::map<std::wstring, std::wstring>& positional,
                                   int32_t argumentError, const Work& work);
  void CopyInto(RegistryHelper& helper, const PluginMethod& declared);
  std::wstring Input(const wchar_t* name, const std::map<std::wstring, std::wstring>& positional) const;

  std::unique_ptr<RegistryHelper> helper_;
  int32_t errorcode_ = 0;
};

// The factory's creation function for "Registry".
std::unique_ptr<CMethodDispatcher> CreateRegistryPlugin(StackFrame& args);

}  // namespace zorel
