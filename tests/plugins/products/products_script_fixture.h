#pragma once
// `zorel check` runs of small Products scripts on a fresh machine seeded
// with regedit. Every answer a script gets is kept as a problem row (NAME
// the label, DESCRIPTION the answer) and read back as JSON.

#include <gtest/gtest.h>
#include <json/json.h>

#include <fstream>
#include <sstream>
#include <string>

#include "../../cli/check_cli_support.h"
#include "../../cli/script_answers.h"
#include "../../detect/seeded_machine.h"

namespace zorel::testing {

class ProductsScripts : public CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    root_ = machine_.root();
  }

  // Runs `body`, which defines cases(), behind the prelude below, in a
  // store folder of its own. Fails the test when the run does not end
  // normally.
  CheckRun Run(const std::string& body) {
    store_ = base_ + "/store" + std::to_string(++runs_);
    const std::string script = base_ + "/case.js";
    std::ofstream(script, std::ios::binary) << kPrelude << body;
    CheckRun run = Check("--script '" + script + "' --store '" + store_ + "' --stages 101");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return run;
  }

  Json::Value Answer(const std::string& label) const {
    return zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery(label)), label);
  }
  int Code(const std::string& label) const { return Answer(label)["errorcode"].asInt(); }
  // The "productname" of each element of an answer's "products"; a name
  // longer than 64 characters as "<N x C>" (its length and first character).
  std::vector<std::string> Names(const std::string& label) const {
    const Json::Value answer = Answer(label);
    std::vector<std::string> names;
    for (const Json::Value& p : answer["products"]) names.push_back(Short(p["productname"].asString()));
    return names;
  }
  static std::string Short(const std::string& text) {
    if (text.size() <= 64) return text;
    return "<" + std::to_string(text.size()) + " x " + text.substr(0, 1) + ">";
  }
  // API_NAME|INPUT_DETAILS|ERROR_CODE of the Products rows, in order.
  std::vector<std::string> Operations() const {
    std::vector<std::string> lines;
    for (const auto& row : Query("select API_NAME, INPUT_DETAILS, ERROR_CODE from OPERATION_TABLE "
                                 "where COMPONENT_NAME = 'Products' order by ID"))
      lines.push_back(row[0] + "|" + row[1] + "|" + row[2]);
    return lines;
  }
  static size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  static constexpr const char* kPrelude = R"js(
var nextId = 1000;
function note(label, answer) {
  reportProblem({id: nextId++, name: label, description: answer === "" ? "(empty)" : answer});
}
function ask(label, object, method) {
  note(label, object[method].apply(object, Array.prototype.slice.call(arguments, 3)));
}
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "products_case.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "products", stages: [101]});
var Problems = {1: {detect: function () { cases(); }}};
)js";

  SeededMachine machine_;
  int runs_ = 0;
};

}  // namespace zorel::testing
