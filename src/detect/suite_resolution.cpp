// Suite resolution (see suite_resolution.h).

#include "zorel/detect/suite_resolution.h"

#include <set>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/detect/catalogue_model.h"
#include "zorel/detect/product_catalogue.h"
#include "zorel/log/framework_log.h"

namespace zorel {

namespace {

void Info(const wchar_t* text) { FrameworkLog::Instance().Write(LogLevel::Info, L"%s", text); }

}  // namespace

size_t ResolveSuites(DetectedMap& detected, const ProductCatalogue& catalogue) {
  Info(L"Entered GetFinalDetectedList function");
  if (detected.empty()) {
    Info(L"GetFinalDetectedList::The detected products list is blank");
    return 0;
  }
  std::vector<std::wstring> suites;
  bool anyProduct = false;
  for (const auto& [key, product] : detected) {
    if (product.entry->IsSuite()) {
      suites.push_back(key);
    } else {
      anyProduct = true;
    }
  }
  if (!anyProduct) {
    Info(L"GetFinalDetectedList::There are no individual products detected");
    return 0;
  }
  const auto& mapping = catalogue.Suites();
  // Member keys of each suite of the mapping, in mapping order.
  std::vector<std::set<std::wstring>> members(mapping.size());
  for (size_t s = 0; s < mapping.size(); ++s)
    for (const std::wstring& member : mapping[s].members) members[s].insert(LowerCase(member));

  // Detected suites cover their members.
  for (const std::wstring& suite : suites) {
    for (size_t s = 0; s < mapping.size(); ++s) {
      if (LowerCase(mapping[s].name) != suite) continue;
      for (const std::wstring& member : members[s]) {
        auto found = detected.find(member);
        if (found != detected.end() && !found->second.entry->IsSuite()) detected.erase(found);
      }
    }
  }

  // The products left that some suite contains.
  std::set<std::wstring> uncovered;
  bool anyLeft = false;
  for (const auto& [key, product] : detected) {
    if (product.entry->IsSuite()) continue;
    anyLeft = true;
    for (const auto& suite : members)
      if (suite.count(key)) uncovered.insert(key);
  }
  if (anyLeft && uncovered.empty())
    Info(L"GetFinalDetectedList :: Not able to get the associated suite details from the JSON");

  size_t added = 0;
  while (!uncovered.empty()) {
    size_t best = mapping.size(), bestCount = 0;
    for (size_t s = 0; s < mapping.size(); ++s) {
      size_t count = 0;
      for (const std::wstring& key : uncovered) count += members[s].count(key);
      if (count == 0) continue;
      if (count > bestCount ||
          (count == bestCount && mapping[s].members.size() < mapping[best].members.size())) {
        best = s;
        bestCount = count;
      }
    }
    if (best == mapping.size()) break;  // cannot happen: every key left is some suite's member
    const CJSONProduct* entry = catalogue.FindEntry(mapping[best].name);
    if (!entry) {
      // The products stay as they are; the suite is not tried again.
      FrameworkLog::Instance().Write(
          LogLevel::Info,
          L"GetFinalDetectedList :: Failed to get the product details from the JSON for: %s",
          mapping[best].name.c_str());
      for (const std::wstring& key : members[best]) uncovered.erase(key);
      continue;
    }
    for (const std::wstring& key : members[best])
      if (uncovered.erase(key)) detected.erase(key);
    DetectedProduct suite;
    suite.entry = entry;
    suite.sourceName = mapping[best].name;
    suite.detectionType = DetectionType::kSuiteResolution;
    suite.partnerCode = L"0";
    if (detected.emplace(MapKey(*entry), std::move(suite)).second) ++added;
  }
  return added;
}

}  // namespace zorel
