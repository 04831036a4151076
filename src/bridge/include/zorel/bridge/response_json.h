#pragma once
// The answer to every UI request.

#include <cstdint>

#include "zorel/bridge/json.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/result_json.h"

namespace zorel {

// "status", "errorcode", "progress", "result", "session"; written in the
// order "errorcode", "progress", "result", "session", "status".
class ResponseJsonStructure : public JSON {
 public:
  ResponseJsonStructure();
  ResponseJsonStructure(const ResponseJsonStructure& other)
      : ResponseJsonStructure() {
    *this = other;
  }
  ResponseJsonStructure& operator=(const ResponseJsonStructure&) = default;

  bool status = true;
  int32_t errorCode = 0;  // 1000 when the operation was not done
  ProgressJson progress;
  ResultJson result;
  SessionJson session;
};

}  // namespace zorel
