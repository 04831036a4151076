// CStringEvaluator and the linear first-occurrence search behind it.

#include "zorel/detect/string_evaluator.h"

#include <cwctype>

namespace zorel {

std::wstring LowerCase(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return lower;
}

namespace {

// Short needles (the catalogue's are) are searched directly: at most
// kDirectLimit comparisons per position keeps that linear too.
constexpr size_t kDirectLimit = 32;

// Knuth-Morris-Pratt for long needles.
size_t FindLong(std::wstring_view haystack, std::wstring_view needle) {
  std::vector<size_t> border(needle.size(), 0);
  for (size_t i = 1, k = 0; i < needle.size(); ++i) {
    while (k > 0 && needle[i] != needle[k]) k = border[k - 1];
    if (needle[i] == needle[k]) ++k;
    border[i] = k;
  }
  for (size_t i = 0, k = 0; i < haystack.size(); ++i) {
    while (k > 0 && haystack[i] != needle[k]) k = border[k - 1];
    if (haystack[i] == needle[k]) ++k;
    if (k == needle.size()) return i + 1 - needle.size();
  }
  return std::wstring_view::npos;
}

}  // namespace

size_t FindFirst(std::wstring_view haystack, std::wstring_view needle) {
  if (needle.size() > haystack.size()) return std::wstring_view::npos;
  if (needle.size() <= kDirectLimit) return haystack.find(needle);
  return FindLong(haystack, needle);
}

CStringEvaluator::CStringEvaluator(std::wstring_view subject) : subject_(LowerCase(subject)) {}

std::optional<CStringEvaluator::Test> CStringEvaluator::TestNamed(std::wstring_view name) {
  if (name == L"contains") return Test::kContains;
  if (name == L"startswith") return Test::kStartsWith;
  if (name == L"endswith") return Test::kEndsWith;
  if (name == L"equals") return Test::kEquals;
  return std::nullopt;
}

bool CStringEvaluator::Run(Test test, std::wstring_view argument) const {
  const std::wstring_view s = subject_;
  if (s.empty()) return false;
  switch (test) {
    case Test::kContains:
      return s.size() >= argument.size() && FindFirst(s, argument) != std::wstring_view::npos;
    case Test::kStartsWith:
      // The first occurrence is at 0 exactly when S begins with A.
      return s.size() >= argument.size() && s.substr(0, argument.size()) == argument;
    case Test::kEndsWith:
      return s.size() >= argument.size() &&
             FindFirst(s, argument) == s.size() - argument.size();
    case Test::kEquals:
      return s == argument;
  }
  return false;
}

bool CStringEvaluator::Call(std::wstring_view method,
                            const std::vector<std::wstring>& arguments) const {
  const std::optional<Test> test = TestNamed(method);
  if (!test) return false;
  return Run(*test, arguments.empty() ? std::wstring_view() : std::wstring_view(arguments[0]));
}

}  // namespace zorel
