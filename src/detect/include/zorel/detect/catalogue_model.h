#pragma once
// The product catalogue's JSON model: the whole catalogue
// (CJSONProductDetection), its rules (CJSONDetection) with their entries
// (CJSONProduct), and the suite composition (CJSONMapping, CJSONSuite,
// CJSONSubProduct). Text members hold UTF-8; the catalogue itself is ASCII.

#include <cstdint>
#include <string>

#include "zorel/bridge/json.h"
#include "zorel/bridge/object_list.h"

namespace zorel {

// One catalogue entry.
class CJSONProduct : public JSON {
 public:
  CJSONProduct();

  std::string exactmatch;    // the display name that identifies the product exactly
  std::string displayname;   // the name reported for it
  std::string keywordmatch;  // a keyword expression (keyword_expression.h)
  std::string producttype;   // "product" or "suite"
  std::string productcode;   // short code
  std::string partnercode;   // comma-separated partner codes, "0" for none
  std::string issupported;   // "1" or "0"
  std::string sellable;      // "1" or "0"
  std::string keyword;       // keyword list (the "keyword" rule only)
  std::string delimiter;     // its separator (the "keyword" rule only)
  std::string comparetype;   // set by detection: "exactmatch", "keywordmatch", "notdefined"
  int32_t productid = 0;

  bool IsSuite() const { return producttype == "suite"; }
};

class CJSONDetection : public JSON {
 public:
  CJSONDetection();
  std::string method;                    // "keyword" or "compare"
  ObjectListOf<CJSONProduct> product;    // the rule's entries
};

class CJSONSubProduct : public JSON {
 public:
  CJSONSubProduct();
  std::string name;  // "exactmatch" of a member product
};

class CJSONSuite : public JSON {
 public:
  CJSONSuite();
  std::string name;                        // "exactmatch" of a suite entry
  ObjectListOf<CJSONSubProduct> product;   // its members
};

class CJSONMapping : public JSON {
 public:
  CJSONMapping();
  ObjectListOf<CJSONSuite> suite;
};

class CJSONProductDetection : public JSON {
 public:
  CJSONProductDetection();
  ObjectListOf<CJSONDetection> detection;
  ObjectListOf<CJSONMapping> mapping;
};

}  // namespace zorel
