// Matching names against the catalogue (see product_matching.h).

#include "zorel/detect/product_matching.h"

#include "zorel/common/utf8.h"
#include "zorel/detect/product_catalogue.h"

namespace zorel {

namespace {

// The partner code the entry accepts for `partner`, if any.
std::optional<std::wstring> Accepted(const CJSONProduct& entry, std::wstring_view partner) {
  const std::wstring codes = fromUtf8(entry.partnercode);
  bool zero = false;
  size_t start = 0;
  for (;;) {
    const size_t end = codes.find(L',', start);
    const std::wstring_view code = std::wstring_view(codes).substr(
        start, end == std::wstring::npos ? std::wstring_view::npos : end - start);
    if (code == partner) return std::wstring(partner);
    zero = zero || code == L"0";
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  if (zero) return std::wstring(L"0");
  return std::nullopt;
}

}  // namespace

std::optional<CatalogueMatch> MatchName(const ProductCatalogue& catalogue, std::wstring_view name,
                                        std::wstring_view partner) {
  const auto& entries = catalogue.CompareEntries();
  const std::string narrow = toUtf8(name);
  for (const CJSONProduct* entry : entries) {
    if (entry->exactmatch != narrow) continue;
    if (auto code = Accepted(*entry, partner))
      return CatalogueMatch{entry, DetectionType::kExactMatch, std::move(*code)};
  }
  const CStringEvaluator subject(name);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!catalogue.Expression(i).Evaluate(subject)) continue;
    if (auto code = Accepted(*entries[i], partner))
      return CatalogueMatch{entries[i], DetectionType::kKeywordMatch, std::move(*code)};
  }
  return std::nullopt;
}

std::wstring PartnerOf(std::wstring_view affid) {
  const std::wstring_view code = affid.substr(0, affid.find(L'-'));
  return code.empty() ? std::wstring(L"0") : std::wstring(code);
}

std::wstring MapKey(const CJSONProduct& entry) { return LowerCase(fromUtf8(entry.exactmatch)); }

}  // namespace zorel
