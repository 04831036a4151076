#include "fs/linux/find_pattern_linux.h"

#include <cwctype>

namespace zorel::platform::detail {

namespace {

bool sameLetter(wchar_t a, wchar_t b) {
  return a == b || std::towlower(static_cast<wint_t>(a)) == std::towlower(static_cast<wint_t>(b));
}

// Iterative match with one backtrack point per "*": never recursive,
// whatever the pattern.
bool glob(std::wstring_view name, std::wstring_view pattern) {
  size_t n = 0, p = 0;
  size_t starP = std::wstring_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == L'?' || sameLetter(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::wstring_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

}  // namespace

bool findPatternMatches(std::wstring_view name, std::wstring_view pattern) {
  if (glob(name, pattern)) return true;
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == L".*" &&
      name.find(L'.') == std::wstring_view::npos) {
    return glob(name, pattern.substr(0, pattern.size() - 2));
  }
  return false;
}

}  // namespace zorel::platform::detail
