// `zorel api --dts`: TypeScript declarations of the check script API,
// written from the API model. A check script is plain ES5; the declarations
// let an editor (or tsc --checkJs) complete and check its calls.

#include <string>

#include "api_model.h"

namespace zorel::cli {
namespace {

// Text inside a /** */ comment: a "*/" would end it.
std::string Doc(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '*' && i + 1 < text.size() && text[i + 1] == '/') out += ' ';
  }
  return out;
}

// A value the script reads (answers, properties).
std::string ValueType(const std::string& type) {
  if (type == "text") return "string";
  return type;
}

// A value the script passes: every argument reaches the plug-in as text, so
// a number or boolean may also be given as its text. Text stays text: 10.0
// passed as a number would arrive as "10".
std::string ArgumentType(const std::string& type) {
  if (type == "text") return "string";
  return type + " | string";
}

void Interface(std::string& out, const Json::Value& record, const std::string& extends) {
  out += "interface " + record["name"].asString() + (extends.empty() ? "" : " extends " + extends) +
         " {\n";
  for (const Json::Value& k : record["keys"]) {
    if (!k["meaning"].asString().empty()) out += "  /** " + Doc(k["meaning"].asString()) + " */\n";
    out += "  " + k["name"].asString() + (k["required"].asBool() ? "" : "?") + ": " +
           ValueType(k["type"].asString()) + ";\n";
  }
  out += "}\n\n";
}

void Method(std::string& out, const Json::Value& method) {
  out += "  /**\n   * " + Doc(method["summary"].asString()) + "\n";
  if (!method["reads"].asString().empty())
    out += "   * Reads the properties " + method["reads"].asString() + ".\n";
  for (const Json::Value& a : method["arguments"])
    out += "   * @param " + a["name"].asString() + " " + Doc(a["meaning"].asString()) + "\n";
  std::string codes;
  for (const Json::Value& e : method["errors"])
    codes += (codes.empty() ? "" : ", ") + std::to_string(e["code"].asInt());
  if (method["systemErrors"].asBool())
    codes += std::string(codes.empty() ? "" : ", ") + "a Windows error code";
  if (method["answer"].isNull()) {
    out += "   * @returns the empty text\n";
  } else {
    const std::string fills = method["fills"].asString();
    out += "   * @returns JSON text of " + method["answer"].asString() +
           (fills.empty() ? "" : " (sets " + fills + ")") + "; errorcode 0" +
           (codes.empty() ? "" : " or " + codes + " (messages: docs/script-api.md)") + "\n";
  }
  out += "   */\n  " + method["name"].asString() + "(";
  bool first = true;
  for (const Json::Value& a : method["arguments"]) {
    if (!first) out += ", ";
    first = false;
    out += a["name"].asString() + (a["optional"].asBool() ? "?" : "") + ": " +
           ArgumentType(a["type"].asString());
  }
  out += "): " + (method["answer"].isNull() ? std::string("string")
                                            : "AnswerText<" + method["answer"].asString() + ">") +
         ";\n";
}

void Component(std::string& out, const Json::Value& c) {
  const std::string name = c["name"].asString();
  out += "/** Construction properties of " + name + ". */\ninterface " + name + "Properties {\n";
  for (const Json::Value& p : c["properties"]) {
    const std::string type = p["type"].asString();
    if (type != "text" && type != "boolean") continue;  // only these are read at construction
    out += "  " + p["name"].asString() + "?: " + ArgumentType(type) + ";\n";
  }
  out += "}\n\n/**\n * " + Doc(c["summary"].asString()) + "\n * Records COMPONENT_NAME " +
         c["componentName"].asString() + ".\n */\ndeclare class " + name + " {\n  constructor(properties?: " +
         name + "Properties);\n";
  for (const Json::Value& p : c["properties"]) {
    out += "  /** " + Doc(p["meaning"].asString()) + " */\n";
    out += "  " + p["name"].asString() + "?: " + ValueType(p["type"].asString()) + ";\n";
  }
  for (const Json::Value& m : c["methods"]) Method(out, m);
  out += "}\n\n";
}

}  // namespace

std::string ApiDeclarations(const Json::Value& model) {
  std::string out =
      "// The check script API as TypeScript declarations, written by `zorel api --dts`; a "
      "test fails\n"
      "// when this file differs from what the program prints. Check a script with\n"
      "//   tsc --checkJs --allowJs --noEmit --lib es5 zorel.d.ts SCRIPT.js\n"
      "// (docs/script-api.md is the same API as a reference).\n\n"
      "/** The JSON text a plug-in method answers; JSON.parse gives the T. */\n"
      "type AnswerText<T> = string & { readonly __answer?: T };\n\n";
  for (const Json::Value& r : model["records"]) Interface(out, r, "");
  for (const Json::Value& a : model["answers"]) Interface(out, a, a["extends"].asString());
  out +=
      "/** The script's stage function names, mapped to their stage ids (100, 101, 102). */\n"
      "interface ExecutionModes {\n  [stageFunction: string]: number;\n}\n\n"
      "/** Per problem id, one function per stage function name. */\n"
      "interface ProblemTable {\n  [problemId: number]: { [stageFunction: string]: () => void };\n}\n\n";
  for (const Json::Value& f : model["functions"])
    out += "/** " + Doc(f["summary"].asString()) + " */\ndeclare function " + f["name"].asString() +
           "(" + "argument: " + f["argument"].asString() + " | string): void;\n\n";
  for (const Json::Value& c : model["components"]) Component(out, c);
  return out;
}

}  // namespace zorel::cli
