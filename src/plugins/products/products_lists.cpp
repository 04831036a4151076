#include "products_lists.h"

#include <cwctype>
#include <stdexcept>

#include "zorel/detect/product_catalogue.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/products/products.h"

namespace zorel {

namespace products_detail {

ProgramLists& Lists() {
  static ProgramLists lists;
  return lists;
}

platform::IMachine& Machine() {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) throw std::runtime_error("no machine");
  return *machine;
}

bool IsBranded(const std::wstring& name) {
  return ProductCatalogue::Instance().MatchesKeywordList(name);
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  return true;
}

}  // namespace products_detail

void ResetProductLists() { products_detail::Lists() = products_detail::ProgramLists(); }

}  // namespace zorel
