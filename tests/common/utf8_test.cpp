#include "zorel/common/utf8.h"

#include <gtest/gtest.h>

namespace zorel {
namespace {

TEST(Utf8, RoundTripsAsciiAndNonAscii) {
  const std::wstring text = L"C:\\Program Files\\Z\u00f6rel \u65e5\u672c \U0001F600";
  const std::string narrow = toUtf8(text);
  EXPECT_EQ(narrow, "C:\\Program Files\\Z\xc3\xb6rel \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(fromUtf8(narrow), text);
}

TEST(Utf8, MalformedBytesBecomeReplacementCharactersWithoutLosingTheRest) {
  // A lone continuation byte, a truncated sequence, an overlong encoding and
  // an encoded surrogate: each bad byte gives one U+FFFD, the ASCII survives.
  EXPECT_EQ(fromUtf8("a\x80" "b"), L"a\uFFFDb");
  EXPECT_EQ(fromUtf8("a\xe6\x97"), L"a\uFFFD\uFFFD");
  EXPECT_EQ(fromUtf8("\xc0\xaf" "x"), L"\uFFFD\uFFFDx");
  EXPECT_EQ(fromUtf8("\xed\xa0\x80"), L"\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8, JoinsSurrogatePairsAndReplacesLoneSurrogates) {
  std::wstring pair = {wchar_t(0xD83D), wchar_t(0xDE00)};
  EXPECT_EQ(toUtf8(pair), "\xf0\x9f\x98\x80");
  std::wstring lone = {wchar_t(0xD83D), L'x'};
  EXPECT_EQ(toUtf8(lone), "\xef\xbf\xbdx");
}

}  // namespace
}  // namespace zorel
