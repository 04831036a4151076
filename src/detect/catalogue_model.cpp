// Member bindings of the catalogue model.

#include "zorel/detect/catalogue_model.h"

namespace zorel {

CJSONProduct::CJSONProduct() {
  BindString("exactmatch", exactmatch);
  BindString("displayname", displayname);
  BindString("keywordmatch", keywordmatch);
  BindString("producttype", producttype);
  BindString("productcode", productcode);
  BindString("partnercode", partnercode);
  BindString("issupported", issupported);
  BindString("sellable", sellable);
  BindString("keyword", keyword);
  BindString("delimiter", delimiter);
  BindString("comparetype", comparetype);
  BindInt("productid", productid);
}

CJSONDetection::CJSONDetection() {
  BindString("method", method);
  BindArray("product", product);
}

CJSONSubProduct::CJSONSubProduct() { BindString("name", name); }

CJSONSuite::CJSONSuite() {
  BindString("name", name);
  BindArray("product", product);
}

CJSONMapping::CJSONMapping() { BindArray("suite", suite); }

CJSONProductDetection::CJSONProductDetection() {
  BindArray("detection", detection);
  BindArray("mapping", mapping);
}

}  // namespace zorel
