#pragma once
// The property every keyword-expression input must keep, shared by the
// libFuzzer target and the replay driver: an input is an expression, a
// line feed and a program name (UTF-8; no line feed: the whole input is the
// expression and the name is empty). Evaluating never crashes, and for an
// expression inside the grammar, "!(" e ")" is the negation of e and
// "(" e ")" has the value of e. A broken property aborts.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "zorel/common/utf8.h"
#include "zorel/detect/keyword_expression.h"

namespace zorel::fuzz {

inline void CheckKeywordExpression(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const std::wstring expression = fromUtf8(input.substr(0, split));
  const std::wstring name =
      split == std::string_view::npos ? std::wstring() : fromUtf8(input.substr(split + 1));
  const CStringEvaluator subject(name);
  const KeywordExpression compiled(expression);
  const bool value = compiled.Evaluate(subject);
  if (!compiled.WellFormed()) {
    if (value) {
      std::fputs("an expression outside the grammar was true\n", stderr);
      std::abort();
    }
    return;
  }
  const KeywordExpression negated(L"!(" + expression + L")");
  const KeywordExpression grouped(L"(" + expression + L")");
  if (!negated.WellFormed() || negated.Evaluate(subject) == value ||
      !grouped.WellFormed() || grouped.Evaluate(subject) != value) {
    std::fputs("grouping or negation changed the value of a well-formed expression\n", stderr);
    std::abort();
  }
}

}  // namespace zorel::fuzz
