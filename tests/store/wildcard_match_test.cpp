// File-name patterns of the packaging walk, as FindFirstFileW matches them.

#include <gtest/gtest.h>

#include "wildcard_match.h"

namespace zorel {
namespace {

using store_detail::MatchesFilePattern;

TEST(FilePattern, StarAndQuestionMarkIgnoringCase) {
  EXPECT_TRUE(MatchesFilePattern(L"setup.LOG", L"*.log"));
  EXPECT_TRUE(MatchesFilePattern(L"a1.txt", L"a?.txt"));
  EXPECT_FALSE(MatchesFilePattern(L"a12.txt", L"a?.txt"));
  EXPECT_FALSE(MatchesFilePattern(L"x.log.bak", L"*.log"));
  EXPECT_TRUE(MatchesFilePattern(L"x.log.bak", L"*.log*"));
  EXPECT_TRUE(MatchesFilePattern(L"keep.ini", L"KEEP.INI"));
  EXPECT_FALSE(MatchesFilePattern(L"keep.ini", L"keep.in"));
}

TEST(FilePattern, DotStarAlsoMatchesNamesWithoutExtension) {
  EXPECT_TRUE(MatchesFilePattern(L"README", L"*.*"));
  EXPECT_TRUE(MatchesFilePattern(L"a.b.c", L"*.*"));
  EXPECT_TRUE(MatchesFilePattern(L"hosts", L"hosts.*"));
  EXPECT_FALSE(MatchesFilePattern(L"hostsx", L"hosts.*"));
}

TEST(FilePattern, ManyStarsStayFast) {
  // Backtracking of one point per star: this would take ages if the match
  // tried every split of the name.
  const std::wstring name(4000, L'a');
  EXPECT_FALSE(MatchesFilePattern(name, L"*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(MatchesFilePattern(name, L"*a*a*a*a*a*a*a*a*a*a*"));
}

}  // namespace
}  // namespace zorel
