#pragma once
// Matching a program name against the catalogue's "compare" entries, and
// the map of what detection found.
//
// A name is compared with the entries in catalogue order by exact match
// (the name as its source gives it, case included), then in catalogue order
// by keyword expression (which lower-cases it). A matched entry is accepted
// when the source's partner code is one of the entry's comma-separated
// codes, or, failing that, with partner "0" when "0" is one of them. The
// first accepted match wins.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zorel {

class CJSONProduct;
class ProductCatalogue;

// How an entry came into the final list; the numbers are the report's.
namespace DetectionType {
inline constexpr int32_t kExactMatch = 1;
inline constexpr int32_t kKeywordMatch = 2;
inline constexpr int32_t kSuiteResolution = 4;  // reported as "notdefined"
}  // namespace DetectionType

// One detected product or suite.
struct DetectedProduct {
  const CJSONProduct* entry = nullptr;  // its catalogue entry
  std::wstring sourceName;   // the name as the source gave it
  std::wstring version;      // the uninstall entry's DisplayVersion, else empty
  int32_t detectionType = DetectionType::kExactMatch;
  std::wstring partnerCode;  // the partner code accepted
  std::wstring email;        // from a suite record, else empty
  std::wstring account;      // from a suite record, else empty
};

// Detected entries by their catalogue name ("exactmatch") lower-cased.
using DetectedMap = std::map<std::wstring, DetectedProduct>;

struct CatalogueMatch {
  const CJSONProduct* entry = nullptr;
  int32_t detectionType = DetectionType::kExactMatch;
  std::wstring partnerCode;
};

// The accepted match of `name` for a source with `partner`, if any.
std::optional<CatalogueMatch> MatchName(const ProductCatalogue& catalogue, std::wstring_view name,
                                        std::wstring_view partner);

// The partner code a suite record's "affid" stands for: its text before
// the first "-", "0" when that is empty.
std::wstring PartnerOf(std::wstring_view affid);

// The detected-map key of a catalogue entry.
std::wstring MapKey(const CJSONProduct& entry);

}  // namespace zorel
