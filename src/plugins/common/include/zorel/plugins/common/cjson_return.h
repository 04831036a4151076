#pragma once
// CJSONReturn: the answer of every plug-in method, as the script sees it
// (the JSON text of this object). Subclasses in plugin_returns.h add the
// members of particular methods.

#include <cstdint>

#include "zorel/bridge/json.h"

namespace zorel {

class CJSONReturn : public JSON {
 public:
  CJSONReturn();

  bool status = false;        // "status": the method obtained what it was asked for
  bool returnValue = false;   // "return": the answer of a yes/no method
  int32_t errorcode = 0;      // "errorcode": the plug-in's final error code
};

}  // namespace zorel
