// Environment block, special folders and version facts read from the
// registry of the two images.

#include <gtest/gtest.h>
#include <stdlib.h>

#include "temp_machine.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/shell_assoc.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::platform {
namespace {

using testing::TempMachine;

std::wstring var(IMachine& m, const wchar_t* name) {
  std::wstring v;
  EXPECT_EQ(m.environment().getVariable(name, v), 0) << name;
  return v;
}

TEST(Environment, BlockComesFromTheRegistryAsAtLogon) {
  TempMachine m;
  EXPECT_EQ(var(*m, L"SystemRoot"), L"C:\\Windows");
  EXPECT_EQ(var(*m, L"WINDIR"), L"C:\\Windows");  // names ignore case
  EXPECT_EQ(var(*m, L"SystemDrive"), L"C:");
  EXPECT_EQ(var(*m, L"ProgramFiles"), L"C:\\Program Files");
  EXPECT_EQ(var(*m, L"ProgramFiles(x86)"), L"C:\\Program Files (x86)");
  EXPECT_EQ(var(*m, L"ProgramData"), L"C:\\ProgramData");
  EXPECT_EQ(var(*m, L"ALLUSERSPROFILE"), L"C:\\ProgramData");
  EXPECT_EQ(var(*m, L"PUBLIC"), L"C:\\Users\\Public");
  EXPECT_EQ(var(*m, L"APPDATA"), L"C:\\Users\\User\\AppData\\Roaming");
  EXPECT_EQ(var(*m, L"LOCALAPPDATA"), L"C:\\Users\\User\\AppData\\Local");
  EXPECT_EQ(var(*m, L"USERPROFILE"), L"C:\\Users\\User");
  EXPECT_EQ(var(*m, L"USERNAME"), L"User");  // the user's, not the machine's SYSTEM
  EXPECT_EQ(var(*m, L"COMPUTERNAME"), L"DESKTOP-ZR7Q2KD");
  EXPECT_EQ(var(*m, L"ComSpec"), L"C:\\Windows\\system32\\cmd.exe");
  // The user's TEMP wins over the machine's; the user's Path follows the machine's.
  EXPECT_EQ(var(*m, L"TEMP"), L"C:\\Users\\User\\AppData\\Local\\Temp");
  const std::wstring path = var(*m, L"Path");
  EXPECT_EQ(path.rfind(L"C:\\Windows\\system32;C:\\Windows;", 0), 0u) << path;
  EXPECT_NE(path.find(L";C:\\Users\\User\\AppData\\Local\\Microsoft\\WindowsApps;"),
            std::wstring::npos);
}

TEST(Environment, HostVariablesDoNotLeakIn) {
  ::setenv("ZOREL_HOST_ONLY", "1", 1);
  TempMachine m;
  std::wstring v = L"untouched";
  EXPECT_EQ(m->environment().getVariable(L"ZOREL_HOST_ONLY", v), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(m->environment().getVariable(L"HOME", v), ERROR_ENVVAR_NOT_FOUND);
  EXPECT_EQ(v, L"untouched");
  for (const auto& [name, value] : m->environment().block()) EXPECT_NE(name, L"ZOREL_HOST_ONLY");
  ::unsetenv("ZOREL_HOST_ONLY");
}

TEST(Environment, BlockIsSortedIgnoringCase) {
  TempMachine m;
  const auto block = m->environment().block();
  ASSERT_GT(block.size(), 20u);
  for (size_t i = 1; i < block.size(); ++i) {
    std::wstring a, b;
    for (wchar_t c : block[i - 1].first) a.push_back(towupper(c));
    for (wchar_t c : block[i].first) b.push_back(towupper(c));
    EXPECT_LE(a, b);
  }
}

TEST(Environment, ExpandEnvironmentStringsSemantics) {
  TempMachine m;
  const IEnvironment& env = m->environment();
  EXPECT_EQ(env.expand(L"%WINDIR%\\x"), L"C:\\Windows\\x");
  EXPECT_EQ(env.expand(L"100%"), L"100%");
  EXPECT_EQ(env.expand(L"a%b%c"), L"a%b%c");
  EXPECT_EQ(env.expand(L"%%"), L"%%");
  // The '%' closing an unknown name may open the next one.
  EXPECT_EQ(env.expand(L"%nope%windir%"), L"%nopeC:\\Windows");
  EXPECT_EQ(env.expand(L"%SystemDrive%%SystemDrive%"), L"C:C:");

  wchar_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  // Too small: the size needed (with the NUL) comes back and nothing is written.
  EXPECT_EQ(env.expandEnvironmentStrings(L"%windir%", buffer, 8), 11u);
  EXPECT_EQ(buffer[0], L'#');
  wchar_t big[32];
  EXPECT_EQ(env.expandEnvironmentStrings(L"%windir%", big, 32), 11u);
  EXPECT_STREQ(big, L"C:\\Windows");
  EXPECT_EQ(env.expandEnvironmentStrings(nullptr, big, 32), 0u);
}

TEST(Environment, SetVariableChangesOnlyTheProcessBlock) {
  TempMachine m;
  IEnvironment& env = m->environment();
  const std::wstring value = L"v";
  EXPECT_EQ(env.setVariable(L"MINE", &value), 0);
  EXPECT_EQ(env.expand(L"%mine%"), L"v");
  EXPECT_EQ(env.setVariable(L"MINE", nullptr), 0);
  EXPECT_EQ(env.expand(L"%mine%"), L"%mine%");
  EXPECT_EQ(env.setVariable(L"", &value), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(env.setVariable(L"A=B", &value), ERROR_INVALID_PARAMETER);
}

TEST(SpecialFolders, RealFoldersHavePathsAndVirtualOnesFail) {
  TempMachine m;
  const ISpecialFolders& f = m->specialFolders();
  struct Row {
    int csidl;
    const wchar_t* path;
  } rows[] = {
      {CSIDL_WINDOWS, L"C:\\Windows"},
      {CSIDL_SYSTEM, L"C:\\Windows\\System32"},
      {CSIDL_SYSTEMX86, L"C:\\Windows\\SysWOW64"},
      {CSIDL_FONTS, L"C:\\Windows\\Fonts"},
      {CSIDL_PROGRAM_FILES, L"C:\\Program Files"},
      {CSIDL_PROGRAM_FILESX86, L"C:\\Program Files (x86)"},
      {CSIDL_PROGRAM_FILES_COMMON, L"C:\\Program Files\\Common Files"},
      {CSIDL_PROGRAM_FILES_COMMONX86, L"C:\\Program Files (x86)\\Common Files"},
      {CSIDL_APPDATA, L"C:\\Users\\User\\AppData\\Roaming"},
      {CSIDL_LOCAL_APPDATA, L"C:\\Users\\User\\AppData\\Local"},
      {CSIDL_COMMON_APPDATA, L"C:\\ProgramData"},
      {CSIDL_PERSONAL, L"C:\\Users\\User\\Documents"},
      {CSIDL_MYDOCUMENTS, L"C:\\Users\\User\\Documents"},
      {CSIDL_PROFILE, L"C:\\Users\\User"},
      {CSIDL_COMMON_DOCUMENTS, L"C:\\Users\\Public\\Documents"},
      {CSIDL_INTERNET_CACHE, L"C:\\Users\\User\\AppData\\Local\\Microsoft\\Windows\\INetCache"},
      {CSIDL_CDBURN_AREA, L"C:\\Users\\User\\AppData\\Local\\Microsoft\\Windows\\Burn\\Burn"},
      {CSIDL_STARTUP | CSIDL_FLAG_CREATE,
       L"C:\\Users\\User\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
  };
  for (const Row& r : rows) {
    std::wstring path;
    EXPECT_EQ(f.getFolderPath(r.csidl, path), kSOk) << r.csidl;
    EXPECT_EQ(path, r.path) << r.csidl;
  }
  for (int csidl : {CSIDL_DRIVES, CSIDL_BITBUCKET, CSIDL_CONTROLS, CSIDL_PRINTERS, CSIDL_NETWORK,
                    CSIDL_INTERNET, CSIDL_ALTSTARTUP, 0x7F, 400}) {
    std::wstring path = L"untouched";
    EXPECT_EQ(f.getFolderPath(csidl, path), kEInvalidArg) << csidl;
    EXPECT_EQ(path, L"untouched");
  }
}

TEST(SpecialFolders, FollowAMovedUserShellFolder) {
  TempMachine m;
  ASSERT_EQ(writeValueAt(m->registry(), kHkeyCurrentUser,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                         L"Personal", REG_EXPAND_SZ, regSz(L"%SystemDrive%\\Docs")), 0);
  std::wstring path;
  EXPECT_EQ(m->specialFolders().getFolderPath(CSIDL_PERSONAL, path), kSOk);
  EXPECT_EQ(path, L"C:\\Docs");
}

TEST(VersionInfo, Windows10ProAnswers) {
  TempMachine m;
  const IVersionInfo& v = m->versionInfo();
  OsVersionInfoEx info;
  ASSERT_EQ(v.getVersionEx(info), 0);
  EXPECT_EQ(info.majorVersion, 10u);
  EXPECT_EQ(info.minorVersion, 0u);
  EXPECT_EQ(info.buildNumber, 19045u);
  EXPECT_EQ(info.platformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(info.csdVersion, L"");
  EXPECT_EQ(info.servicePackMajor, 0);
  EXPECT_EQ(info.productType, VER_NT_WORKSTATION);
  EXPECT_EQ(info.suiteMask, VER_SUITE_SINGLEUSERTS);
  uint32_t product = 0xdeadbeef;
  EXPECT_EQ(v.getProductInfo(6, 2, 0, 0, product), 0);
  EXPECT_EQ(product, 48u);  // PRODUCT_PROFESSIONAL
  EXPECT_EQ(v.systemDefaultUILanguage(), 0x0409);
  std::wstring locale;
  EXPECT_EQ(lcidToLocaleName(v.systemDefaultUILanguage(), locale), 0);
  EXPECT_EQ(locale, L"en-US");
  EXPECT_TRUE(v.is64BitOperatingSystem());
  EXPECT_FALSE(v.isWow64Process());
  EXPECT_EQ(v.productName(), L"Windows 10 Pro");
  uint32_t uac = 0;
  const wchar_t* policies = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  EXPECT_EQ(readDword(m->registry(), kHkeyLocalMachine, policies, L"ConsentPromptBehaviorAdmin", &uac), 0);
  EXPECT_EQ(uac, 5u);
  EXPECT_EQ(readDword(m->registry(), kHkeyLocalMachine, policies, L"PromptOnSecureDesktop", &uac), 0);
  EXPECT_EQ(uac, 1u);
}

TEST(VersionInfo, Windows7HomePremiumSp1Answers) {
  TempMachine m(L"win7-sp1");
  const IVersionInfo& v = m->versionInfo();
  OsVersionInfoEx info;
  ASSERT_EQ(v.getVersionEx(info), 0);
  EXPECT_EQ(info.majorVersion, 6u);
  EXPECT_EQ(info.minorVersion, 1u);
  EXPECT_EQ(info.buildNumber, 7601u);
  EXPECT_EQ(info.csdVersion, L"Service Pack 1");
  EXPECT_EQ(info.servicePackMajor, 1);
  EXPECT_EQ(info.servicePackMinor, 0);
  EXPECT_EQ(info.suiteMask, VER_SUITE_SINGLEUSERTS | VER_SUITE_PERSONAL);
  uint32_t product = 0;
  EXPECT_EQ(v.getProductInfo(6, 2, 0, 0, product), 0);
  EXPECT_EQ(product, 3u);  // PRODUCT_HOME_PREMIUM
  EXPECT_EQ(v.productName(), L"Windows 7 Home Premium");
  EXPECT_EQ(v.systemMetrics(SM_MEDIACENTER), 1);
}

// at-least(M, m, S) as the OS plug-in asks it.
WinError atLeast(const IVersionInfo& v, uint32_t major, uint32_t minor, uint16_t sp) {
  OsVersionInfoEx want;
  want.majorVersion = major;
  want.minorVersion = minor;
  want.servicePackMajor = sp;
  uint64_t mask = verSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = verSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = verSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return v.verifyVersionInfo(want, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR, mask);
}

TEST(VersionInfo, VerifyVersionInfoComparesMajorMinorServicePackAsOneNumber) {
  TempMachine w10;
  EXPECT_EQ(atLeast(w10->versionInfo(), 10, 0, 0), 0);
  EXPECT_EQ(atLeast(w10->versionInfo(), 6, 1, 1), 0);
  EXPECT_EQ(atLeast(w10->versionInfo(), 6, 3, 0), 0);
  EXPECT_EQ(atLeast(w10->versionInfo(), 10, 1, 0), ERROR_OLD_WIN_VERSION);
  TempMachine w7(L"win7-sp1");
  EXPECT_EQ(atLeast(w7->versionInfo(), 6, 1, 1), 0);
  EXPECT_EQ(atLeast(w7->versionInfo(), 6, 0, 2), 0);  // 6.1 SP1 is above 6.0 SP2
  EXPECT_EQ(atLeast(w7->versionInfo(), 6, 1, 2), ERROR_OLD_WIN_VERSION);
  EXPECT_EQ(atLeast(w7->versionInfo(), 6, 2, 0), ERROR_OLD_WIN_VERSION);
  OsVersionInfoEx want;
  EXPECT_EQ(w7->versionInfo().verifyVersionInfo(want, 0, 0), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(w7->versionInfo().verifyVersionInfo(want, VER_MAJORVERSION, 0), ERROR_INVALID_PARAMETER);
}

TEST(ShellAssoc, DefaultBrowserFollowsTheUserChoice) {
  TempMachine w10;
  std::wstring exe;
  EXPECT_EQ(assocQueryExecutable(w10->registry(), w10->environment(), L"http", L"open", exe), 0);
  EXPECT_EQ(exe, L"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe");
  TempMachine w7(L"win7-sp1");
  EXPECT_EQ(assocQueryExecutable(w7->registry(), w7->environment(), L"http", L"open", exe), 0);
  EXPECT_EQ(exe, L"C:\\Program Files\\Internet Explorer\\iexplore.exe");
  exe = L"untouched";
  EXPECT_EQ(assocQueryExecutable(w7->registry(), w7->environment(), L"nosuchproto", L"open", exe),
            kHresultNoAssociation);
  EXPECT_EQ(exe, L"untouched");
}

}  // namespace
}  // namespace zorel::platform
