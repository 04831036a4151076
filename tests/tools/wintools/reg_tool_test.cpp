// reg as a process: output formats and exit codes as Windows' reg.exe gives
// them, and the registry state afterwards.

#include "tool_fixture.h"

namespace zorel::wintools::test {

using namespace platform;

TEST_F(ToolTest, QueryPrintsValuesThenSubkeys) {
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Q' /v Test1 /d 'Hello, World' /f").exit);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Q' /v Test2 /t REG_DWORD /d 0x123 /f").exit);
  ToolRun r = run("reg query 'HKCU\\Software\\Q'");
  EXPECT_EQ(0, r.exit);
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Q\r\n    Test1    REG_SZ    Hello, World\r\n"
            "    Test2    REG_DWORD    0x123\r\n\r\n", r.out);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Q\\subkey' /v Test3 /d 'Some string data' /f").exit);
  r = run("reg query 'HKCU\\Software\\Q'");
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Q\r\n    Test1    REG_SZ    Hello, World\r\n"
            "    Test2    REG_DWORD    0x123\r\n\r\nHKEY_CURRENT_USER\\Software\\Q\\subkey\r\n", r.out);
  r = run("reg query 'HKCU\\Software\\Q\\' /s");
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Q\r\n    Test1    REG_SZ    Hello, World\r\n"
            "    Test2    REG_DWORD    0x123\r\n\r\nHKEY_CURRENT_USER\\Software\\Q\\subkey\r\n"
            "    Test3    REG_SZ    Some string data\r\n\r\n", r.out);
  r = run("reg query 'HKCU\\Software\\Q' /v Test1");
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Q\r\n    Test1    REG_SZ    Hello, World\r\n\r\n", r.out);
}

TEST_F(ToolTest, QueryOfKeyWithOnlySubkeysListsThem) {
  for (const char* sub : {"subkey2", "subkey1"}) {
    ASSERT_EQ(0, run(std::string("reg add 'HKCU\\Software\\Only\\") + sub + "' /f").exit);
  }
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Only\\subkey1\r\nHKEY_CURRENT_USER\\Software\\Only\\subkey2\r\n",
            run("reg query 'HKCU\\Software\\Only'").out);
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\Only\\subkey1\r\n\r\nHKEY_CURRENT_USER\\Software\\Only\\subkey2\r\n\r\n",
            run("reg query 'HKCU\\Software\\Only' /s").out);
}

TEST_F(ToolTest, QueryFailuresExitWithOne) {
  ToolRun r = run("reg query 'HKCU\\Software\\Missing'");
  EXPECT_EQ(1, r.exit);
  EXPECT_EQ("ERROR: The system was unable to find the specified registry key or value.\r\n", r.err);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\QF' /v a /d b /f").exit);
  EXPECT_EQ(1, run("reg query 'HKCU\\Software\\QF' /v Missing").exit);
  EXPECT_EQ(1, run("reg query 'HKCU\\Software\\QF' /v").exit);
  EXPECT_EQ(1, run("reg query 'HKCU\\Software\\QF' /v a /ve").exit);
  EXPECT_EQ(1, run("reg query 'HKCU\\Software\\QF' /s /s").exit);
  EXPECT_EQ(1, run("reg query").exit);
  r = run("reg query 'HKXX\\Software'");
  EXPECT_EQ(1, r.exit);
  EXPECT_EQ(0u, r.err.rfind("ERROR: Invalid key name.", 0));
  EXPECT_EQ(1, run("reg query '\\\\remote-pc\\HKLM\\Software'").exit);
  EXPECT_EQ(0, run("reg query /?").exit);
  EXPECT_EQ(0, run("reg query 'HKCU\\Software\\QF' /ve").exit);
  EXPECT_EQ("\r\nHKEY_CURRENT_USER\\Software\\QF\r\n    (Default)    REG_SZ    (value not set)\r\n\r\n",
            run("reg query 'HKCU\\Software\\QF' /ve").out);
}

TEST_F(ToolTest, AddStoresEveryTypeAsWindowsDoes) {
  const char* key = "'HKLM\\SOFTWARE\\AddTypes'";
  auto add = [&](const std::string& rest) { return run(std::string("reg add ") + key + " " + rest + " /f"); };
  EXPECT_EQ("The operation completed successfully.\r\n", add("/v sz /d text").out);
  EXPECT_EQ(0, add("/v ex /t REG_EXPAND_SZ /d '%SystemRoot%'").exit);
  EXPECT_EQ(0, add("/v bin /t REG_BINARY /d 0102ff").exit);
  EXPECT_EQ(0, add("/v dw /t REG_DWORD /d 4294967295").exit);
  EXPECT_EQ(0, add("/v qw /t REG_QWORD /d 0x1122334455667788").exit);
  EXPECT_EQ(0, add("/v multi /t REG_MULTI_SZ /d 'one\\0two'").exit);
  EXPECT_EQ(0, add("/ve /d default").exit);
  EXPECT_EQ(1, add("/v bad /t REG_DWORD /d 4294967296").exit);
  EXPECT_EQ(1, add("/v bad /t REG_DWORD /d 12abc").exit);
  EXPECT_EQ(1, add("/v bad /t REG_BINARY /d xyz").exit);
  EXPECT_EQ(1, add("/v bad /t REG_FANCY /d 1").exit);
  auto reg = registry();
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg->openKey(kHkeyLocalMachine, L"SOFTWARE\\AddTypes", 0, KEY_READ, &k));
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"sz", &v));
  EXPECT_EQ(regSz(L"text"), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"ex", &v));
  EXPECT_EQ(REG_EXPAND_SZ, v.type);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"bin", &v));
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 0xff}), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"dw", &v));
  EXPECT_EQ(regDword(0xFFFFFFFF), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"qw", &v));
  EXPECT_EQ(regQword(0x1122334455667788ull), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"multi", &v));
  EXPECT_EQ(regMultiSz({L"one", L"two"}), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg, k, L"", &v));
  EXPECT_EQ(regSz(L"default"), v.data);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, readValue(*reg, k, L"bad", &v));
  reg->closeKey(k);
  EXPECT_EQ("\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\AddTypes\r\n    bin    REG_BINARY    0102FF\r\n\r\n",
            run(std::string("reg query ") + key + " /v bin").out);
  EXPECT_EQ("\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\AddTypes\r\n    multi    REG_MULTI_SZ    one\\0two\r\n\r\n",
            run(std::string("reg query ") + key + " /v multi").out);
}

TEST_F(ToolTest, AddAsksBeforeOverwriting) {
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Ask' /v v /d first /f").exit);
  ToolRun r = run("reg add 'HKCU\\Software\\Ask' /v v /d second", "n\n");
  EXPECT_EQ(0, r.exit);
  EXPECT_NE(std::string::npos, r.out.find("Value v exists, overwrite(Yes/No)?"));
  auto reg = registry();
  std::wstring text;
  ASSERT_EQ(ERROR_SUCCESS, readString(*reg, kHkeyCurrentUser, L"Software\\Ask", L"v", &text));
  EXPECT_EQ(L"first", text);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Ask' /v v /d second", "yes\n").exit);
  ASSERT_EQ(ERROR_SUCCESS, readString(*reg, kHkeyCurrentUser, L"Software\\Ask", L"v", &text));
  EXPECT_EQ(L"second", text);
}

TEST_F(ToolTest, DeleteValuesAndKeys) {
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Del\\Sub' /v a /d 1 /f").exit);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Del' /v a /d 1 /f").exit);
  ASSERT_EQ(0, run("reg add 'HKCU\\Software\\Del' /v b /d 2 /f").exit);
  EXPECT_EQ(0, run("reg delete 'HKCU\\Software\\Del' /v a /f").exit);
  EXPECT_EQ(1, run("reg delete 'HKCU\\Software\\Del' /v a /f").exit);
  EXPECT_EQ(0, run("reg delete 'HKCU\\Software\\Del' /va /f").exit);
  auto reg = registry();
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg->openKey(kHkeyCurrentUser, L"Software\\Del", 0, KEY_READ, &k));
  RegKeyInfo info;
  reg->queryInfoKey(k, &info);
  EXPECT_EQ(0u, info.values);
  EXPECT_EQ(1u, info.subKeys);
  reg->closeKey(k);
  EXPECT_EQ(1, run("reg delete HKCU /f").exit);
  EXPECT_EQ(0, run("reg delete 'HKCU\\Software\\Del' /f").exit);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg->openKey(kHkeyCurrentUser, L"Software\\Del", 0, KEY_READ, &k));
  EXPECT_EQ(1, run("reg delete 'HKCU\\Software\\Del' /f").exit);
}

TEST_F(ToolTest, ExportImportRoundTrip) {
  ASSERT_EQ(0, run("reg add 'HKLM\\SOFTWARE\\Trip' /v s /d 'quote\"back\\slash' /f").exit);
  ASSERT_EQ(0, run("reg add 'HKLM\\SOFTWARE\\Trip\\Sub' /v q /t REG_QWORD /d 5 /f").exit);
  std::string file = (*root_ / "trip.reg").string();
  ToolRun r = run("reg export 'HKLM\\SOFTWARE\\Trip' '" + file + "'");
  EXPECT_EQ(0, r.exit);
  EXPECT_EQ("The operation completed successfully.\r\n", r.out);
  std::string first = slurp(file);
  EXPECT_EQ(0u, first.rfind("\xff\xfeW\0i\0n\0", 0));
  // An existing file is kept unless /y or a yes.
  r = run("reg export 'HKLM\\SOFTWARE\\Trip' '" + file + "'", "n\n");
  EXPECT_EQ(0, r.exit);
  EXPECT_NE(std::string::npos, r.out.find("already exists. Overwrite"));
  EXPECT_EQ(1, run("reg export 'HKLM\\SOFTWARE\\Nope' '" + file + "' /y").exit);
  EXPECT_EQ(1, run("reg export 'HKLM\\SOFTWARE\\Trip'").exit);
  ASSERT_EQ(0, run("reg delete 'HKLM\\SOFTWARE\\Trip' /f").exit);
  r = run("reg import '" + file + "'");
  EXPECT_EQ(0, r.exit) << r.err;
  ASSERT_EQ(0, run("reg export 'HKLM\\SOFTWARE\\Trip' '" + file + "' /y").exit);
  EXPECT_EQ(first, slurp(file));
  EXPECT_EQ(1, run("reg import '" + (*root_ / "missing.reg").string() + "'").exit);
}

TEST_F(ToolTest, ThirtyTwoBitViewFromOptionOrSysWow64Folder) {
  ASSERT_EQ(0, run("reg add 'HKLM\\SOFTWARE\\Bits' /v v /d 32 /f /reg:32").exit);
  auto reg = registry();
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg, kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node\\Bits", L"v", &text));
  EXPECT_EQ(1, run("reg query 'HKLM\\SOFTWARE\\Bits' /reg:64").exit);
  // The same program started as SysWOW64\reg.exe sees the 32-bit view.
  std::filesystem::path wow = *root_ / "SysWOW64";
  std::filesystem::create_directories(wow);
  std::filesystem::remove(wow / "reg.exe");
  std::filesystem::create_symlink(WINTOOLS_BINARY, wow / "reg.exe");
  ToolRun r = run("query 'HKLM\\SOFTWARE\\Bits' /v v", "", (wow / "reg.exe").string());
  EXPECT_EQ(0, r.exit);
  EXPECT_NE(std::string::npos, r.out.find("v    REG_SZ    32"));
}

TEST_F(ToolTest, DispatchesOnProgramName) {
  std::filesystem::path sys = *root_ / "System32";
  std::filesystem::create_directories(sys);
  for (const char* name : {"REG.EXE", "Regedit.exe", "reg"}) {
    std::filesystem::remove(sys / name);
    std::filesystem::create_symlink(WINTOOLS_BINARY, sys / name);
  }
  EXPECT_EQ(0, run("add 'HKCU\\Software\\Named' /f", "", (sys / "REG.EXE").string()).exit);
  EXPECT_EQ(0, run("query 'HKCU\\Software\\Named'", "", (sys / "reg").string()).exit);
  EXPECT_EQ(0, run("REG query 'HKCU\\Software\\Named'").exit);
  EXPECT_EQ(1, run("notepad").exit);
  EXPECT_EQ(1, run("").exit);
}

}  // namespace zorel::wintools::test
