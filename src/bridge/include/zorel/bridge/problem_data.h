#pragma once
// The run summary records the script framework fills at the end of a run and
// the UI reads in a result response: one StatusData per stage result, one
// ProblemData per problem with the results of its stages.

#include <cstdint>
#include <string>

#include "zorel/bridge/json.h"

namespace zorel {

// "stageid", "status", "outcome".
class StatusData : public JSON {
 public:
  StatusData();
  StatusData(const StatusData& other) : StatusData() { *this = other; }
  StatusData& operator=(const StatusData&) = default;

  int32_t stageId = -1;
  int32_t status = 0;   // problem status code of the stage
  std::string outcome;  // text result of the stage
};

// "problemid", "name", "description", "url", "status" (array of StatusData).
class ProblemData : public JSON {
 public:
  ProblemData();
  ProblemData(const ProblemData& other) : ProblemData() { *this = other; }
  ProblemData& operator=(const ProblemData&) = default;

  int32_t problemId = -1;
  std::string name;
  std::string description;
  std::string url;
  ObjectListOf<StatusData> status;  // one entry per stage row of the problem
};

}  // namespace zorel
