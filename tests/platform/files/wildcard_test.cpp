// File-name patterns as FindFirstFileW matches them.

#include <gtest/gtest.h>

#include "zorel/platform/fs/wildcard.h"

namespace zorel {
namespace {

using platform::matchesFilePattern;

TEST(FilePattern, StarAndQuestionMarkIgnoringCase) {
  EXPECT_TRUE(matchesFilePattern(L"setup.LOG", L"*.log"));
  EXPECT_TRUE(matchesFilePattern(L"a1.txt", L"a?.txt"));
  EXPECT_FALSE(matchesFilePattern(L"a12.txt", L"a?.txt"));
  EXPECT_FALSE(matchesFilePattern(L"x.log.bak", L"*.log"));
  EXPECT_TRUE(matchesFilePattern(L"x.log.bak", L"*.log*"));
  EXPECT_TRUE(matchesFilePattern(L"keep.ini", L"KEEP.INI"));
  EXPECT_FALSE(matchesFilePattern(L"keep.ini", L"keep.in"));
}

TEST(FilePattern, DotStarAlsoMatchesNamesWithoutExtension) {
  EXPECT_TRUE(matchesFilePattern(L"README", L"*.*"));
  EXPECT_TRUE(matchesFilePattern(L"a.b.c", L"*.*"));
  EXPECT_TRUE(matchesFilePattern(L"hosts", L"hosts.*"));
  EXPECT_FALSE(matchesFilePattern(L"hostsx", L"hosts.*"));
}

TEST(FilePattern, ManyStarsStayFast) {
  // Backtracking of one point per star: this would take ages if the match
  // tried every split of the name.
  const std::wstring name(4000, L'a');
  EXPECT_FALSE(matchesFilePattern(name, L"*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_TRUE(matchesFilePattern(name, L"*a*a*a*a*a*a*a*a*a*a*"));
}

}  // namespace
}  // namespace zorel
