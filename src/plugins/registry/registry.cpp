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

namespace {

using enum ValueType;
constexpr OperationType kQuery = OperationType::kQuery;
constexpr OperationType kChange = OperationType::kChange;
constexpr OperationType kCollect = OperationType::kCollect;

constexpr PluginArgument kPattern(const char* name, const char* what) {
  return {name, kText, false, what};
}
constexpr PluginArgument kRecursive(const char* name) {
  return {name, kBoolean, false, "true: look in every sub-key below as well"};
}

// The Registry object's methods, in registration order. "key" and "is32bit"
// are read by every method that has a key.
constinit const PluginMethod kMethods[] = {
    {"isKeyPresent", MethodOf<&Registry::isKeyPresent>, kQuery, {L"key", L"is32bit"},
     {.summary = "Whether the key exists: \"return\" true when it does.",
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {2, 5, 87, 20016, kSystemErrors}}},
    {"isOfDataType", MethodOf<&Registry::isOfDataType>, kQuery,
     {L"key", L"value", L"is32bit", L"type"},
     {.summary = "Whether the value named by value has the Windows type given in type.",
      .reads = "key, value, type, is32bit",
      .fills = "status, return",
      .errors = {2, 87, 20016, 20017, kSystemErrors}}},
    {"isValuePresent", MethodOf<&Registry::isValuePresent>, kQuery, {L"key", L"value", L"is32bit"},
     {.summary = "Whether the key holds the value named by value (empty: the default value).",
      .reads = "key, value, is32bit",
      .fills = "status, return",
      .errors = {2, 87, 20016, kSystemErrors}}},
    {"isDataPresent", MethodOf<&Registry::isDataPresent>, kQuery, {L"key", L"value", L"is32bit"},
     {.summary = "Whether the value exists and holds data.",
      .reads = "key, value, is32bit",
      .fills = "status, return",
      .errors = {2, 87, 20016, 20021, 20026, kSystemErrors}}},
    {"createKey", MethodOf<&Registry::createKey>, kChange, {L"key", L"is32bit"},
     {.summary = "Creates the key with its missing parents; an existing key is success.",
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {5, 87, 20016, kSystemErrors}}},
    {"isKeyMatch", MethodOf<&Registry::isKeyMatch>, kQuery,
     {L"key", L"is32bit", L"InKey", L"bisRecursive"},
     {.summary = "Whether a sub-key of key has a name matching the pattern.",
      .arguments = {{kPattern("InKey", "a regular expression matched against whole key names, "
                                       "case ignored"),
                     kRecursive("bisRecursive")}},
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, 20018, 20023, 20027}}},
    {"isValueMatch", MethodOf<&Registry::isValueMatch>, kQuery,
     {L"key", L"InValue", L"bisRecursive", L"is32bit"},
     {.summary = "Whether a value of key has a name matching the pattern.",
      .arguments = {{kPattern("InValue", "a regular expression matched against whole value "
                                         "names, case ignored"),
                     kRecursive("bisRecursive")}},
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, 20019, 20023, 20027}}},
    {"deleteKey", MethodOf<&Registry::deleteKey>, kChange,
     {L"key", L"is32bit", L"isRecursive", L"InKey"},
     {.summary = "Deletes the sub-keys of key whose names match the pattern, or key itself "
                 "when the pattern is empty.",
      .arguments = {{kPattern("InKey", "a regular expression over sub-key names; empty: key "
                                       "itself (refused for a root alone)"),
                     kRecursive("isRecursive")}},
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, 20023, 20027, kSystemErrors}}},
    {"deleteValue", MethodOf<&Registry::deleteValue>, kChange,
     {L"key", L"is32bit", L"isRecursive", L"InValue"},
     {.summary = "Deletes the values of key whose names match the pattern.",
      .arguments = {{kPattern("InValue", "a regular expression over value names"),
                     kRecursive("isRecursive")}},
      .reads = "key, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, 20023, 20027, kSystemErrors}}},
    {"setValue", MethodOf<&Registry::setValue>, kChange,
     {L"key", L"value", L"data", L"is32bit", L"type"},
     {.summary = "Writes data as the value named by value, of the Windows type in type, "
                 "creating the key when missing.",
      .reads = "key, value, data, type, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, kSystemErrors}}},
    {"isDataMatching", MethodOf<&Registry::isDataMatching>, kQuery,
     {L"key", L"value", L"is32bit", L"TypeOfCheck", L"InData"},
     {.summary = "Whether the data of the value named by value matches InData.",
      .arguments = {{{"TypeOfCheck", kNumber, false,
                      "0: InData is a regular expression; 1: a comma-separated list, any item "
                      "equal; 2: equal, case and enclosing double quotes ignored"},
                     {"InData", kText, false, "what the data is compared with"}}},
      .reads = "key, value, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, 20020, 20023, 20027, kSystemErrors}}},
    {"getValue", MethodOf<&Registry::getValue>, kCollect, {L"key", L"value", L"is32bit"},
     {.summary = "Reads the value named by value as text, with its Windows type.",
      .reads = "key, value, is32bit",
      .answer = AnswerKind::kRegValue,
      .fills = "status, value, type",
      .errors = {2, 87, 20016, 20017, kSystemErrors}}},
    {"collect", MethodOf<&Registry::collect>, kCollect, {L"key", L"value", L"is32bit"},
     {.summary = "Exports key (and its sub-keys) as a .reg file into the run's collection.",
      .reads = "key, value, is32bit",
      .fills = "status, return",
      .errors = {87, 20016, kSystemErrors}}},
    {"importRegistry", MethodOf<&Registry::importRegistry>, kChange, {L"filetoimport"},
     {.summary = "Imports a .reg file, or the .reg file of the same name inside a .cab, from a "
                 "path or URL.",
      .arguments = {{{"filetoimport", kText, false, "a path or URL ending in .reg or .cab"}}},
      .errors = {87, 20016, 30058, 30059, 30060}}},
    {"importRegistryAndPermissionSet", MethodOf<&Registry::importRegistryAndPermissionSet>,
     kChange, {L"key", L"filetoimport", L"filetodownloadandextract", L"accountnamevalue"},
     {.summary = "Imports a registry file, then gives an account full access to key.",
      .arguments = {{{"filetodownloadandextract", kText, false,
                      "a path or URL ending in .reg or .cab"},
                     {"accountnamevalue", kText, false, "the account to give full access"},
                     {"filetoimport", kText, false,
                      "the .reg file to import (inside the cabinet for a .cab)"}}},
      .reads = "key",
      .errors = {87, 20016, 30058, 30059, 30060, kSystemErrors}}},
};

constinit const PluginProperty kProperties[] = {
    {"key", kText, "the key: a root (HKLM, HKCU, HKCR, HKUS, HKCC or the full names), a "
                   "backslash and the sub-key path"},
    {"value", kText, "a value name; empty names the key's default value"},
    {"data", kText, "the data setValue writes"},
    {"type", kText, "a Windows value type as decimal text: 1 REG_SZ, 2 REG_EXPAND_SZ, "
                    "3 REG_BINARY, 4 REG_DWORD, 7 REG_MULTI_SZ, 11 REG_QWORD"},
    {"is32bit", kBoolean, "work in the 32-bit registry view (WOW6432Node)"},
};

}  // namespace

constinit const PluginSurface Registry::kSurface{
    "Registry", Registry::kComponentPath, kMethods, kProperties,
    "Checks, reads, changes, collects and imports registry keys and values. Set the "
    "properties, then call a method; each answers \"status\" (the question could be "
    "answered) and \"return\" (the answer)."};

const std::vector<RegistryMethodRow>& RegistryMethods() {
  static const std::vector<RegistryMethodRow> methods = {
      {"isKeyPresent", {L"key"}, L"Invalid params passed in verifying keypresence",
       L"Exception occured in verifying keypresence"},
      {"isOfDataType", {L"key", L"type"}, L"Invalid params passed for verfing registry data type",
       L"Exception occured in verifying datatype of registry"},
      {"isValuePresent", {L"key"}, L"Invalid params passed for verifying registry value presence",
       L"Exception occured in registry value presence"},
      {"isDataPresent", {L"key"}, L"Invalid params passed for registry data presence",
       L"Exception occured in verfiying registry data presence"},
      {"createKey", {L"key"}, L"Invalid params passed for creating key",
       L"Exception occured in creating key"},
      {"isKeyMatch", {L"key"}, L"Invalid params passed in registry key comparision",
       L"Exception occured in registry key comparision"},
      {"isValueMatch", {L"key"}, L"Invalid params passed for registry value comparision",
       L"Exception occured in registry value comparision"},
      {"deleteKey", {L"key"}, L"Invalid params passed for registry key deletion",
       L"exception occured in registry key deletion"},
      {"deleteValue", {L"key"}, L"Invalid params passed for registry value deletion",
       L"Exception occured in registry value deletion"},
      {"setValue", {L"key", L"data", L"type"}, L"Invalid params passed for setting data in registry",
       L"Exception occured in setting data in registry"},
      {"isDataMatching", {L"key"}, L"Invalid params passed for Registry data comparision",
       L"Exception occured in Registry data comparision"},
      {"getValue", {L"key"}, L"Invalid params passed for getting Registry value",
       L"Exception occured in getting Registry value"},
      {"collect", {L"key"}, L"Invalid params passed for Collecting Registry node",
       L"Exception occured in Collecting Registry node"},
      {"importRegistry", {}, L"Invalid params passed for import registry",
       L"Exception occured in import Registry"},
      {"importRegistryAndPermissionSet", {},
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
  RegisterSurface(kSurface);
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

bool Lists(const PluginMethod& row, std::wstring_view name) {
  for (size_t i = 0; i < row.InputCount(); ++i) {
    if (name == row.inputs[i]) return true;
  }
  return false;
}

}  // namespace

void Registry::CopyInto(RegistryHelper& helper, const PluginMethod& declared) {
  helper.SetKey(key);
  helper.Set32Bit(is32bit);
  if (Lists(declared, L"value")) helper.SetValueName(value);
  if (Lists(declared, L"data")) helper.SetData(data);
  // Text that is no number ends the call through its exception handler.
  if (Lists(declared, L"type")) helper.SetExpectedType(RegistryHelper::ParseType(type));
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
  const PluginMethod& row = *kSurface.Find(name);
  const std::string narrow(name);
  PluginCall call(GetResultStore(), errorcode_, kSurface, row);
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
                   CopyInto(helper, row);
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
  for (size_t i = 0; i < row.InputCount(); ++i)
    call.Input(row.inputs[i], Input(row.inputs[i], positional));
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
