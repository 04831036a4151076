#pragma once
// The product catalogue as compiled into the program: product_catalogue.json
// of this folder, made into a wide-text constant by the build
// (embed_catalogue.cmake).

namespace zorel::detect_detail {

extern const wchar_t kCatalogueText[];

}  // namespace zorel::detect_detail
