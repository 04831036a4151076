// The compiled product catalogue: its counts and mapping, its expressions,
// which names each entry claims, and the loader's refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/detect/product_catalogue.h"

namespace {

using zorel::CJSONProduct;
using zorel::CStringEvaluator;
using zorel::fromUtf8;
using zorel::ProductCatalogue;

const ProductCatalogue& Catalogue() { return ProductCatalogue::Instance(); }

// The entries whose keyword expression is true for `name`, by product code.
std::set<std::string> KeywordMatches(const std::wstring& name) {
  std::set<std::string> codes;
  const CStringEvaluator subject(name);
  for (size_t i = 0; i < Catalogue().CompareEntries().size(); ++i)
    if (Catalogue().Expression(i).Evaluate(subject))
      codes.insert(Catalogue().CompareEntries()[i]->productcode);
  return codes;
}

const ProductCatalogue::Suite* SuiteNamed(const std::wstring& name) {
  for (const auto& suite : Catalogue().Suites())
    if (suite.name == name) return &suite;
  return nullptr;
}

TEST(ProductCatalogue, HasTheSchemaCounts) {
  EXPECT_EQ(Catalogue().Keywords(), (std::vector<std::wstring>{L"olvane", L"pryne security"}));
  const auto& entries = Catalogue().CompareEntries();
  ASSERT_EQ(entries.size(), 32u);
  size_t products = 0, sellable = 0;
  std::set<std::string> codes;
  for (size_t i = 0; i < entries.size(); ++i) {
    const CJSONProduct& e = *entries[i];
    SCOPED_TRACE(e.exactmatch);
    products += e.producttype == "product";
    EXPECT_TRUE(e.producttype == "product" || e.producttype == "suite");
    sellable += e.sellable == "1";
    EXPECT_TRUE(e.sellable == "1" || e.sellable == "0");
    EXPECT_EQ(e.issupported, "1");
    EXPECT_EQ(e.productid, static_cast<int>(i + 1));
    EXPECT_EQ(e.displayname, e.exactmatch);
    EXPECT_TRUE(codes.insert(e.productcode).second) << "code used twice";
    EXPECT_TRUE(Catalogue().Expression(i).WellFormed()) << e.keywordmatch;
    // Each entry claims its own name by both rules.
    EXPECT_EQ(Catalogue().FindEntry(fromUtf8(e.exactmatch)), &e);
    EXPECT_TRUE(KeywordMatches(fromUtf8(e.exactmatch)).count(e.productcode));
  }
  EXPECT_EQ(products, 22u);
  EXPECT_EQ(sellable, 21u);

  ASSERT_EQ(Catalogue().Suites().size(), 10u);
  for (const auto& suite : Catalogue().Suites()) {
    SCOPED_TRACE(zorel::toUtf8(suite.name));
    EXPECT_TRUE(suite.members.size() == 7 || suite.members.size() == 8);
    const CJSONProduct* entry = Catalogue().FindEntry(suite.name);
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->IsSuite());
    for (const std::wstring& member : suite.members) {
      const CJSONProduct* product = Catalogue().FindEntry(member);
      ASSERT_NE(product, nullptr) << zorel::toUtf8(member);
      EXPECT_FALSE(product->IsSuite());
    }
  }
}

TEST(ProductCatalogue, FixedEntriesAndMapping) {
  struct Fixed {
    const char* name;
    const char* type;
    const char* code;
    const char* partners;
    const char* sellable;
    const char* keywordmatch;
  };
  const Fixed fixed[] = {
      {"Olvane Harbor Suite", "suite", "ohs", "0,310", "1",
       "productname.startswith[olvane harbor suite]&!(productname.contains[plus])"},
      {"Olvane Harbor Suite Plus", "suite", "ohp", "0", "1",
       "productname.contains[harbor suite plus]"},
      {"Olvane Pathwise", "suite", "opw", "0", "0", "productname.equals[olvane pathwise]"},
      {"Olvane Lantern Antivirus", "product", "ola", "0", "1",
       "productname.startswith[olvane lantern]&!(productname.contains[beta])"},
      {"Olvane Keel Firewall", "product", "okf", "0", "1", "productname.contains[keel firewall]"},
      {"Olvane Tidewatch Agent", "product", "ota", "0", "0", "productname.contains[tidewatch]"},
      {"Pryne Security Moorline Backup", "product", "pdb", "310", "1",
       "productname.contains[moorline]"},
      {"Olvane Compass Cleaner", "product", "occ", "0", "1",
       "productname.contains[compass cleaner]"},
  };
  for (const Fixed& f : fixed) {
    SCOPED_TRACE(f.name);
    const CJSONProduct* e = Catalogue().FindEntry(fromUtf8(f.name));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->producttype, f.type);
    EXPECT_EQ(e->productcode, f.code);
    EXPECT_EQ(e->partnercode, f.partners);
    EXPECT_EQ(e->sellable, f.sellable);
    EXPECT_EQ(e->keywordmatch, f.keywordmatch);
    // Its own name, and no other entry's expression, claims it.
    EXPECT_EQ(KeywordMatches(fromUtf8(f.name)), std::set<std::string>{f.code});
  }

  const auto* harbor = SuiteNamed(L"Olvane Harbor Suite");
  const auto* plus = SuiteNamed(L"Olvane Harbor Suite Plus");
  const auto* pathwise = SuiteNamed(L"Olvane Pathwise");
  ASSERT_TRUE(harbor && plus && pathwise);
  ASSERT_EQ(harbor->members.size(), 7u);
  for (const wchar_t* member :
       {L"Olvane Lantern Antivirus", L"Olvane Keel Firewall", L"Olvane Tidewatch Agent"})
    EXPECT_NE(std::find(harbor->members.begin(), harbor->members.end(), member),
              harbor->members.end());
  std::vector<std::wstring> expectedPlus = harbor->members;
  expectedPlus.push_back(L"Pryne Security Moorline Backup");
  std::vector<std::wstring> actualPlus = plus->members;
  std::sort(expectedPlus.begin(), expectedPlus.end());
  std::sort(actualPlus.begin(), actualPlus.end());
  EXPECT_EQ(actualPlus, expectedPlus);
  ASSERT_EQ(pathwise->members.size(), 7u);
  EXPECT_EQ(std::count(pathwise->members.begin(), pathwise->members.end(),
                       L"Pryne Security Moorline Backup"),
            1);

  // Which suites hold each of these members.
  std::map<std::wstring, std::set<std::wstring>> holders;
  for (const auto& suite : Catalogue().Suites())
    for (const std::wstring& member : suite.members) holders[member].insert(suite.name);
  const std::set<std::wstring> harborPair{L"Olvane Harbor Suite", L"Olvane Harbor Suite Plus"};
  EXPECT_EQ(holders[L"Olvane Lantern Antivirus"], harborPair);
  EXPECT_EQ(holders[L"Olvane Keel Firewall"], harborPair);
  EXPECT_EQ(holders[L"Olvane Tidewatch Agent"], harborPair);
  EXPECT_EQ(holders[L"Pryne Security Moorline Backup"],
            (std::set<std::wstring>{L"Olvane Harbor Suite Plus", L"Olvane Pathwise"}));
  EXPECT_EQ(holders.count(L"Olvane Compass Cleaner"), 0u);
}

TEST(ProductCatalogue, PlainNamesClaimNothingTheyShouldNot) {
  // Names made of English words, the two brands and version numbers match
  // none of the invented-word entries, and these none at all.
  const wchar_t* none[] = {
      L"Olvane Lantern Antivirus Beta", L"Pryne Security Demo", L"Olvane", L"Pryne Security",
      L"Olvane Security Suite 2.0", L"Olvane Total Protection 2024", L"Olvane Mail Guard",
      L"Olvane Web Filter 10.1", L"Pryne Security Backup Agent", L"Olvane Safe Browser",
      L"Olvane Identity Monitor", L"Olvane Parental Control 3", L"Olvane Updater",
      L"Olvane Suite Trial", L"Acme Tool", L""};
  for (const wchar_t* name : none) {
    SCOPED_TRACE(zorel::toUtf8(name));
    EXPECT_EQ(KeywordMatches(name), std::set<std::string>{});
    EXPECT_EQ(Catalogue().FindEntry(name), nullptr);
  }
  EXPECT_EQ(KeywordMatches(L"Olvane Harbor Suite 2024"), std::set<std::string>{"ohs"});
}

TEST(ProductCatalogue, KeywordListAndExactMatch) {
  EXPECT_TRUE(Catalogue().MatchesKeywordList(L"PRYNE SECURITY Demo"));
  EXPECT_TRUE(Catalogue().MatchesKeywordList(L"my olvane thing"));
  EXPECT_FALSE(Catalogue().MatchesKeywordList(L"Acme Tool"));
  EXPECT_FALSE(Catalogue().MatchesKeywordList(L"Pryne-Security"));
  EXPECT_TRUE(zorel::ExactMatch(L"Acme Shield", {L"x", L"Acme Shield"}));
  EXPECT_FALSE(zorel::ExactMatch(L"Acme Shield", {L"acme shield", L"Acme Shield "}));
  EXPECT_TRUE(zorel::KeywordExpressionMatch(L"acme shield",
                                            {L"(", L"productname.contains[SHIELD]"}));
  EXPECT_FALSE(zorel::KeywordExpressionMatch(L"acme shield", {L"", L"productname.equals[acme]"}));
}

TEST(ProductCatalogue, LoaderRefusesEmptyAndUnreadableText) {
  const std::pair<std::wstring, std::string> cases[] = {
      {L"", "Read JSON File::The file is empty."},
      {L"{}", "Read JSON File::The file is empty."},
      {L"not json", "Read JSON File::Failed to read the JSON file and get the product details"},
      {L"[1]", "Read JSON File::Failed to read the JSON file and get the product details"},
      {L"{\"mapping\":[]}",
       "Read JSON File::Failed to read the JSON file and get the product details"},
  };
  for (const auto& [text, message] : cases) {
    try {
      ProductCatalogue::Parse(text);
      ADD_FAILURE() << "accepted " << zorel::toUtf8(text);
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), message);
    }
  }
}

}  // namespace
