#pragma once
// The written report of a detection run, FinalList.json:
//   {"notmapped": "0" | "1", "products": [CJSONProductReport, ...]}
// one product object per entry of the final list in key order, written as
// UTF-8 to %TEMP%\PRODUCTDETECT\xml\FinalList.json when the list is not
// empty (replacing an older file).

#include <cstdint>
#include <string>

#include "zorel/bridge/json.h"
#include "zorel/bridge/object_list.h"
#include "zorel/detect/product_matching.h"

namespace zorel {

namespace platform {
class IMachine;
}

class CJSONProductReport : public JSON {
 public:
  CJSONProductReport();
  std::string productname;     // the entry's "displayname"
  std::string productversion;  // the uninstall entry's DisplayVersion, else ""
  std::string productcode;
  int32_t detectiontype = 0;   // 1 exact match, 2 keyword match, 4 suite resolution
  std::string partnercode;     // the one accepted; "0" for a suite added by resolution
  std::string isselected = "1";
  std::string emailid;         // from the suite record, else ""
  std::string accountid;       // from the suite record, else ""
};

class CJSONProducts : public JSON {
 public:
  CJSONProducts();
  ObjectListOf<CJSONProductReport> products;
  std::string notmapped = "0";  // "1": resolution added more than one suite for a list of several
};

// The document for a final map (styled JSON text, keys in order); an empty
// map gives an empty "products" array.
std::string FinalListText(const DetectedMap& finalMap, bool notMapped);

// The Windows path FinalList.json is written to on `machine`; empty when
// the machine's environment has no TEMP.
std::wstring FinalListPath(platform::IMachine& machine);

// Writes `text` to FinalListPath through a temporary file renamed into
// place, so a reader never sees half a file.
// RETURNS 0; ERROR_ENVVAR_NOT_FOUND (203) without a TEMP folder; another
// Windows code when the file cannot be written.
int32_t SaveFinalList(platform::IMachine& machine, const std::string& text);

}  // namespace zorel
