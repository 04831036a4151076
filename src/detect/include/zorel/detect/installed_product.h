#pragma once
// CInstalledProduct: one element of the "products" array of the Products
// answers: {"productname": NAME}.

#include <string>

#include "zorel/bridge/json.h"

namespace zorel {

class CInstalledProduct : public JSON {
 public:
  CInstalledProduct();
  explicit CInstalledProduct(const std::wstring& name);
  std::string productname;  // UTF-8
};

}  // namespace zorel
