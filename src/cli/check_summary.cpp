// The readable summary of `zorel check`.

#include "check_summary.h"

#include <json/reader.h>
#include <json/value.h>

#include <memory>

namespace zorel::cli {
namespace {

// The tokens and their words; each token sits where its words read well:
// "$GEN1004$ 500 MB", "$GEN1003$ 1000 MHz", "4.0 GB $GEN1002$".
struct Token {
  const char* token;
  const char* words;
};
constexpr Token kTokens[] = {
    {"$GEN1002$", "of memory"},
    {"$GEN1003$", "processor speed of"},
    {"$GEN1004$", "free disk space of"},
};

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

const char* stageRole(int32_t stage) {
  switch (stage) {
    case 100: return "minimum system health";
    case 101: return "detection";
    case 102: return "remediation";
    default: return "other stage";
  }
}

std::string problemStatusText(int32_t status) {
  switch (status) {
    case 0: return "not run";
    case 1: return "passed";
    case 2: return "not passed";
    default: return "status " + std::to_string(status);
  }
}

// A requirement check's outcome, {"expected": E, "actual": A}, as
// "expected E, found A"; any other outcome as it is, tokens in words.
std::string outcomeText(const std::string& outcome) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  if (reader->parse(outcome.data(), outcome.data() + outcome.size(), &value, &errors) &&
      value.isObject() && value.size() == 2 && value["expected"].isString() && value["actual"].isString()) {
    const std::string actual = value["actual"].asString();
    return "expected " + RequirementsInWords(value["expected"].asString()) +
           (actual.empty() ? "" : ", found " + actual);
  }
  return RequirementsInWords(outcome);
}

// Whether any problem has a status other than "not run" in `stage` (any
// stage when stage is 0).
bool anyRan(ResultJson& summary, int32_t stage) {
  for (size_t i = 0; i < summary.problems.Size(); ++i) {
    ProblemData& p = *summary.problems.Get(i);
    for (size_t j = 0; j < p.status.Size(); ++j) {
      const StatusData& s = *p.status.Get(j);
      if ((stage == 0 || s.stageId == stage) && s.status != 0) return true;
    }
  }
  return false;
}

}  // namespace

std::string RequirementsInWords(const std::string& text) {
  std::string out = text;
  bool replaced = false;
  for (const Token& t : kTokens) {
    const std::string token = t.token;
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at)) {
      out.replace(at, token.size(), t.words);
      at += std::char_traits<char>::length(t.words);
      replaced = true;
    }
  }
  return replaced ? trimmed(out) : out;
}

bool NothingRan(ResultJson& summary) { return !anyRan(summary, 0); }

void PrintSummary(FILE* out, ResultJson& summary) {
  std::fprintf(out, "\nStages:\n");
  if (summary.stages.Empty()) std::fprintf(out, "  (none)\n");
  for (size_t i = 0; i < summary.stages.Size(); ++i) {
    const StatusData& s = *summary.stages.Get(i);
    const char* state = !anyRan(summary, s.stageId) ? "nothing ran"
                        : s.status == 1             ? "passed"
                                                    : "needs attention";
    std::fprintf(out, "  %d %-22s %s\n", s.stageId, stageRole(s.stageId), state);
  }
  std::fprintf(out, "\nProblems:\n");
  if (summary.problems.Empty()) std::fprintf(out, "  (none)\n");
  for (size_t i = 0; i < summary.problems.Size(); ++i) {
    ProblemData& p = *summary.problems.Get(i);
    std::fprintf(out, "  %d %s\n", p.problemId, p.name.c_str());
    if (!p.description.empty()) std::fprintf(out, "      %s\n", p.description.c_str());
    if (!p.url.empty()) std::fprintf(out, "      %s\n", p.url.c_str());
    for (size_t j = 0; j < p.status.Size(); ++j) {
      const StatusData& s = *p.status.Get(j);
      std::fprintf(out, "      stage %d: %s", s.stageId, problemStatusText(s.status).c_str());
      if (!s.outcome.empty()) std::fprintf(out, ", outcome: %s", outcomeText(s.outcome).c_str());
      std::fprintf(out, "\n");
    }
  }
}

}  // namespace zorel::cli
