#include "zorel/detect/installed_product.h"

#include "zorel/common/utf8.h"

namespace zorel {

CInstalledProduct::CInstalledProduct() { BindString("productname", productname); }

CInstalledProduct::CInstalledProduct(const std::wstring& name) : CInstalledProduct() {
  productname = toUtf8(name);
}

}  // namespace zorel
