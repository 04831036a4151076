// Registry: the method table, registration, the common course of a method
// and the methods that hand their work to RegistryHelper.

#include "zorel/plugins/registry/registry.h"

#include <stdexcept>

#include "zorel/platform/machine/machine.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/registry/registry_helper.h"

namespace zorel {

namespace pe = plugin_error;

const std::vector<RegistryMethodRow>& RegistryMethods() {
  static const std::vector<RegistryMethodRow> methods = {
      {"isKeyPresent", 0, &Registry::isKeyPresent, {L"key", L"is32bit"}, {L"key"},
       L"Invalid params passed in verifying keypresence",
       L"Exception occured in verifying keypresence"},
      {"isOfDataType", 0, &Registry::isOfDataType, {L"key", L"value", L"is32bit", L"type"},
       {L"key", L"type"}, L"Invalid params passed for verfing registry data type",
       L"Exception occured in verifying datatype of registry"},
      {"isValuePresent", 0, &Registry::isValuePresent, {L"key", L"value", L"is32bit"}, {L"key"},
       L"Invalid params passed for verifying registry value presence",
       L"Exception occured in registry value presence"},
      {"isDataPresent", 0, &Registry::isDataPresent, {L"key", L"value", L"is32bit"}, {L"key"},
       L"Invalid params passed for registry data presence",
       L"Exception occured in verfiying registry data presence"},
      {"createKey", 1, &Registry::createKey, {L"key", L"is32bit"}, {L"key"},
       L"Invalid params passed for creating key", L"Exception occured in creating key"},
      {"isKeyMatch", 0, &Registry::isKeyMatch, {L"key", L"is32bit", L"InKey", L"bisRecursive"},
       {L"key"}, L"Invalid params passed in registry key comparision",
       L"Exception occured in registry key comparision"},
      {"isValueMatch", 0, &Registry::isValueMatch,
       {L"key", L"InValue", L"bisRecursive", L"is32bit"}, {L"key"},
       L"Invalid params passed for registry value comparision",
       L"Exception occured in registry value comparision"},
      {"deleteKey", 1, &Registry::deleteKey, {L"key", L"is32bit", L"isRecursive", L"InKey"},
       {L"key"}, L"Invalid params passed for registry key deletion",
       L"exception occured in registry key deletion"},
      {"deleteValue", 1, &Registry::deleteValue, {L"key", L"is32bit", L"isRecursive", L"InValue"},
       {L"key"}, L"Invalid params passed for registry value deletion",
       L"Exception occured in registry value deletion"},
      {"setValue", 1, &Registry::setValue, {L"key", L"value", L"data", L"is32bit", L"type"},
       {L"key", L"data", L"type"}, L"Invalid params passed for setting data in registry",
       L"Exception occured in setting data in registry"},
      {"isDataMatching", 0, &Registry::isDataMatching,
       {L"key", L"value", L"is32bit", L"TypeOfCheck", L"InData"}, {L"key"},
       L"Invalid params passed for Registry data comparision",
       L"Exception occured in Registry data comparision"},
      {"getValue", 2, &Registry::getValue, {L"key", L"value", L"is32bit"}, {L"key"},
       L"Invalid params passed for getting Registry value",
       L"Exception occured in getting Registry value"},
      {"collect", 2, &Registry::collect, {L"key", L"value", L"is32bit"}, {L"key"},
       L"Invalid params passed for Collecting Registry node",
       L"Exception occured in Collecting Registry node"},
      {"importRegistry", 1, &Registry::importRegistry, {L"filetoimport"}, {},
       L"Invalid params passed for import registry", L"Exception occured in import Registry"},
      {"importRegistryAndPermissionSet", 1, &Registry::importRegistryAndPermissionSet,
       {L"key", L"filetoimport", L"filetodownloadandextract", L"accountnamevalue"}, {},
       L"Invalid params passed for import registry and permission set",
       L"Exception occured in import Registry"},
  };
  return methods;
}

const RegistryMethodRow& RegistryMethod(const char* name) {
  for (const RegistryMethodRow& declared : RegistryMethods()) {
    if (std::string_view(declared.name) == name) return declared;
  }
  throw std::out_of_range("no Registry method " + std::string(name));
}

std::unique_ptr<CMethodDispatcher> CreateRegistryPlugin(StackFrame& args) {
  return std::make_unique<Registry>(args);
}

Registry::Registry(StackFrame& args) {
  for (const RegistryMethodRow& declared : RegistryMethods()) RegisterMethod(declared.name, declared.method);
  BindProperty("key", key);
  BindProperty("value", value);
  BindProperty("data", data);
  BindProperty("type", type);
  BindProperty("is32bit", is32bit);
  args.GetNamedText("key", key);
  args.GetNamedText("value", value);
  args.GetNamedText("data", data);
  args.GetNamedText("type", type);
  args.GetNamedBool("is32bit", is32bit);
}

Registry::~Registry() = default;

RegistryHelper& Registry::Helper() {
  if (!helper_) {
    platform::IMachine* machine = platform::currentMachine();
    if (!machine) throw std::runtime_error("no machine");
    helper_ = std::make_unique<RegistryHelper>(machine->registry(),
                                               machine->versionInfo().is64BitOperatingSystem());
  }
  return *helper_;
}

namespace {

bool Lists(const std::vector<const wchar_t*>& names, std::wstring_view name) {
  for (const wchar_t* n : names) {
    if (name == n) return true;
  }
  return false;
}

}  // namespace

void Registry::CopyInto(RegistryHelper& helper, const RegistryMethodRow& declared) {
  helper.SetKey(key);
  helper.Set32Bit(is32bit);
  if (Lists(declared.inputs, L"value")) helper.SetValueName(value);
  if (Lists(declared.inputs, L"data")) helper.SetData(data);
  // Text that is no number ends the call through its exception handler.
  if (Lists(declared.inputs, L"type")) helper.SetExpectedType(RegistryHelper::ParseType(type));
}

std::wstring Registry::Input(const wchar_t* name,
                             const std::map<std::wstring, std::wstring>& positional) const {
  const std::wstring_view n(name);
  if (n == L"key") return key;
  if (n == L"value") return value;
  if (n == L"data") return data;
  if (n == L"type") return type;
  if (n == L"is32bit") return is32bit ? L"true" : L"false";
  auto it = positional.find(name);
  return it == positional.end() ? L"" : it->second;
}

std::unique_ptr<CJSONReturn> Registry::Run(const char* name,
                                           const std::map<std::wstring, std::wstring>& positional,
                                           int32_t argumentError, const Work& work) {
  const RegistryMethodRow& declared = RegistryMethod(name);
  const std::string narrow(name);
  PluginCall call(GetResultStore(), errorcode_, declared.operationType, kComponentPath,
                  L"Registry::" + std::wstring(narrow.begin(), narrow.end()));
  std::unique_ptr<CJSONReturn> result;
  bool missing = false;
  for (const wchar_t* property : declared.required) missing = missing || Input(property, {}).empty();
  if (argumentError == pe::kInsufficientArguments) {
    call.SetError(argumentError);
  } else if (argumentError != 0 || missing) {
    call.ArgumentError(pe::kInvalidParameter, declared.argumentMessage);
  } else if (!call.Run(
                 [&] {
                   RegistryHelper& helper = Helper();
                   CopyInto(helper, declared);
                   result = work(helper);
                   call.SetError(result->errorcode);
                 },
                 declared.exceptionMessage)) {
    result.reset();
  }
  if (!result) {
    if (narrow == "getValue") result = std::make_unique<CJSONRegValReturn>();
    else result = std::make_unique<CJSONReturn>();
  }
  for (const wchar_t* input : declared.inputs) call.Input(input, Input(input, positional));
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Registry::isKeyPresent(StackFrame&) {
  return Run("isKeyPresent", {}, 0, [](RegistryHelper& h) { return h.IsKeyPresent(); });
}
std::unique_ptr<CJSONReturn> Registry::isOfDataType(StackFrame&) {
  return Run("isOfDataType", {}, 0, [](RegistryHelper& h) { return h.IsOfDataType(); });
}
std::unique_ptr<CJSONReturn> Registry::isValuePresent(StackFrame&) {
  return Run("isValuePresent", {}, 0, [](RegistryHelper& h) { return h.IsValuePresent(); });
}
std::unique_ptr<CJSONReturn> Registry::isDataPresent(StackFrame&) {
  return Run("isDataPresent", {}, 0, [](RegistryHelper& h) { return h.IsDataPresent(); });
}
std::unique_ptr<CJSONReturn> Registry::createKey(StackFrame&) {
  return Run("createKey", {}, 0, [](RegistryHelper& h) { return h.CreateKey(); });
}
std::unique_ptr<CJSONReturn> Registry::setValue(StackFrame&) {
  return Run("setValue", {}, 0, [](RegistryHelper& h) { return h.SetValue(); });
}
std::unique_ptr<CJSONReturn> Registry::getValue(StackFrame&) {
  return Run("getValue", {}, 0, [](RegistryHelper& h) -> std::unique_ptr<CJSONReturn> {
    return h.GetValue();
  });
}

namespace {

// The (text, boolean) arguments of the pattern methods: exactly two, else
// the text is recorded empty and the boolean "false".
struct PatternArgs {
  std::wstring text;
  bool flag = false;
  bool ok = false;
  explicit PatternArgs(StackFrame& args) {
    ok = args.Count() == 2;
    if (ok) {
      text = args.TextAt(0);
      flag = args.BoolAt(1);
    }
  }
};

// True for a key text that names a root alone (HKCU, HKLM\).
bool RootAlone(const std::wstring& key) {
  const size_t slash = key.find(L'\\');
  return slash == std::wstring::npos || key.find_first_not_of(L'\\', slash) == std::wstring::npos;
}

}  // namespace

std::unique_ptr<CJSONReturn> Registry::isKeyMatch(StackFrame& args) {
  PatternArgs a(args);
  return Run("isKeyMatch", {{L"InKey", a.text}, {L"bisRecursive", a.flag ? L"true" : L"false"}},
             a.ok ? 0 : pe::kInsufficientArguments,
             [&](RegistryHelper& h) { return h.IsKeyMatch(a.text, a.flag); });
}

std::unique_ptr<CJSONReturn> Registry::isValueMatch(StackFrame& args) {
  PatternArgs a(args);
  return Run("isValueMatch", {{L"InValue", a.text}, {L"bisRecursive", a.flag ? L"true" : L"false"}},
             a.ok ? 0 : pe::kInsufficientArguments,
             [&](RegistryHelper& h) { return h.IsValueMatch(a.text, a.flag); });
}

std::unique_ptr<CJSONReturn> Registry::deleteKey(StackFrame& args) {
  PatternArgs a(args);
  // A root alone with no pattern would empty the whole hive.
  const int32_t error = !a.ok ? pe::kInsufficientArguments
                        : (a.text.empty() && !key.empty() && RootAlone(key)) ? pe::kInvalidParameter
                                                                              : 0;
  return Run("deleteKey", {{L"InKey", a.text}, {L"isRecursive", a.flag ? L"true" : L"false"}},
             error, [&](RegistryHelper& h) { return h.DeleteKey(a.text, a.flag); });
}

std::unique_ptr<CJSONReturn> Registry::deleteValue(StackFrame& args) {
  PatternArgs a(args);
  return Run("deleteValue", {{L"InValue", a.text}, {L"isRecursive", a.flag ? L"true" : L"false"}},
             a.ok ? 0 : pe::kInsufficientArguments,
             [&](RegistryHelper& h) { return h.DeleteValue(a.text, a.flag); });
}

std::unique_ptr<CJSONReturn> Registry::isDataMatching(StackFrame& args) {
  const bool ok = args.Count() == 2;
  const std::wstring check = ok ? args.TextAt(0) : L"-1";
  const std::wstring inData = ok ? args.TextAt(1) : L"";
  return Run("isDataMatching", {{L"TypeOfCheck", check}, {L"InData", inData}},
             ok ? 0 : pe::kInsufficientArguments,
             [&](RegistryHelper& h) { return h.IsDataMatching(TextToInt(check), inData); });
}

}  // namespace zorel
