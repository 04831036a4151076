#pragma once
// The JSON records the check script hands to the reporting functions
// (ProblemJson for reportProblem, StatusJson for reportStatus) and the
// script's identity record (HeaderJson, the global "header").
//
// The run summary records (StatusData, ProblemData) are UI structures and
// live with them in the bridge.

#include <cstdint>
#include <string>

#include <json/value.h>

#include "zorel/bridge/json.h"

namespace zorel {

// "name", "id", "description", "url", "stages" (held unchanged; normally an
// array of stage ids).
class ProblemJson : public JSON {
 public:
  ProblemJson();

  std::string name;
  int32_t id = 0;
  std::string description;
  std::string url;
  Json::Value stages;
};

// "id", "stage", "status". A status written as a decimal string ("3")
// reads as that number; any other string leaves it 0.
class StatusJson : public JSON {
 public:
  StatusJson();
  void FromValue(const Json::Value& value) override;

  int32_t id = 0;
  int32_t stage = 0;
  int32_t status = 0;
};

// "frameworkversion", "jsrevision", "jsfilename".
class HeaderJson : public JSON {
 public:
  HeaderJson();

  std::string frameworkVersion;
  std::string jsRevision;
  std::string jsFileName;
};

}  // namespace zorel
