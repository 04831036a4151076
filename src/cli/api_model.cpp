// The API model: the plug-in table's surfaces, the answer classes and the
// reporting records, read from the program's own declarations.

#include "api_model.h"

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/detect/installed_product.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/framework/report_json.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/common/plugin_surface.h"
#include "zorel/store/operation_store.h"

namespace zorel::cli {
namespace {

const char* TypeName(ValueType type) {
  switch (type) {
    case ValueType::kText: return "text";
    case ValueType::kNumber: return "number";
    case ValueType::kBoolean: return "boolean";
    case ValueType::kObject: return "object";
  }
  return "text";
}

const char* OperationName(OperationType type) {
  switch (type) {
    case OperationType::kQuery: return "query";
    case OperationType::kChange: return "change";
    case OperationType::kCollect: return "collect";
  }
  return "query";
}

// A JSON class's keys and types, read from a fresh instance; `skip` are keys
// its base class already lists.
Json::Value KeysOf(const JSON& object, const std::vector<std::string>& skip = {}) {
  Json::Value keys(Json::arrayValue);
  const Json::Value value = object.ToValue();
  for (const std::string& name : value.getMemberNames()) {
    bool skipped = false;
    for (const std::string& s : skip) skipped = skipped || s == name;
    if (skipped) continue;
    MemberKind kind = MemberKind::Value;
    object.KindOf(name, kind);
    const char* type = "text";
    switch (kind) {
      case MemberKind::Int:
      case MemberKind::Float: type = "number"; break;
      case MemberKind::Bool: type = "boolean"; break;
      case MemberKind::Object: type = "object"; break;
      case MemberKind::Array: type = "object[]"; break;
      case MemberKind::Value: type = "number[]"; break;  // the stage list
      case MemberKind::String: break;
    }
    Json::Value key;
    key["name"] = name;
    key["type"] = type;
    keys.append(key);
  }
  return keys;
}

struct AnswerClass {
  AnswerKind kind;
  const char* name;  // as the declarations call it
  std::function<std::unique_ptr<CJSONReturn>()> make;
};

template <class T>
std::unique_ptr<CJSONReturn> Make() {
  return std::make_unique<T>();
}

const std::vector<AnswerClass>& AnswerClasses() {
  static const std::vector<AnswerClass> classes = {
      {AnswerKind::kReturn, "Answer", Make<CJSONReturn>},
      {AnswerKind::kOSInfo, "OSInfo", Make<CJSONOSInfo>},
      {AnswerKind::kOSValue, "OSValue", Make<CJSONOSReturnVal>},
      {AnswerKind::kCPUInfo, "CPUInfo", Make<CJSONCPUInfo>},
      {AnswerKind::kMemoryInfo, "MemoryInfo", Make<CJSONMemoryInfo>},
      {AnswerKind::kFileSystemInfo, "FileSystemInfo", Make<CJSONFileSystemInfo>},
      {AnswerKind::kTimeInfo, "TimeInfo", Make<CJSONTimeInfo>},
      {AnswerKind::kDiskInfo, "DiskInfo", Make<CJSONReturnDiskInfo>},
      {AnswerKind::kFileInfo, "FileInfo", Make<CJSONReturnFileInfo>},
      {AnswerKind::kRegValue, "RegistryValue", Make<CJSONRegValReturn>},
      {AnswerKind::kService, "ServiceAnswer", Make<CJSONServiceReturn>},
      {AnswerKind::kProducts, "ProductsInfo", Make<CJSONProductsInfo>},
  };
  return classes;
}

const char* AnswerName(AnswerKind kind) {
  for (const AnswerClass& c : AnswerClasses()) {
    if (c.kind == kind) return c.name;
  }
  return nullptr;  // kNone
}

Json::Value Answers() {
  Json::Value answers(Json::arrayValue);
  const std::vector<std::string> base = {"errorcode", "return", "status"};
  for (const AnswerClass& c : AnswerClasses()) {
    std::unique_ptr<CJSONReturn> instance = c.make();
    if (auto* products = dynamic_cast<CJSONProductsInfo*>(instance.get())) {
      // An empty list writes no key: give it one element to be seen.
      products->products.Append(std::make_unique<CInstalledProduct>(L""));
    }
    Json::Value answer;
    answer["name"] = c.name;
    answer["extends"] = c.kind == AnswerKind::kReturn ? "" : "Answer";
    answer["keys"] = KeysOf(*instance, c.kind == AnswerKind::kReturn
                                           ? std::vector<std::string>{}
                                           : base);
    for (Json::Value& key : answer["keys"]) {
      if (key["type"] == "object[]") key["type"] = "Product[]";
    }
    answers.append(answer);
  }
  return answers;
}

// What each key of the reporting records means, and whether the script
// must give it.
struct KeyMeaning {
  const char* record;
  const char* key;
  const char* meaning;
  bool required = false;
};

const KeyMeaning* FindMeaning(const std::string& record, const std::string& key) {
  using Entry = KeyMeaning;
  static const Entry kEntries[] = {
      {"Problem", "id", "the problem's id, unique in the script", true},
      {"Problem", "name", "its name, as the user sees it"},
      {"Problem", "description", "what it is about; %NAME% variables are replaced"},
      {"Problem", "url", "a link to more about it"},
      {"Problem", "stages", "the stages it takes part in: 100 system check, 101 detection, 102 "
                            "remediation"},
      {"Status", "id", "the problem's id", true},
      {"Status", "stage", "the stage the status is for", true},
      {"Status", "status", "1 (or less) passed; any other number is the script's own (2 is "
                           "\"started\", the value until a status is reported)",
       true},
      {"ScriptHeader", "frameworkversion", "the framework version the script was written for"},
      {"ScriptHeader", "jsrevision", "the script's revision"},
      {"ScriptHeader", "jsfilename", "the script's file name"},
      {"Product", "productname", "the product's name"},
      {"ProductsInfo", "products", "the products found; the key is absent when there are none"},
      {"ServiceAnswer", "servicestartuptype", "not set by any method: always 0"},
      {"ServiceAnswer", "servicestatus", "not set by any method: always 0"},
      {"Answer", "errorcode", "0 on success, and for the yes/no methods 0 means yes", true},
      {"Answer", "status", "the method could obtain what it was asked for (where it says so)",
       true},
      {"Answer", "return", "the answer of a yes/no method (where it says so)", true},
  };
  for (const Entry& e : kEntries) {
    if (record == e.record && key == e.key) return &e;
  }
  return nullptr;
}

// Sets "meaning" and "required" of each key of a record or answer; answer
// keys are always there except an empty product list.
void Describe(Json::Value& record, bool answer) {
  for (Json::Value& key : record["keys"]) {
    const KeyMeaning* m = FindMeaning(record["name"].asString(), key["name"].asString());
    key["meaning"] = m ? m->meaning : "";
    key["required"] = answer ? key["type"] != "Product[]" : m && m->required;
  }
}

Json::Value Record(const char* name, const JSON& instance) {
  Json::Value record;
  record["name"] = name;
  record["keys"] = KeysOf(instance);
  Describe(record, false);
  return record;
}

std::string Message(int32_t code) {
  std::string text = toUtf8(GetErrorMessage(code));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text;
}

Json::Value Method(const PluginSurface& surface, const PluginMethod& row) {
  const MethodApi& api = row.api;
  Json::Value method;
  method["name"] = row.name;
  method["apiName"] = toUtf8(surface.ApiName(row));
  method["summary"] = api.summary ? api.summary : "";
  Json::Value arguments(Json::arrayValue);
  for (size_t i = 0; i < api.ArgumentCount(); ++i) {
    const PluginArgument& a = api.arguments[i];
    Json::Value argument;
    argument["name"] = a.name;
    argument["type"] = TypeName(a.type);
    argument["optional"] = a.optional;
    argument["meaning"] = a.meaning ? a.meaning : "";
    arguments.append(argument);
  }
  method["arguments"] = arguments;
  method["reads"] = api.reads ? api.reads : "";
  const char* answer = AnswerName(api.answer);
  method["answer"] = answer ? Json::Value(answer) : Json::Value();
  method["fills"] = api.fills ? api.fills : "";
  method["operationType"] = static_cast<int32_t>(row.operation);
  method["operation"] = OperationName(row.operation);
  Json::Value inputs(Json::arrayValue);
  for (size_t i = 0; i < row.InputCount(); ++i) inputs.append(toUtf8(row.inputs[i]));
  method["inputDetails"] = inputs;
  Json::Value errors(Json::arrayValue);
  bool system = false;
  for (size_t i = 0; i < api.ErrorCount(); ++i) {
    if (api.errors[i] == kSystemErrors) {
      system = true;
      continue;
    }
    Json::Value error;
    error["code"] = api.errors[i];
    error["message"] = Message(api.errors[i]);
    errors.append(error);
  }
  method["errors"] = errors;
  method["systemErrors"] = system;
  return method;
}

Json::Value Component(const std::string& scriptName, const PluginSurface& surface) {
  Json::Value component;
  component["name"] = scriptName;
  component["componentName"] = toUtf8(OperationStore::ComponentName(surface.componentPath));
  component["componentPath"] = toUtf8(surface.componentPath);
  component["summary"] = surface.summary ? surface.summary : "";
  Json::Value properties(Json::arrayValue);
  for (const PluginProperty& p : surface.properties) {
    Json::Value property;
    property["name"] = p.name;
    property["type"] = TypeName(p.type);
    property["meaning"] = p.meaning ? p.meaning : "";
    properties.append(property);
  }
  component["properties"] = properties;
  Json::Value methods(Json::arrayValue);
  for (const PluginMethod& row : surface.methods) methods.append(Method(surface, row));
  component["methods"] = methods;
  return component;
}

// Describes each answer key nobody described with the methods that set it.
void AddSetters(Json::Value& model) {
  for (Json::Value& answer : model["answers"]) {
    for (Json::Value& key : answer["keys"]) {
      if (!key["meaning"].asString().empty()) continue;
      std::string setters;
      for (const Json::Value& c : model["components"]) {
        for (const Json::Value& m : c["methods"]) {
          if (m["answer"] != answer["name"]) continue;
          const std::string fills = ", " + m["fills"].asString() + ",";
          if (fills.find(" " + key["name"].asString() + ",") == std::string::npos) continue;
          setters += (setters.empty() ? "" : ", ") + c["name"].asString() + "." + m["name"].asString();
        }
      }
      if (!setters.empty()) key["meaning"] = "set by " + setters;
    }
  }
}

}  // namespace

Json::Value BuildApiModel() {
  Json::Value model;
  Json::Value components(Json::arrayValue);
  for (const PluginRegistration& registration : DefaultPluginTable()) {
    if (registration.surface) components.append(Component(registration.name, *registration.surface));
  }
  model["components"] = components;
  model["answers"] = Answers();

  Json::Value records(Json::arrayValue);
  records.append(Record("Problem", ProblemJson()));
  records.append(Record("Status", StatusJson()));
  records.append(Record("ScriptHeader", HeaderJson()));
  records.append(Record("Product", CInstalledProduct(L"")));
  for (Json::Value& answer : model["answers"]) Describe(answer, true);
  AddSetters(model);
  model["records"] = records;

  Json::Value functions(Json::arrayValue);
  for (const auto& [name, record, summary] :
       {std::tuple{"reportProblem", "Problem",
                   "Declares a problem and the stages it takes part in. Call it at the top "
                   "level of the script."},
        std::tuple{"reportStatus", "Status",
                   "Sets how a stage of a problem came out. Call it in the stage function."}}) {
    Json::Value function;
    function["name"] = name;
    function["argument"] = record;
    function["summary"] = summary;
    functions.append(function);
  }
  model["functions"] = functions;

  Json::Value operations(Json::arrayValue);
  for (OperationType type : {OperationType::kQuery, OperationType::kChange, OperationType::kCollect}) {
    Json::Value operation;
    operation["value"] = static_cast<int32_t>(type);
    operation["name"] = OperationName(type);
    operations.append(operation);
  }
  model["operationTypes"] = operations;
  return model;
}

}  // namespace zorel::cli
