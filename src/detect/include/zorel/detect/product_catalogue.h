#pragma once
// ProductCatalogue: the catalogue compiled into the program, parsed once and
// kept read-only, with what detection asks of it: the keyword list, the
// "compare" entries in catalogue order with their compiled expressions, the
// suites of the mapping and entry lookup by name.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/detect/catalogue_model.h"
#include "zorel/detect/keyword_expression.h"

namespace zorel {

class ProductCatalogue {
 public:
  // One suite of the mapping, in mapping order.
  struct Suite {
    std::wstring name;                  // "exactmatch" of the suite entry
    std::vector<std::wstring> members;  // "exactmatch" names of its products
  };

  // The compiled catalogue, parsed on first use (thread-safe) and kept for
  // the rest of the process. Throws as Parse does.
  static const ProductCatalogue& Instance();

  // Parses a catalogue text. Throws std::runtime_error
  // "Read JSON File::The file is empty." for an empty text or "{}", and
  // "Read JSON File::Failed to read the JSON file and get the product
  // details" for a text that is not JSON or holds no detection rule.
  static std::unique_ptr<ProductCatalogue> Parse(std::wstring_view text);

  const CJSONProductDetection& Model() const { return model_; }
  // The "keyword" rule's keyword split at its delimiter (empty pieces dropped).
  const std::vector<std::wstring>& Keywords() const { return keywords_; }
  // The entries of the "compare" rules, in catalogue order.
  const std::vector<const CJSONProduct*>& CompareEntries() const { return compare_; }
  // The compiled "keywordmatch" of CompareEntries()[index].
  const KeywordExpression& Expression(size_t index) const { return expressions_[index]; }
  const std::vector<Suite>& Suites() const { return suites_; }

  // The "compare" entry whose "exactmatch" is `name` (same case), or null.
  const CJSONProduct* FindEntry(std::wstring_view name) const;
  // True when the lower-cased name contains one of the keywords.
  bool MatchesKeywordList(std::wstring_view name) const;

 private:
  ProductCatalogue() = default;

  CJSONProductDetection model_;
  std::vector<std::wstring> keywords_;
  std::vector<const CJSONProduct*> compare_;
  std::vector<KeywordExpression> expressions_;
  std::vector<Suite> suites_;
};

// True when some entry of `names` equals `name` exactly (case included).
bool ExactMatch(std::wstring_view name, const std::vector<std::wstring>& names);
// True when some expression of `expressions` is true for `name`.
bool KeywordExpressionMatch(std::wstring_view name, const std::vector<std::wstring>& expressions);

}  // namespace zorel
