// The readable summary of `zorel check`.

#include "check_summary.h"

#include "zorel/runreport/requirement_words.h"
#include "zorel/runreport/run_model.h"

namespace zorel::cli {
namespace {

std::string problemStatusText(int32_t status) {
  switch (status) {
    case 0: return "not run";
    case 1: return "passed";
    case 2: return "not passed";
    default: return "status " + std::to_string(status);
  }
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

bool NothingRan(ResultJson& summary) { return !anyRan(summary, 0); }

void PrintSummary(FILE* out, ResultJson& summary) {
  std::fprintf(out, "\nStages:\n");
  if (summary.stages.Empty()) std::fprintf(out, "  (none)\n");
  for (size_t i = 0; i < summary.stages.Size(); ++i) {
    const StatusData& s = *summary.stages.Get(i);
    const char* state = !anyRan(summary, s.stageId) ? "nothing ran"
                        : s.status == 1             ? "passed"
                                                    : "needs attention";
    std::fprintf(out, "  %d %-22s %s\n", s.stageId, runreport::StageRoleInWords(s.stageId).c_str(), state);
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
      if (!s.outcome.empty()) std::fprintf(out, ", outcome: %s", runreport::OutcomeInWords(s.outcome).c_str());
      std::fprintf(out, "\n");
    }
  }
}

}  // namespace zorel::cli
