// ProductCatalogue: parsing the compiled catalogue and the lookups detection
// makes on it.

#include "zorel/detect/product_catalogue.h"

#include <json/reader.h>

#include <stdexcept>

#include "catalogue_text.h"
#include "zorel/common/utf8.h"

namespace zorel {

namespace {

constexpr const char* kEmptyText = "Read JSON File::The file is empty.";
constexpr const char* kUnreadable =
    "Read JSON File::Failed to read the JSON file and get the product details";

std::vector<std::wstring> Split(const std::wstring& text, const std::wstring& delimiter) {
  std::vector<std::wstring> pieces;
  if (delimiter.empty()) {
    if (!text.empty()) pieces.push_back(text);
    return pieces;
  }
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(delimiter, start);
    std::wstring piece = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!piece.empty()) pieces.push_back(std::move(piece));
    if (end == std::wstring::npos) break;
    start = end + delimiter.size();
  }
  return pieces;
}

}  // namespace

const ProductCatalogue& ProductCatalogue::Instance() {
  static const std::unique_ptr<ProductCatalogue> catalogue = Parse(detect_detail::kCatalogueText);
  return *catalogue;
}

std::unique_ptr<ProductCatalogue> ProductCatalogue::Parse(std::wstring_view text) {
  const std::string narrow = toUtf8(text);
  if (narrow.empty() || narrow == "{}") throw std::runtime_error(kEmptyText);
  Json::Value root;
  {
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = 100;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(narrow.data(), narrow.data() + narrow.size(), &root, &errors) ||
        !root.isObject())
      throw std::runtime_error(kUnreadable);
  }
  std::unique_ptr<ProductCatalogue> catalogue(new ProductCatalogue());
  catalogue->model_.FromValue(root);
  if (catalogue->model_.detection.Empty()) throw std::runtime_error(kUnreadable);

  for (size_t r = 0; r < catalogue->model_.detection.Size(); ++r) {
    const CJSONDetection& rule = *catalogue->model_.detection.Get(r);
    for (size_t e = 0; e < rule.product.Size(); ++e) {
      const CJSONProduct& entry = *rule.product.Get(e);
      if (rule.method == "keyword") {
        for (std::wstring& keyword : Split(fromUtf8(entry.keyword), fromUtf8(entry.delimiter)))
          catalogue->keywords_.push_back(LowerCase(keyword));
      } else if (rule.method == "compare") {
        catalogue->compare_.push_back(&entry);
        catalogue->expressions_.emplace_back(fromUtf8(entry.keywordmatch));
      }
    }
  }
  for (size_t m = 0; m < catalogue->model_.mapping.Size(); ++m) {
    const CJSONMapping& mapping = *catalogue->model_.mapping.Get(m);
    for (size_t s = 0; s < mapping.suite.Size(); ++s) {
      const CJSONSuite& suite = *mapping.suite.Get(s);
      Suite resolved{fromUtf8(suite.name), {}};
      for (size_t p = 0; p < suite.product.Size(); ++p)
        resolved.members.push_back(fromUtf8(suite.product.Get(p)->name));
      catalogue->suites_.push_back(std::move(resolved));
    }
  }
  return catalogue;
}

const CJSONProduct* ProductCatalogue::FindEntry(std::wstring_view name) const {
  const std::string narrow = toUtf8(name);
  for (const CJSONProduct* entry : compare_)
    if (entry->exactmatch == narrow) return entry;
  return nullptr;
}

bool ProductCatalogue::MatchesKeywordList(std::wstring_view name) const {
  const std::wstring lower = LowerCase(name);
  for (const std::wstring& keyword : keywords_)
    if (FindFirst(lower, keyword) != std::wstring::npos) return true;
  return false;
}

bool ExactMatch(std::wstring_view name, const std::vector<std::wstring>& names) {
  for (const std::wstring& candidate : names)
    if (candidate == name) return true;
  return false;
}

bool KeywordExpressionMatch(std::wstring_view name, const std::vector<std::wstring>& expressions) {
  const CStringEvaluator subject(name);
  for (const std::wstring& expression : expressions)
    if (KeywordExpression(expression).Evaluate(subject)) return true;
  return false;
}

}  // namespace zorel
