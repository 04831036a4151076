// regedit /S and /E as processes.

#include "tool_fixture.h"

namespace zorel::wintools::test {

using namespace platform;

TEST_F(ToolTest, RegeditImportsSilentlyAndReportsBadLines) {
  std::string file = std::string(ZOREL_SOURCE_DIR) + "/tests/data/registry/malformed.reg";
  ToolRun r = run("regedit /S '" + file + "'");
  EXPECT_EQ(0, r.exit);
  EXPECT_NE(std::string::npos, r.err.find("line 6:"));
  EXPECT_NE(std::string::npos, r.err.find("line 17:"));
  auto reg = registry();
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg, kHkeyLocalMachine, L"SOFTWARE\\ZorelBad", L"Good1", &text));
  EXPECT_EQ(L"kept", text);
}

TEST_F(ToolTest, RegeditExportOfImportedFileIsByteIdentical) {
  std::string data = std::string(ZOREL_SOURCE_DIR) + "/tests/data/registry/every_type_v5.reg";
  ASSERT_EQ(0, run("regedit /S '" + data + "'").exit);
  std::string file = (*root_ / "every.reg").string();
  ASSERT_EQ(0, run("regedit /E '" + file + "' 'HKEY_LOCAL_MACHINE\\SOFTWARE\\ZorelTest'").exit);
  EXPECT_EQ(slurp(data), slurp(file));
}

TEST_F(ToolTest, RegeditFailures) {
  EXPECT_EQ(1, run("regedit /S '" + (*root_ / "none.reg").string() + "'").exit);
  std::string notReg = (*root_ / "text.reg").string();
  std::ofstream(notReg) << "just text\n";
  ToolRun r = run("regedit /S '" + notReg + "'");
  EXPECT_EQ(1, r.exit);
  EXPECT_NE(std::string::npos, r.err.find("not a registry script"));
  EXPECT_EQ(1, run("regedit /E '" + (*root_ / "x.reg").string() + "' 'HKLM\\SOFTWARE\\Nope'").exit);
  EXPECT_EQ(1, run("regedit").exit);
}

TEST_F(ToolTest, RegeditExportsTheWholeRegistryWithoutAKey) {
  std::string file = (*root_ / "all.reg").string();
  ASSERT_EQ(0, run("regedit /E '" + file + "'").exit);
  std::string bytes = slurp(file);
  // UTF-16LE: look for the ASCII of the root lines with NULs between.
  auto wide = [](const std::string& s) {
    std::string w;
    for (char c : s) { w += c; w += '\0'; }
    return w;
  };
  EXPECT_NE(std::string::npos, bytes.find(wide("[HKEY_LOCAL_MACHINE]\r\n")));
  EXPECT_NE(std::string::npos, bytes.find(wide("[HKEY_CURRENT_USER]\r\n")));
  EXPECT_NE(std::string::npos, bytes.find(wide("[HKEY_CLASSES_ROOT]\r\n")));
}

}  // namespace zorel::wintools::test
