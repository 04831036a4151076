// The OS plug-in's rules that need no machine: version-argument format, UAC
// level table, edition names and the description text.

#include "zorel/plugins/os/os_texts.h"

#include <gtest/gtest.h>

namespace zorel::os_texts {
namespace {

using namespace zorel::platform;

TEST(VersionText, AcceptsOneOrTwoDigitsWithAnOptionalMinor) {
  struct Case {
    const char* text;
    int32_t major, minor;
  } cases[] = {{"6", 6, 0}, {"10", 10, 0}, {"6.1", 6, 1}, {"10.0", 10, 0}, {"10.10", 10, 10},
               {"0", 0, 0}, {"99.99", 99, 99}};
  for (const Case& c : cases) {
    int32_t major = -1, minor = -1;
    ASSERT_TRUE(ParseVersionText(c.text, major, minor)) << c.text;
    EXPECT_EQ(major, c.major) << c.text;
    EXPECT_EQ(minor, c.minor) << c.text;
  }
}

TEST(VersionText, RejectsEverythingElseAndLeavesTheNumbers) {
  for (const char* text : {"6.10", "6.1.2", " 6", "6 ", "", "a6", "6.", ".1", "100", "6,1",
                           "-6", "+6", "6.1a", "1e1", "\xd9\xa6"}) {
    int32_t major = -1, minor = -1;
    EXPECT_FALSE(ParseVersionText(text, major, minor)) << text;
    EXPECT_EQ(major, -1);
    EXPECT_EQ(minor, -1);
  }
}

TEST(UacLevel, FollowsThePolicyTable) {
  EXPECT_EQ(UacStatus(0, std::nullopt), 1);  // never notify: the second value is not read
  EXPECT_EQ(UacStatus(0, 1u), 1);
  EXPECT_EQ(UacStatus(2, 0u), 4);
  EXPECT_EQ(UacStatus(2, 7u), 4);
  EXPECT_EQ(UacStatus(5, 1u), 3);
  EXPECT_EQ(UacStatus(5, 0u), 2);
  EXPECT_EQ(UacStatus(5, 2u), 0);
  EXPECT_EQ(UacStatus(1, 1u), 0);
  EXPECT_EQ(UacStatus(3, 0u), 0);
  EXPECT_EQ(UacStatus(5, std::nullopt), 0);
}

TEST(Editions, NamesTheKnownTypesAndNotTheGaps) {
  EXPECT_EQ(EditionName(1), L"Ultimate Edition");
  EXPECT_EQ(EditionName(3), L"Home Premium Edition");
  EXPECT_EQ(EditionName(35), L"without Hyper-V for Windows Essential Server Solutions");
  EXPECT_EQ(EditionName(48), L"Professional Edition");
  EXPECT_EQ(EditionName(74), L"Consumer Preview");
  for (uint32_t gap : {0u, 19u, 25u, 34u, 43u, 46u, 50u, 65u, 72u, 73u, 75u, 101u, 0xFFFFFFFFu})
    EXPECT_EQ(EditionName(gap), L"") << gap;
}

OsDetailFacts Nt(uint32_t major, uint32_t minor, uint32_t build,
                 uint8_t productType = VER_NT_WORKSTATION) {
  OsDetailFacts f;
  f.haveVersion = true;
  f.version.platformId = VER_PLATFORM_WIN32_NT;
  f.version.majorVersion = major;
  f.version.minorVersion = minor;
  f.version.buildNumber = build;
  f.version.productType = productType;
  return f;
}

TEST(Description, ModernWindowsWithEditionAndBuild) {
  OsDetailFacts f = Nt(10, 0, 19045);
  f.productType = 48;
  EXPECT_EQ(OsDetailText(f), L"Windows 10 Professional Edition(Build 19045)");
  f.productType = 101;  // no entry: the build follows the base text directly
  EXPECT_EQ(OsDetailText(f), L"Windows 10 (Build 19045)");
  f.productType.reset();  // GetProductInfo failed
  EXPECT_EQ(OsDetailText(f), L"Windows 10 (Build 19045)");

  f = Nt(6, 1, 7601);
  f.productType = 3;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows 7 Home Premium Edition(Build 7601)");
  f = Nt(6, 1, 7601, VER_NT_SERVER);
  f.productType = 7;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows Server 2008 R2 Server Standard Edition(Build 7601)");
  EXPECT_EQ(OsDetailText(Nt(10, 0, 17763, VER_NT_SERVER)), L"Windows 10 Server (Build 17763)");
  EXPECT_EQ(OsDetailText(Nt(6, 3, 9600)), L"Microsoft Windows 8.1 (Build 9600)");
  EXPECT_EQ(OsDetailText(Nt(6, 2, 9200, VER_NT_DOMAIN_CONTROLLER)),
            L"Microsoft Windows Server 2012 (Build 9200)");
  EXPECT_EQ(OsDetailText(Nt(6, 0, 6002)), L"Microsoft Windows Vista (Build 6002)");
}

TEST(Description, UnknownVersionsGetOnlyTheLow16BitsOfTheBuild) {
  EXPECT_EQ(OsDetailText(Nt(10, 1, 1)), L"(Build 1)");
  EXPECT_EQ(OsDetailText(Nt(6, 4, 2)), L"(Build 2)");
  EXPECT_EQ(OsDetailText(Nt(5, 3, 3)), L"(Build 3)");
  EXPECT_EQ(OsDetailText(Nt(8, 0, 4)), L"(Build 4)");
  EXPECT_EQ(OsDetailText(Nt(10, 0, 0x10005)), L"Windows 10 (Build 5)");
}

TEST(Description, OlderNtFamilies) {
  OsDetailFacts xp = Nt(5, 1, 2600);
  EXPECT_EQ(OsDetailText(xp), L"Microsoft Windows XP Professional Edition (Build 2600)");
  xp.version.suiteMask = VER_SUITE_PERSONAL;
  EXPECT_EQ(OsDetailText(xp), L"Microsoft Windows XP Home Edition (Build 2600)");
  xp.tabletPc = 1;
  EXPECT_EQ(OsDetailText(xp), L"Microsoft Windows XP Tablet PC Edition (Build 2600)");
  xp.mediaCenter = 1;
  EXPECT_EQ(OsDetailText(xp), L"Microsoft Windows XP Media Center Edition (Build 2600)");

  OsDetailFacts w2k = Nt(5, 0, 2195, VER_NT_SERVER);
  w2k.version.suiteMask = VER_SUITE_ENTERPRISE;
  EXPECT_EQ(OsDetailText(w2k), L"Microsoft Windows 2000 Advanced Server (Build 2195)");
  EXPECT_EQ(OsDetailText(Nt(5, 0, 2195)), L"Microsoft Windows 2000 Professional (Build 2195)");
  EXPECT_EQ(OsDetailText(Nt(4, 0, 1381)), L"Microsoft Windows NT (Build 1381)");
}

TEST(Description, Server2003ByArchitectureAndSuite) {
  OsDetailFacts f = Nt(5, 2, 3790, VER_NT_SERVER);
  f.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  f.version.suiteMask = VER_SUITE_DATACENTER;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows XP Server 2003 Datacenter x64 Edition (Build 3790)");
  f.serverR2 = 1;
  f.version.suiteMask = 0;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows Server 2003 R2 Standard x64 Edition (Build 3790)");
  f.serverR2 = 0;
  f.nativeArchitecture = PROCESSOR_ARCHITECTURE_IA64;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows XP Server 2003 (Build 3790)");
  f.nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
  f.version.suiteMask = VER_SUITE_BLADE;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows XP Server 2003 Web Edition (Build 3790)");
  f.version.suiteMask = VER_SUITE_STORAGE_SERVER;
  EXPECT_EQ(OsDetailText(f),
            L"Microsoft Windows Storage Server 2003 Standard Edition (Build 3790)");

  OsDetailFacts x64 = Nt(5, 2, 3790);
  x64.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
  EXPECT_EQ(OsDetailText(x64), L"Microsoft Windows XP Professional x64 Edition (Build 3790)");
  x64.haveNativeInfo = false;  // no GetNativeSystemInfo: the architecture is unknown
  EXPECT_EQ(OsDetailText(x64), L"Microsoft Windows XP Server 2003 (Build 3790)");
}

TEST(Description, Windows9xAndWin32s) {
  OsDetailFacts f;
  f.haveVersion = true;
  f.version.platformId = 1;
  f.version.majorVersion = 4;
  f.version.minorVersion = 0;
  f.version.csdVersion = L" C";
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows 95 OSR2 ");
  f.version.minorVersion = 10;
  f.version.csdVersion = L" A";
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows 98 SE ");
  f.version.csdVersion = L"";
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows 98 ");
  f.version.minorVersion = 90;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Windows Millennium Edition");
  f.version.minorVersion = 3;
  EXPECT_EQ(OsDetailText(f), L"");
  f.version.platformId = 0;
  EXPECT_EQ(OsDetailText(f), L"Microsoft Win32s");
  f.haveVersion = false;
  EXPECT_EQ(OsDetailText(f), L"");
}

}  // namespace
}  // namespace zorel::os_texts
