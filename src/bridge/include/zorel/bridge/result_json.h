#pragma once
// ResultJson and SessionJson: the "result" and "session" of a UI response.

#include <cstdint>

#include "zorel/bridge/json.h"
#include "zorel/bridge/problem_data.h"

namespace zorel {

// "stages" (array of StatusData), "problems" (array of ProblemData). With
// both lists empty it is written as null.
class ResultJson : public JSON {
 public:
  ResultJson();
  ResultJson(const ResultJson& other) : ResultJson() { *this = other; }
  ResultJson& operator=(const ResultJson&) = default;

  ObjectListOf<StatusData> stages;
  ObjectListOf<ProblemData> problems;
};

// "sessionid": the report-server session of the last upload, -1 for none.
class SessionJson : public JSON {
 public:
  SessionJson();
  SessionJson(const SessionJson& other) : SessionJson() { *this = other; }
  SessionJson& operator=(const SessionJson&) = default;

  int32_t sessionId = -1;
};

}  // namespace zorel
