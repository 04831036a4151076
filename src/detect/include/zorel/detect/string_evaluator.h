#pragma once
// CStringEvaluator: the four string tests a keyword expression can ask of a
// program name. The subject is held lower-cased; arguments come from a
// lower-cased expression, so both sides compare in lower case.
//
//   contains    S is not empty, |S| >= |A| and A occurs in S
//   startswith  S is not empty, |S| >= |A| and the first occurrence of A is at 0
//   endswith    S is not empty, |S| >= |A| and the first occurrence of A
//               begins at |S| - |A| (so "ab" does not end "abab")
//   equals      S is not empty and S equals A
//
// Every test is false for an empty subject. The searches take time linear
// in |S| + |A| whatever the texts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorel {

// Lower case as the catalogue rules use it (the C library's towlower, one
// character at a time).
std::wstring LowerCase(std::wstring_view text);

// Position of the first occurrence of `needle` in `haystack`, or npos; an
// empty needle is found at 0. Linear worst case.
size_t FindFirst(std::wstring_view haystack, std::wstring_view needle);

class CStringEvaluator {
 public:
  enum class Test { kContains, kStartsWith, kEndsWith, kEquals };

  explicit CStringEvaluator(std::wstring_view subject);

  // The test named by its lower-case name, if there is one.
  static std::optional<Test> TestNamed(std::wstring_view name);

  bool Run(Test test, std::wstring_view argument) const;
  // The named test on the first of `arguments` (none: the empty argument);
  // false for a name that is not one of the four.
  bool Call(std::wstring_view method, const std::vector<std::wstring>& arguments) const;

  const std::wstring& Subject() const { return subject_; }

 private:
  std::wstring subject_;  // lower-cased
};

}  // namespace zorel
