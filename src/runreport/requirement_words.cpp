// Requirement tokens in words.

#include "zorel/runreport/requirement_words.h"

#include <json/reader.h>
#include <json/value.h>

#include <memory>

namespace zorel::runreport {
namespace {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

// Each token sits where its words read well: "$GEN1004$ 500 MB",
// "$GEN1003$ 1000 MHz", "4.0 GB $GEN1002$".
const std::vector<std::pair<std::string, std::string>>& RequirementTokens() {
  static const std::vector<std::pair<std::string, std::string>> tokens = {
      {"$GEN1002$", "of memory"},
      {"$GEN1003$", "processor speed of"},
      {"$GEN1004$", "free disk space of"},
  };
  return tokens;
}

std::string RequirementsInWords(const std::string& text) {
  std::string out = text;
  bool replaced = false;
  for (const auto& [token, words] : RequirementTokens()) {
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at)) {
      out.replace(at, token.size(), words);
      at += words.size();
      replaced = true;
    }
  }
  return replaced ? trimmed(out) : out;
}

std::string OutcomeInWords(const std::string& outcome) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  bool parsed = false;
  try {
    parsed = reader->parse(outcome.data(), outcome.data() + outcome.size(), &value, &errors);
  } catch (const Json::Exception&) {
    // Nested deeper than the reader allows: a script's text, shown as it came.
  }
  if (parsed && value.isObject() && value.size() == 2 && value["expected"].isString() &&
      value["actual"].isString()) {
    const std::string actual = value["actual"].asString();
    return "expected " + RequirementsInWords(value["expected"].asString()) +
           (actual.empty() ? "" : ", found " + actual);
  }
  return RequirementsInWords(outcome);
}

}  // namespace zorel::runreport
