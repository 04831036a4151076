// Words for the store's codes, and the counts a summary shows.

#include "zorel/runreport/run_model.h"

namespace zorel::runreport {

std::string StatusInWords(int32_t status) {
  switch (status) {
    case 0: return "not run";
    case 1: return "passed";
    case 2: return "started but not finished";
    default:
      // Reported values below 1 are stored as 1, so a negative one only
      // comes from a file written by something else.
      return status > 2 ? "failed with code " + std::to_string(status)
                        : "unknown status " + std::to_string(status);
  }
}

std::string OperationTypeInWords(int32_t type) {
  switch (type) {
    case 0: return "check";
    case 1: return "change";
    case 2: return "collection";
    default: return "type " + std::to_string(type);
  }
}

std::string CollectionTypeInWords(int32_t type) {
  switch (type) {
    case 0: return "registry export";
    case 1: return "file";
    case 2: return "folder";
    case 4: return "service table";
    case 5: return "process table";
    case 7: return "event log (CSV)";
    case 8: return "product table";
    default: return "type " + std::to_string(type);
  }
}

std::string RunStateInWords(const RunHeader& header) {
  if (!header.present) return "no run recorded";
  if (header.executionStatus == 5) return "finished";
  if (header.end.empty()) return "did not finish (cancelled or stopped midway)";
  return "ended with status " + std::to_string(header.executionStatus);
}

std::string StageRoleInWords(int32_t stage) {
  switch (stage) {
    case 100: return "minimum system health";
    case 101: return "detection";
    case 102: return "remediation";
    default: return "other stage";
  }
}

size_t ProblemsNotPassed(const RunModel& model) {
  size_t count = 0;
  for (const Problem& p : model.problems) {
    for (const StageStatus& s : p.stages) {
      if (s.status >= 2) {
        ++count;
        break;
      }
    }
  }
  return count;
}

size_t FailedOperations(const RunModel& model) {
  size_t count = 0;
  for (const Operation& o : model.operations) count += o.executionStatus != 1;
  return count;
}

}  // namespace zorel::runreport
