// .reg files: the value forms, REGEDIT4 with continuations and deletions,
// malformed lines, and the byte-identical round trip of a v5 file.

#include <fstream>
#include <sstream>

#include "registry_fixture.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::platform::test {

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string dataFile(const char* name) {
  return std::string(ZOREL_SOURCE_DIR) + "/tests/data/registry/" + name;
}

}  // namespace

TEST_F(RegistryTest, V5ExportImportExportIsByteIdentical) {
  // The data file is laid out as regedit writes it; importing and exporting
  // it again must give the same bytes, and so must a fresh registry.
  const std::string original = readFile(dataFile("every_type_v5.reg"));
  ASSERT_FALSE(original.empty());
  RegImportResult result;
  ASSERT_EQ(ERROR_SUCCESS, importRegBytes(*reg_, original, &result));
  EXPECT_TRUE(result.problems.empty());
  std::string exported;
  ASSERT_EQ(ERROR_SUCCESS, exportRegKey(*reg_, L"HKEY_LOCAL_MACHINE\\SOFTWARE\\ZorelTest", RegFileFormat::Version5, &exported));
  EXPECT_EQ(original, exported);

  std::unique_ptr<IRegistry> fresh;
  ASSERT_EQ(ERROR_SUCCESS, openRegistry((dir_ / "fresh.db").string(), RegistryOptions{}, &fresh));
  ASSERT_EQ(ERROR_SUCCESS, importRegBytes(*fresh, exported, &result));
  std::string again;
  ASSERT_EQ(ERROR_SUCCESS, exportRegKey(*fresh, L"HKLM\\software\\zoreltest", RegFileFormat::Version5, &again));
  EXPECT_EQ(original, again);

  // Spot checks of what the forms stored.
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, fresh->openKey(kHkeyLocalMachine, L"SOFTWARE\\ZorelTest\\Subkey3a\\Subkey3b\\Subkey3c", 0, KEY_READ, &k));
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*fresh, k, L"String expansion", &v));
  EXPECT_EQ(REG_EXPAND_SZ, v.type);
  EXPECT_EQ(L"%HOME%\\%PATH%", regText(v.data));
  ASSERT_EQ(ERROR_SUCCESS, readValue(*fresh, k, L"Quad", &v));
  EXPECT_EQ(REG_QWORD, v.type);
  EXPECT_EQ(regQword(0x1122334455667788ull), v.data);
  fresh->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, fresh->openKey(kHkeyLocalMachine, L"SOFTWARE\\ZorelTest\\Subkey2a\\Subkey2b", 0, KEY_READ, &k));
  ASSERT_EQ(ERROR_SUCCESS, readValue(*fresh, k, L"Multiple strings", &v));
  EXPECT_EQ((std::vector<std::wstring>{L"Line1", L"Line2", L"Line3"}), regMultiText(v.data));
  fresh->closeKey(k);
}

TEST_F(RegistryTest, Regedit4WithContinuationsAndDeletionsAppliesAsRegeditDoes) {
  RegImportResult result;
  ASSERT_EQ(ERROR_SUCCESS, importRegFile(*reg_, dataFile("regedit4_continuations.reg"), &result));
  EXPECT_TRUE(result.problems.empty()) << (result.problems.empty() ? "" : std::to_string(result.problems[0].line));
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyCurrentUser, L"Software\\Zorel4", 0, KEY_READ, &k));
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Path", &v));
  EXPECT_EQ(L"C:\\Program Files\\Zorel", regText(v.data));
  // 8-bit string data in hex form is widened to UTF-16.
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Expand", &v));
  EXPECT_EQ(REG_EXPAND_SZ, v.type);
  EXPECT_EQ(regSz(L"%SystemRoot%\\system32"), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Multi", &v));
  EXPECT_EQ(regMultiSz({L"one", L"two"}), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Bytes", &v));
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3, 4, 5}), v.data);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Number", &v));
  EXPECT_EQ(regDword(42), v.data);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, readValue(*reg_, k, L"Gone", &v));
  RegKey doomed;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(k, L"Doomed", 0, KEY_READ, &doomed));
  reg_->closeKey(k);
  EXPECT_EQ(1u, result.keysDeleted);
  EXPECT_EQ(1u, result.valuesDeleted);
}

TEST_F(RegistryTest, MalformedLinesAreReportedWithNumbersAndSkipped) {
  RegImportResult result;
  ASSERT_EQ(ERROR_SUCCESS, importRegFile(*reg_, dataFile("malformed.reg"), &result));
  std::vector<std::size_t> lines;
  for (const RegFileProblem& p : result.problems) lines.push_back(p.line);
  EXPECT_EQ((std::vector<std::size_t>{3, 6, 7, 8, 9, 10, 11, 12, 13, 15, 17}), lines);
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\ZorelBad", 0, KEY_READ, &k));
  std::vector<std::wstring> names;
  RegValue v;
  for (std::uint32_t i = 0; readValueAt(*reg_, k, i, &v) == ERROR_SUCCESS; ++i) names.push_back(v.name);
  EXPECT_EQ((std::vector<std::wstring>{L"Good1", L"Good2", L"Good3"}), names);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"Good3", &v));
  EXPECT_EQ((std::vector<std::uint8_t>{0x0a, 0x0b}), v.data);
  reg_->closeKey(k);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\ZorelBad\\Sub", 0, KEY_READ, &k));
}

TEST_F(RegistryTest, FilesThatAreNotRegistryScriptsChangeNothing) {
  RegImportResult result;
  EXPECT_EQ(ERROR_BAD_FORMAT, importRegBytes(*reg_, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"a\"=\"b\"\r\n", &result));
  EXPECT_EQ(ERROR_BAD_FORMAT, importRegBytes(*reg_, "", &result));
  EXPECT_EQ(ERROR_BAD_FORMAT, importRegBytes(*reg_, std::string("\xff\xfe\x00\xd8", 4), &result));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, importRegFile(*reg_, (dir_ / "missing.reg").string(), &result));
  RegKey k;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\X", 0, KEY_READ, &k));
}

TEST_F(RegistryTest, ValueLinesAreFormattedAsRegeditWritesThem) {
  RegValue v{L"a\"b\\c", REG_SZ, regSz(L"q\"\\")};
  EXPECT_EQ(L"\"a\\\"b\\\\c\"=\"q\\\"\\\\\"", formatRegValueLine(v, RegFileFormat::Version5));
  v = {L"", REG_DWORD, regDword(0xABCDEF)};
  EXPECT_EQ(L"@=dword:00abcdef", formatRegValueLine(v, RegFileFormat::Version5));
  v = {L"d", REG_DWORD, {1, 2}};  // a DWORD of the wrong size stays raw
  EXPECT_EQ(L"\"d\"=hex(4):01,02", formatRegValueLine(v, RegFileFormat::Version5));
  v = {L"e", REG_EXPAND_SZ, regSz(L"%A%")};
  EXPECT_EQ(L"\"e\"=hex(2):25,41,25,00", formatRegValueLine(v, RegFileFormat::Regedit4));
  // A string Windows could not give back from quotes keeps its bytes.
  v = {L"n", REG_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0}};
  EXPECT_EQ(L"\"n\"=hex(1):61,00,00,00,62,00,00,00", formatRegValueLine(v, RegFileFormat::Version5));
  // No line is longer than 80 columns.
  v = {L"wide", REG_BINARY, std::vector<std::uint8_t>(300, 0xEE)};
  std::wstring text = formatRegValueLine(v, RegFileFormat::Version5);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    EXPECT_LE(end - start, 80u);
    start = end + 2;
  }
}

TEST_F(RegistryTest, Regedit4ExportReadsBack) {
  RegKey k = create(kHkeyCurrentUser, L"Software\\Four");
  setSz(k, L"s", L"plain");
  ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, L"m", REG_MULTI_SZ, regMultiSz({L"x", L"y"})));
  reg_->closeKey(k);
  std::string bytes;
  ASSERT_EQ(ERROR_SUCCESS, exportRegKey(*reg_, L"HKCU\\Software\\Four", RegFileFormat::Regedit4, &bytes));
  EXPECT_EQ(0u, bytes.rfind("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Four]\r\n\"s\"=\"plain\"\r\n", 0));
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteTree(kHkeyCurrentUser, L"Software\\Four"));
  RegImportResult result;
  ASSERT_EQ(ERROR_SUCCESS, importRegBytes(*reg_, bytes, &result));
  RegValue v;
  RegKey four;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyCurrentUser, L"Software\\Four", 0, KEY_READ, &four));
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, four, L"m", &v));
  EXPECT_EQ(regMultiSz({L"x", L"y"}), v.data);
  reg_->closeKey(four);
}

TEST_F(RegistryTest, ExportOfMissingKeyFails) {
  std::string bytes;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, exportRegKey(*reg_, L"HKLM\\SOFTWARE\\Nope", RegFileFormat::Version5, &bytes));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, exportRegKey(*reg_, L"HKXX\\SOFTWARE", RegFileFormat::Version5, &bytes));
}

}  // namespace zorel::platform::test
