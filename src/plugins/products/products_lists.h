#pragma once
// The lists the Products objects of one process share, and the machine
// they read.

#include <string>
#include <vector>

#include "zorel/detect/product_detection.h"

namespace zorel {

namespace platform {
class IMachine;
}

namespace products_detail {

struct ProgramLists {
  DetectedSet detected;                 // names of every detection run's final list
  bool detectedDone = false;            // set by getOlvaneProducts
  bool lastDetectionFailed = false;     // the latest detection run answered 20030
  std::vector<std::wstring> others;     // uninstall-list names without a brand keyword
  bool othersDone = false;              // set by the first getNonOlvaneProducts
  bool othersUnread = false;            // that call could read neither uninstall key
};

// The process's lists. Used from the script thread only.
ProgramLists& Lists();

// The process's machine; throws std::runtime_error when there is none.
platform::IMachine& Machine();

// True when the name holds a brand keyword ("olvane", "pryne security").
bool IsBranded(const std::wstring& name);

// Equality ignoring case, one character at a time by the C library's rule.
bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b);

}  // namespace products_detail
}  // namespace zorel
