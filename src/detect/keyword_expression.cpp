// Keyword expressions: tokens, operand calls, the grammar check and the
// stack evaluation (see keyword_expression.h).

#include "zorel/detect/keyword_expression.h"

namespace zorel {

namespace {

bool IsOperator(wchar_t c) {
  return c == L'&' || c == L'|' || c == L'!' || c == L'(' || c == L')';
}

bool IsLetterOrDigit(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

}  // namespace

KeywordExpression::Operand KeywordExpression::ReadOperand(std::wstring_view text) {
  Operand operand;
  if (text.empty() || !IsLetterOrDigit(text.front())) return operand;
  const std::wstring lower = LowerCase(text);
  const std::wstring_view all = lower;
  const size_t dot = all.find(L'.');
  if (dot == std::wstring_view::npos) return operand;  // one part only
  if (all.substr(0, dot) != L"productname") return operand;
  std::wstring_view part = all.substr(dot + 1);
  part = part.substr(0, part.find(L'.'));  // further parts are ignored
  const size_t open = part.find(L'[');
  if (open == std::wstring_view::npos) return operand;
  const auto test = CStringEvaluator::TestNamed(part.substr(0, open));
  if (!test) return operand;
  const size_t close = part.rfind(L']');
  std::wstring_view arguments = (close == std::wstring_view::npos || close < open)
                                    ? part.substr(open + 1)
                                    : part.substr(open + 1, close - open - 1);
  operand.call = true;
  operand.test = *test;
  operand.argument = std::wstring(arguments.substr(0, arguments.find(L',')));
  return operand;
}

KeywordExpression::KeywordExpression(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const wchar_t c = text[i];
    if (IsOperator(c)) {
      TokenType type = c == L'&'   ? TokenType::kAnd
                       : c == L'|' ? TokenType::kOr
                       : c == L'!' ? TokenType::kNot
                       : c == L'(' ? TokenType::kOpen
                                   : TokenType::kClose;
      tokens_.push_back({type, 0});
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !IsOperator(text[end])) ++end;
    tokens_.push_back({TokenType::kOperand, static_cast<uint32_t>(operands_.size())});
    operands_.push_back(ReadOperand(text.substr(i, end - i)));
    i = end;
  }
  wellFormed_ = Validate();
}

// One pass over the tokens: after an operator or "(" (or at the start) a
// term must begin; after an operand or ")" an operator, ")" or the end.
bool KeywordExpression::Validate() const {
  bool expectTerm = true;
  size_t depth = 0;
  for (const Token& token : tokens_) {
    switch (token.type) {
      case TokenType::kNot:
        if (!expectTerm) return false;
        break;
      case TokenType::kOperand:
        if (!expectTerm) return false;
        expectTerm = false;
        break;
      case TokenType::kOpen:
        if (!expectTerm) return false;
        ++depth;
        break;
      case TokenType::kClose:
        if (expectTerm || depth == 0) return false;
        --depth;
        break;
      case TokenType::kAnd:
      case TokenType::kOr:
        if (expectTerm) return false;
        expectTerm = true;
        break;
    }
  }
  return !expectTerm && depth == 0;
}

bool KeywordExpression::Evaluate(const CStringEvaluator& name) const {
  if (!wellFormed_) return false;
  // One frame per open parenthesis (the first is the whole expression):
  // the value so far, the operator waiting for the next term, and whether
  // a "!" stood before the "(" that opened it.
  enum class Pending : uint8_t { kFirst, kAnd, kOr };
  struct Frame {
    bool value = false;
    Pending pending = Pending::kFirst;
    bool negated = false;
  };
  std::vector<Frame> frames(1);
  bool negate = false;  // parity of the "!" before the current term
  auto combine = [](Frame& frame, bool term) {
    switch (frame.pending) {
      case Pending::kFirst: frame.value = term; break;
      case Pending::kAnd: frame.value = frame.value && term; break;
      case Pending::kOr: frame.value = frame.value || term; break;
    }
  };
  for (const Token& token : tokens_) {
    switch (token.type) {
      case TokenType::kNot:
        negate = !negate;
        break;
      case TokenType::kOperand: {
        Frame& frame = frames.back();
        // A term that cannot change the value is not tested.
        const bool decided = (frame.pending == Pending::kAnd && !frame.value) ||
                             (frame.pending == Pending::kOr && frame.value);
        if (!decided) {
          const Operand& operand = operands_[token.operand];
          const bool truth = operand.call && name.Run(operand.test, operand.argument);
          combine(frame, truth != negate);
        }
        negate = false;
        break;
      }
      case TokenType::kOpen:
        frames.push_back({false, Pending::kFirst, negate});
        negate = false;
        break;
      case TokenType::kClose: {
        const Frame inner = frames.back();
        frames.pop_back();
        combine(frames.back(), inner.value != inner.negated);
        break;
      }
      case TokenType::kAnd:
        frames.back().pending = Pending::kAnd;
        break;
      case TokenType::kOr:
        frames.back().pending = Pending::kOr;
        break;
    }
  }
  return frames.back().value;
}

bool EvaluateKeywordExpression(std::wstring_view expression, std::wstring_view name) {
  return KeywordExpression(expression).Evaluate(CStringEvaluator(name));
}

}  // namespace zorel
