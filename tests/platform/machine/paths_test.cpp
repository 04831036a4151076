// Windows path <-> host path mapping on a fresh machine.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "temp_machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

using testing::TempMachine;

TEST(Paths, DriveCMapsIntoDriveCWithEitherSeparatorAndAnyCase) {
  TempMachine m;
  const IPathMapper& p = m->paths();
  std::string host;
  ASSERT_EQ(p.toHostPath(L"C:\\WINDOWS\\system32", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Windows/System32");
  ASSERT_EQ(p.toHostPath(L"c:/windows/SYSTEM32", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Windows/System32");
  ASSERT_EQ(p.toHostPath(L"\\\\?\\C:\\Program Files (x86)", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Program Files (x86)");
}

TEST(Paths, MissingComponentsKeepTheirCaseAfterTheLastMatch) {
  TempMachine m;
  std::string host;
  ASSERT_EQ(m->paths().toHostPath(L"C:\\users\\USER\\NewDir\\File.TXT", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Users/User/NewDir/File.TXT");
}

TEST(Paths, DotDotNeverClimbsAboveTheDriveRoot) {
  TempMachine m;
  const IPathMapper& p = m->paths();
  std::string host;
  ASSERT_EQ(p.toHostPath(L"C:\\..\\..\\..\\..\\etc\\passwd", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/etc/passwd");
  ASSERT_EQ(p.toHostPath(L"C:\\Windows\\..\\..\\..\\Windows\\.\\System32\\..", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Windows");
  std::wstring deep = L"C:";
  for (int i = 0; i < 5000; ++i) deep += L"\\..";
  ASSERT_EQ(p.toHostPath(deep + L"\\Users", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Users");
  ASSERT_EQ(p.toHostPath(L"Z:\\..\\..\\tmp", host), 0);
  EXPECT_EQ(host, "/tmp");
}

TEST(Paths, TrailingDotsAndBlanksAreDroppedAsWindowsDoes) {
  TempMachine m;
  std::string host;
  ASSERT_EQ(m->paths().toHostPath(L"C:\\Windows.  \\System32.", host), 0);
  EXPECT_EQ(host, m.root() + "/drive_c/Windows/System32");
}

TEST(Paths, BadInputGetsWindowsErrors) {
  TempMachine m;
  const IPathMapper& p = m->paths();
  std::string host = "untouched";
  EXPECT_EQ(p.toHostPath(L"", host), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(p.toHostPath(L"Q:\\x", host), ERROR_PATH_NOT_FOUND);       // no such drive
  EXPECT_EQ(p.toHostPath(L"\\\\server\\share\\x", host), 53);          // ERROR_BAD_NETPATH
  EXPECT_EQ(p.toHostPath(L"C:\\a<b", host), ERROR_INVALID_NAME);
  EXPECT_EQ(p.toHostPath(L"C:\\a|b\\c", host), ERROR_INVALID_NAME);
  EXPECT_EQ(p.toHostPath(L"C:\\a\\b:c", host), ERROR_INVALID_NAME);
  EXPECT_EQ(p.toHostPath(std::wstring(L"C:\\a\0b", 6), host), ERROR_INVALID_NAME);
  EXPECT_EQ(host, "untouched");
}

TEST(Paths, ZDriveIsTheHostRoot) {
  TempMachine m;
  std::string host;
  ASSERT_EQ(m->paths().toHostPath(L"Z:\\", host), 0);
  EXPECT_EQ(host, "/");
  ASSERT_EQ(m->paths().toHostPath(L"z:/TMP", host), 0);
  EXPECT_EQ(host, "/tmp");
}

TEST(Paths, ReverseMappingShowsDriveCOrZ) {
  TempMachine m;
  const IPathMapper& p = m->paths();
  EXPECT_EQ(p.toWindowsPath(m.root() + "/drive_c/Windows/System32"), L"C:\\Windows\\System32");
  EXPECT_EQ(p.toWindowsPath(m.root() + "/drive_c"), L"C:\\");
  EXPECT_EQ(p.toWindowsPath(m.root() + "/drive_c/Users/../Windows/"), L"C:\\Windows");
  EXPECT_EQ(p.toWindowsPath("/usr/lib"), L"Z:\\usr\\lib");
  // A sibling whose name only starts like drive_c is not on C:.
  std::wstring expected = L"Z:\\";
  for (char c : m.root().substr(1) + "/drive_cx/file") expected.push_back(c == '/' ? L'\\' : c);
  EXPECT_EQ(p.toWindowsPath(m.root() + "/drive_cx/file"), expected);
}

TEST(Paths, RoundTripOfAnExistingFile) {
  TempMachine m;
  std::string host;
  ASSERT_EQ(m->paths().toHostPath(L"C:\\Users\\User\\Documents\\Report.txt", host), 0);
  std::ofstream(host) << "x";
  std::string again;
  ASSERT_EQ(m->paths().toHostPath(L"c:\\USERS\\user\\documents\\REPORT.TXT", again), 0);
  EXPECT_EQ(again, host);
  EXPECT_EQ(m->paths().toWindowsPath(again), L"C:\\Users\\User\\Documents\\Report.txt");
}

}  // namespace
}  // namespace zorel::platform
