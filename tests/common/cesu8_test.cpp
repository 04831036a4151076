// CESU-8 at a script engine's boundary.

#include "zorel/common/cesu8.h"

#include <gtest/gtest.h>

namespace zorel {
namespace {

TEST(Cesu8, CharactersBeyondTheBmpBecomeSurrogatePairs) {
  EXPECT_EQ(WideToCesu8(L"\U0001F600"), "\xed\xa0\xbd\xed\xb8\x80");
  EXPECT_EQ(Cesu8ToWide("\xed\xa0\xbd\xed\xb8\x80"), L"\U0001F600");
  EXPECT_EQ(Cesu8ToWide("\xf0\x9f\x98\x80"), L"\U0001F600");  // plain UTF-8 accepted too
  EXPECT_EQ(Utf8ToCesu8("a\xf0\x9f\x98\x80" "b"), "a\xed\xa0\xbd\xed\xb8\x80" "b");
  EXPECT_EQ(Cesu8ToUtf8("a\xed\xa0\xbd\xed\xb8\x80" "b"), "a\xf0\x9f\x98\x80" "b");
}

TEST(Cesu8, BmpAndAsciiAreOrdinaryUtf8) {
  EXPECT_EQ(WideToCesu8(L"caf\u00e9 \u20ac"), "caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(Cesu8ToWide("caf\xc3\xa9 \xe2\x82\xac"), L"caf\u00e9 \u20ac");
}

TEST(Cesu8, BadBytesAndLoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Cesu8ToWide("\xff" "A"), L"\uFFFD" L"A");
  EXPECT_EQ(Cesu8ToWide("\xc3"), L"\uFFFD");                 // cut short
  EXPECT_EQ(Cesu8ToWide("\xc0\x80"), L"\uFFFD");             // overlong
  EXPECT_EQ(Cesu8ToWide("\xed\xa0\xbd" "A"), L"\uFFFD" L"A");  // high half alone
  EXPECT_EQ(Cesu8ToWide("\xed\xb8\x80"), L"\uFFFD");         // low half alone
}

}  // namespace
}  // namespace zorel
