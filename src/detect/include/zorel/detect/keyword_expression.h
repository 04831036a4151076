#pragma once
// Keyword expressions: the "keywordmatch" rule of a catalogue entry, tested
// against one program name.
//
// Text: "&", "|", "!", "(" and ")" are operators wherever they stand, inside
// square brackets too; an operand is a maximal run of any other characters,
// blanks included. An operand that begins with a letter or digit is a call
// VARIABLE.METHOD[ARGUMENTS], read after lower-casing the operand and
// splitting it at ".": VARIABLE must be "productname", METHOD one of the
// CStringEvaluator tests, ARGUMENTS the text between the part's first "["
// and its last "]" (to the end of the part when no "]" follows), of which
// the text before the first "," is used. Further "." parts are ignored, so
// a "." inside the brackets cuts the argument. Any other operand is false.
//
// Grammar:   expr := term (("&" | "|") term)*
//            term := "!"* (operand | "(" expr ")")
// "&" and "|" have equal precedence and apply from left to right. An
// expression outside the grammar is false as a whole: claiming a product
// on text nobody can read would be worse than missing it.
//
// Compiling and evaluating take time linear in the expression (plus the
// string tests), with an explicit stack on the heap: no recursion, however
// deep the parentheses. The program name is only ever the subject of the
// tests, never part of the expression text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/detect/string_evaluator.h"

namespace zorel {

class KeywordExpression {
 public:
  explicit KeywordExpression(std::wstring_view text);

  // True when the text follows the grammar.
  bool WellFormed() const { return wellFormed_; }
  // The expression's truth for the subject of `name`; false when the text
  // is outside the grammar.
  bool Evaluate(const CStringEvaluator& name) const;

 private:
  enum class TokenType : uint8_t { kOperand, kAnd, kOr, kNot, kOpen, kClose };
  struct Token {
    TokenType type;
    uint32_t operand;  // index into operands_ for kOperand
  };
  struct Operand {
    bool call = false;  // false: the operand is false whatever the name
    CStringEvaluator::Test test = CStringEvaluator::Test::kContains;
    std::wstring argument;
  };

  static Operand ReadOperand(std::wstring_view text);
  bool Validate() const;

  std::vector<Token> tokens_;
  std::vector<Operand> operands_;
  bool wellFormed_ = false;
};

// Compiles `expression` and evaluates it for `name`.
bool EvaluateKeywordExpression(std::wstring_view expression, std::wstring_view name);

}  // namespace zorel
