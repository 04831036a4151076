// One detection run: suite records, the uninstall scan, matching, suite
// resolution, the final list and its report (see product_detection.h).

#include "zorel/detect/product_detection.h"

#include <exception>
#include <map>
#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/detect/catalogue_model.h"
#include "zorel/detect/final_list.h"
#include "zorel/detect/installed_product.h"
#include "zorel/detect/installer_names.h"
#include "zorel/detect/product_catalogue.h"
#include "zorel/detect/suite_resolution.h"
#include "zorel/detect/uninstall_entries.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/com/installed_product_registry.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

namespace {

using namespace platform;

constexpr int32_t kDetectionFailed = 20030;

void Log(LogLevel level, const wchar_t* text) { FrameworkLog::Instance().Write(level, L"%s", text); }
void Log(LogLevel level, const wchar_t* prefix, const std::wstring& value) {
  FrameworkLog::Instance().Write(level, L"%s%s", prefix, value.c_str());
}

// A record of the installed product registry.
struct SuiteRecord {
  std::wstring name;     // "package_name"
  std::wstring partner;  // "affid", "0" when it has none
  std::wstring account;  // "accnt_id"
  std::wstring email;    // "e_mail"
};

// The component's records; none when neither class can be created. A
// value that cannot be read counts as empty, and the record stays.
std::vector<SuiteRecord> ReadSuiteRecords(IMachine& machine) {
  std::vector<SuiteRecord> records;
  std::unique_ptr<IInstalledProductRegistry> component;
  if (createInstalledProductRegistry(machine, kProductRegistryClass, &component) == kSOkResult) {
    for (const std::wstring& code : component->productCodes()) {
      Log(LogLevel::Info, L"Detected product with code ", code);
      std::unique_ptr<IProductRecord> record;
      if (component->openRecord(code, &record) != kProductRecordFound) continue;
      SuiteRecord suite;
      record->readValue(L"package_name", &suite.name);
      record->readValue(L"accnt_id", &suite.account);
      record->readValue(L"e_mail", &suite.email);
      record->readValue(L"affid", &suite.partner);
      if (suite.partner.empty()) suite.partner = L"0";
      Log(LogLevel::Info, L"Suite Identified - ", suite.name);
      Log(LogLevel::Info, L"consumer account id - ", suite.account);
      Log(LogLevel::Info, L"email id - ", suite.email);
      Log(LogLevel::Info, L"Partner Code Identified - ", suite.partner);
      records.push_back(std::move(suite));
    }
  } else if (createInstalledProductRegistry(machine, kPathwiseRegistryClass, &component) ==
             kSOkResult) {
    records.push_back({L"Olvane Pathwise", L"0", L"", L""});
    Log(LogLevel::Info, L"Suite Identified - ", records.back().name);
  }
  return records;
}

class ScanLog : public UninstallScanObserver {
 public:
  void KeyOpenFailed(WinError) override {
    Log(LogLevel::Error, L"Failed to open the uninstall key for reading.");
  }
  void KeyInfoFailed(WinError) override {
    Log(LogLevel::Error, L"Failed to get the details about subkeys under uninstall key.");
  }
  void EnumerationFailed(WinError e) override {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to enumerate for subkeys. Error Code:%d",
                                   e);
  }
  void SubKeyOpenFailed(const std::wstring& name) override {
    Log(LogLevel::Error, L"Failed to open the subkey: ", name);
  }
};

struct Candidate {
  std::wstring name;
  std::wstring version;
};

// The uninstall entries whose names hold a brand keyword, by lower-cased
// name (64-bit view first; a name seen again is kept as first seen).
std::map<std::wstring, Candidate> ScanUninstallKeys(IRegistry& registry,
                                                    const ProductCatalogue& catalogue) {
  std::map<std::wstring, Candidate> candidates;
  ScanLog log;
  const auto branded = [&](const std::wstring& name) { return catalogue.MatchesKeywordList(name); };
  for (const wchar_t* key : {kUninstallKey, kWow64UninstallKey}) {
    std::vector<UninstallEntry> entries;
    ReadUninstallKey(registry, key, entries, branded, &log);
    for (UninstallEntry& entry : entries) {
      if (!branded(entry.displayName)) continue;
      std::wstring name = std::move(entry.displayName);
      if (entry.installerValue || LooksLikeProductCode(entry.subKey)) {
        std::wstring productName;
        if (InstallerProductName(registry, entry.subKey, productName) == ERROR_SUCCESS) {
          name = std::move(productName);
        } else {
          Log(LogLevel::Info,
              L"Failed to verify if the entry for the product exists in "
              L"'HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products' location");
        }
      }
      std::wstring lower = LowerCase(name);
      candidates.emplace(std::move(lower), Candidate{std::move(name), std::move(entry.displayVersion)});
    }
  }
  return candidates;
}

void DropUnsellableProducts(DetectedMap& detected) {
  for (auto it = detected.begin(); it != detected.end();) {
    if (!it->second.entry->IsSuite() && it->second.entry->sellable == "0") {
      it = detected.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

void DetectedSet::Insert(const std::wstring& name) {
  for (const std::wstring& known : names_)
    if (known == name) return;
  names_.push_back(name);
}

DetectionOutcome RunDetection(IMachine& machine) {
  Log(LogLevel::Info, L"Started detection of Olvane products.");
  const std::vector<SuiteRecord> records = ReadSuiteRecords(machine);
  if (records.empty()) Log(LogLevel::Warn, L"No consumer suites were detected");
  const ProductCatalogue& catalogue = ProductCatalogue::Instance();

  DetectedMap fromRecords;
  for (const SuiteRecord& record : records) {
    auto match = MatchName(catalogue, record.name, PartnerOf(record.partner));
    if (!match) continue;
    DetectedProduct product{match->entry, record.name,          L"",
                            match->detectionType, match->partnerCode, record.email,
                            record.account};
    fromRecords.emplace(MapKey(*match->entry), std::move(product));
  }
  DetectedMap fromUninstall;
  for (auto& [key, candidate] : ScanUninstallKeys(machine.registry(), catalogue)) {
    auto match = MatchName(catalogue, candidate.name, L"0");
    if (!match) continue;
    DetectedProduct product{match->entry, candidate.name, candidate.version,
                            match->detectionType, match->partnerCode, L"", L""};
    fromUninstall.emplace(MapKey(*match->entry), std::move(product));
  }

  Log(LogLevel::Info, L"products detected using Exact Match");
  int exact = 0;
  for (const DetectedMap* map : {&fromRecords, &fromUninstall})
    for (const auto& [key, product] : *map)
      if (product.detectionType == DetectionType::kExactMatch)
        FrameworkLog::Instance().Write(LogLevel::Info, L"%d %s", ++exact, key.c_str());
  Log(LogLevel::Info, L"Merging the maps to a single one");
  DetectedMap detected = std::move(fromRecords);
  for (auto& [key, product] : fromUninstall) detected.emplace(key, std::move(product));

  size_t added = ResolveSuites(detected, catalogue);
  DropUnsellableProducts(detected);
  added += ResolveSuites(detected, catalogue);

  DetectionOutcome outcome;
  outcome.notMapped = added > 1 && detected.size() > 1;
  if (detected.empty()) Log(LogLevel::Warn, L"No products detected");
  Log(LogLevel::Info, L"List of Detected Products:");
  for (const auto& [key, product] : detected) Log(LogLevel::Info, key.c_str());
  outcome.finalList = FinalListText(detected, outcome.notMapped);
  if (!detected.empty()) {
    const std::wstring path = FinalListPath(machine);
    if (SaveFinalList(machine, outcome.finalList) == 0) {
      Log(LogLevel::Info, L"Saved file - ", path);
    } else {
      Log(LogLevel::Error, L"Failed to save file - ", path);
    }
  }
  outcome.finalMap = std::move(detected);
  return outcome;
}

std::unique_ptr<CJSONProductsInfo> Detect(const std::vector<std::wstring>&, int32_t& errorCode,
                                          DetectedSet& detected) {
  try {
    IMachine* machine = currentMachine();
    if (!machine) throw std::runtime_error("The machine cannot be opened.");
    DetectionOutcome outcome = RunDetection(*machine);
    auto info = std::make_unique<CJSONProductsInfo>();
    for (const auto& [key, product] : outcome.finalMap) {
      info->products.Append(std::make_unique<CInstalledProduct>(key));
      detected.Insert(key);
    }
    errorCode = 0;
    return info;
  } catch (const std::exception& e) {
    Log(LogLevel::Error, fromUtf8(e.what()).c_str());
  } catch (...) {
    Log(LogLevel::Error, L"Unknown exception during product detection.");
  }
  errorCode = kDetectionFailed;
  return nullptr;
}

}  // namespace zorel
