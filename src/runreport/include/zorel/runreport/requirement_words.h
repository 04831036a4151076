#pragma once
// The requirement tokens the System checks record in their operation
// records ("$GEN1002$" memory, "$GEN1003$" processor speed, "$GEN1004$"
// free disk space) and the words a person reads in their place. The store
// keeps the tokens; only what is shown changes.

#include <string>
#include <utility>
#include <vector>

namespace zorel::runreport {

// Each token with its words, in a fixed order.
const std::vector<std::pair<std::string, std::string>>& RequirementTokens();

// `text` with every token in words; trimmed of blanks when a token was
// replaced ("$GEN1004$ 500 MB" reads "free disk space of 500 MB").
std::string RequirementsInWords(const std::string& text);

// A recorded outcome in words: a requirement check's {"expected": E,
// "actual": A} reads "expected E, found A"; any other text as it is, with
// its tokens in words.
std::string OutcomeInWords(const std::string& outcome);

}  // namespace zorel::runreport
