// libFuzzer target: keyword expressions (see keyword_expression_check.h for
// the input and the property checked). Built with clang-16 under
// -DZOREL_FUZZ=ON; fuzz/corpus/keyword_expression seeds it.

#include "keyword_expression_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zorel::fuzz::CheckKeywordExpression(data, size);
  return 0;
}
