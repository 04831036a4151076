#pragma once
// Installed-product detection: which of the maker's products and suites
// the machine holds, and under which partner.
//
// Sources, in this order: the suite records of the installed product
// registry component (platform/com/installed_product_registry.h; the second
// class, tried only when the first cannot be created, stands for one
// "Olvane Pathwise" record), then the uninstall list's programs whose names
// hold a brand keyword (a Windows Installer entry named by its product
// name). Each name is matched against the catalogue (product_matching.h),
// suites are resolved (suite_resolution.h), unsellable individual products
// are dropped and suites resolved again. The final list is the final map's
// keys in order; when it is not empty FinalList.json is written
// (final_list.h). Every step logs to the framework log.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zorel/detect/product_matching.h"

namespace zorel {

namespace platform {
class IMachine;
}
class CJSONProductsInfo;

// The names found by every detection run of the process, each once, in
// the order first found.
class DetectedSet {
 public:
  void Insert(const std::wstring& name);
  const std::vector<std::wstring>& Names() const { return names_; }
  bool Empty() const { return names_.empty(); }

 private:
  std::vector<std::wstring> names_;
};

struct DetectionOutcome {
  DetectedMap finalMap;     // the final list, by key
  bool notMapped = false;   // resolution added more than one suite for a list of several
  std::string finalList;    // the FinalList document of the final map
};

// One detection run on `machine`. Throws std::exception on failure (the
// catalogue cannot be loaded, the machine cannot be read at all).
DetectionOutcome RunDetection(platform::IMachine& machine);

// Detection as the Products plug-in calls it, on the process's machine:
// runs RunDetection, inserts the final names into `detected` and returns
// their CInstalledProduct list with errorCode 0; on failure logs the
// reason, sets errorCode to 20030 and returns null. `inputs` is unused.
std::unique_ptr<CJSONProductsInfo> Detect(const std::vector<std::wstring>& inputs,
                                          int32_t& errorCode, DetectedSet& detected);

}  // namespace zorel
