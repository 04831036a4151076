#pragma once
// The UI's request: an operation number and, for a start, the stages and the
// problems to run in each.

#include <cstdint>
#include <string>
#include <vector>

#include "zorel/bridge/json.h"

namespace zorel {

// One "operationinfo" entry: "stageid" and "problemid" (kept as the raw JSON
// value; normally an array of integers).
class OperationInfoStructure : public JSON {
 public:
  OperationInfoStructure();
  OperationInfoStructure(const OperationInfoStructure& other)
      : OperationInfoStructure() {
    *this = other;
  }
  OperationInfoStructure& operator=(const OperationInfoStructure&) = default;

  // The "problemid" elements as integers, in array order (asInt). A value
  // that is not an array gives no problems. Returns false, with `ids` as far
  // as it got, when an element cannot be read as an integer.
  bool ProblemIds(std::vector<int32_t>& ids) const;

  int32_t stageId = 0;
  Json::Value problemId;
};

// "operationid", "operationinfo", "productname", "producttype".
class RequestJsonStructure : public JSON {
 public:
  RequestJsonStructure();
  RequestJsonStructure(const RequestJsonStructure& other)
      : RequestJsonStructure() {
    *this = other;
  }
  RequestJsonStructure& operator=(const RequestJsonStructure&) = default;

  int32_t operationId = 0;  // 0 start, 1 progress, 2 result, 3 cancel
  ObjectListOf<OperationInfoStructure> operationInfo;
  std::string productName;  // read, not used
  std::string productType;  // read, not used
};

}  // namespace zorel
