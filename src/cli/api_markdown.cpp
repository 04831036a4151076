// `zorel api --markdown`: the script authors' reference, written from the
// API model.

#include <map>
#include <string>

#include "api_model.h"

namespace zorel::cli {
namespace {

// A table cell: pipes escaped, no line breaks.
std::string Cell(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '|') out += "\\|";
    else if (c == '\n') out += ' ';
    else out += c;
  }
  return out;
}

std::string Code(const std::string& text) { return "`" + text + "`"; }

std::string Signature(const Json::Value& component, const Json::Value& method) {
  std::string s = component["name"].asString() + "." + method["name"].asString() + "(";
  bool first = true;
  for (const Json::Value& a : method["arguments"]) {
    if (!first) s += ", ";
    first = false;
    s += a["name"].asString();
    if (a["optional"].asBool()) s += "?";
  }
  return s + ")";
}

void KeyTable(std::string& out, const Json::Value& keys) {
  out += "| Key | Type | Meaning |\n|---|---|---|\n";
  for (const Json::Value& k : keys)
    out += "| " + Code(k["name"].asString()) + " | " + k["type"].asString() + " | " +
           Cell(k["meaning"].asString()) + " |\n";
}

void WriteMethod(std::string& out, const Json::Value& component, const Json::Value& method,
                 std::map<int, std::string>& codes) {
  out += "#### " + Code(Signature(component, method)) + "\n\n";
  out += method["summary"].asString() + "\n\n";
  if (!method["arguments"].empty()) {
    out += "| Argument | Type | Meaning |\n|---|---|---|\n";
    for (const Json::Value& a : method["arguments"])
      out += "| " + Code(a["name"].asString()) + " | " + a["type"].asString() +
             (a["optional"].asBool() ? ", optional" : "") + " | " + Cell(a["meaning"].asString()) +
             " |\n";
    out += "\n";
  }
  if (!method["reads"].asString().empty())
    out += "- Reads the properties: " + method["reads"].asString() + ".\n";
  if (method["answer"].isNull()) {
    out += "- Answers: the empty text.\n";
  } else {
    out += "- Answers: " + Code(method["answer"].asString());
    const std::string fills = method["fills"].asString();
    out += fills.empty() ? ", only its errorcode set.\n" : "; sets " + fills + " and errorcode.\n";
  }
  out += "- Operation record: OPERATION_TYPE " + std::to_string(method["operationType"].asInt()) +
         " (" + method["operation"].asString() + "), API_NAME " +
         Code(method["apiName"].asString()) + ", INPUT_DETAILS ";
  if (method["inputDetails"].empty()) {
    out += "empty.\n";
  } else {
    std::string keys;
    for (const Json::Value& k : method["inputDetails"]) keys += (keys.empty() ? "" : ", ") + Code(k.asString());
    out += "keys " + keys + ".\n";
  }
  std::string errors;
  for (const Json::Value& e : method["errors"]) {
    errors += (errors.empty() ? "" : ", ") + Code(std::to_string(e["code"].asInt()));
    codes[e["code"].asInt()] = e["message"].asString();
  }
  if (method["systemErrors"].asBool())
    errors += std::string(errors.empty() ? "" : ", ") + "the Windows error code of a failed system call";
  out += "- Error codes besides 0: " + (errors.empty() ? std::string("none") : errors) + ".\n\n";
}

}  // namespace

std::string ApiMarkdown(const Json::Value& model) {
  std::string out;
  out +=
      "# Check script API\n\n"
      "<!-- Written by `zorel api --markdown`; a test fails when this file differs from what "
      "the program prints. Change the plug-ins' declared tables, then run "
      "`zorel api --markdown > docs/script-api.md`. -->\n\n"
      "What a check script can call: the reporting functions and the plug-in components, each "
      "with its properties and methods, as the program itself declares them. "
      "examples/checks/README.md explains how to write, try and install a script; "
      "examples/checks/zorel.d.ts holds the same API as TypeScript declarations for an "
      "editor.\n\n"
      "## How calls work\n\n"
      "- A component is made with `new`, optionally with an object of its text and boolean "
      "properties: `new Registry({ key: \"HKLM\\\\SOFTWARE\\\\Vendor\" })`. Properties may also "
      "be assigned later; a method reads them when it is called.\n"
      "- Arguments are positional. Every value reaches the plug-in as text (a number as its "
      "decimal text, a boolean as true/false, an object as JSON); %NAME% variables in it "
      "(%WINDIR%, %CSIDL_SYSTEM%, ...) are replaced by the machine's values.\n"
      "- A method answers a JSON text: parse it with `JSON.parse`. Its `errorcode` is 0 on "
      "success, and for the yes/no methods 0 means yes. An unknown method, or a method that "
      "failed outright, answers the empty text.\n"
      "- Every call leaves one row in the result store's OPERATION_TABLE with its type, "
      "component, API name, input details and error code (with its message).\n\n";

  out += "## Reporting functions\n\n";
  for (const Json::Value& f : model["functions"])
    out += "- " + Code(f["name"].asString() + "(" + f["argument"].asString() + ")") + ": " +
           f["summary"].asString() + " The argument may also be its JSON text.\n";
  out += "\n";
  for (const Json::Value& r : model["records"]) {
    out += "### " + r["name"].asString() + "\n\n";
    KeyTable(out, r["keys"]);
    out += "\n";
  }
  out += "The script also defines the globals `header` (a ScriptHeader), `ExecutionMode` (its "
         "stage function names mapped to the stage ids) and `Problems` (per problem id, one "
         "function per stage name).\n\n";

  out += "## Answers\n\nEvery answer has the keys of `Answer`; the others add theirs. A key a "
         "method does not set keeps its initial value (false, 0, \"\").\n\n";
  for (const Json::Value& a : model["answers"]) {
    out += "### " + a["name"].asString() + "\n\n";
    KeyTable(out, a["keys"]);
    out += "\n";
  }

  out += "## Operation types\n\n| OPERATION_TYPE | Kind |\n|---|---|\n";
  for (const Json::Value& o : model["operationTypes"])
    out += "| " + std::to_string(o["value"].asInt()) + " | " + o["name"].asString() + " |\n";
  out += "\n## Components\n\n| Script name | COMPONENT_NAME | Component path | Methods |\n"
         "|---|---|---|---|\n";
  for (const Json::Value& c : model["components"])
    out += "| " + Code(c["name"].asString()) + " | " + c["componentName"].asString() + " | " +
           Code(c["componentPath"].asString()) + " | " + std::to_string(c["methods"].size()) +
           " |\n";
  out += "\n";

  std::map<int, std::string> codes;
  for (const Json::Value& c : model["components"]) {
    out += "### " + c["name"].asString() + "\n\n" + c["summary"].asString() + "\n\n";
    out += "COMPONENT_NAME " + Code(c["componentName"].asString()) + ".\n\n";
    if (c["properties"].empty()) {
      out += "No properties.\n\n";
    } else {
      out += "| Property | Type | Meaning |\n|---|---|---|\n";
      for (const Json::Value& p : c["properties"])
        out += "| " + Code(p["name"].asString()) + " | " + p["type"].asString() + " | " +
               Cell(p["meaning"].asString()) + " |\n";
      out += "\n";
    }
    for (const Json::Value& m : c["methods"]) WriteMethod(out, c, m, codes);
  }

  out += "## Error codes\n\nThe codes the methods above name, with the message the operation "
         "record stores as ERROR_STRING.\n\n| Code | Message |\n|---|---|\n";
  for (const auto& [code, message] : codes)
    out += "| " + std::to_string(code) + " | " + Cell(message.empty() ? "(no message)" : message) +
           " |\n";
  return out;
}

}  // namespace zorel::cli
