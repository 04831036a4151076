#pragma once
// ProgressJson: the "progress" of a UI response, and the session controller's
// shared progress record.

#include <cstdint>
#include <string>

#include "zorel/bridge/json.h"

namespace zorel {

// "stageId", "percentage", "message", plus the progress error code, which is
// bound to no key: the UI sees it only as the response's "errorcode".
class ProgressJson : public JSON {
 public:
  ProgressJson();
  ProgressJson(const ProgressJson& other) : ProgressJson() { *this = other; }
  ProgressJson& operator=(const ProgressJson&) = default;

  int32_t stageId = -1;
  int32_t percentage = 0;
  std::string message;    // a framework text or "$GEN1000$" / "$GEN1001$"
  int32_t errorCode = 0;  // > 0 when the run failed (1000)
};

}  // namespace zorel
