// Keys, values, enumeration order, views and persistence of the registry.

#include <cstring>

#include "registry_fixture.h"

namespace zorel::platform::test {

TEST_F(RegistryTest, OpenMissingKeyReturnsFileNotFound) {
  RegKey k = RegKey{0xdeadbeef};
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\NoSuchKey", 0, KEY_READ, &k));
  EXPECT_EQ(RegKey{0xdeadbeef}, k);
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\MixedCase\\Ünïcode");
  setSz(k, L"ValueName", L"x");
  reg_->closeKey(k);
  RegKey again;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"software\\MIXEDCASE\\üNÏCODE", 0, KEY_READ, &again));
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, again, L"VALUENAME", &v));
  EXPECT_EQ(L"x", regText(v.data));
  std::wstring path;
  ASSERT_EQ(ERROR_SUCCESS, reg_->keyPath(again, &path));
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\MixedCase\\Ünïcode", path);
  RegValue first;
  ASSERT_EQ(ERROR_SUCCESS, readValueAt(*reg_, again, 0, &first));
  EXPECT_EQ(L"ValueName", first.name);
  reg_->closeKey(again);
}

TEST_F(RegistryTest, CreateReportsDisposition) {
  RegKey k;
  std::uint32_t disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyCurrentUser, L"Software\\A\\B", 0, KEY_ALL_ACCESS, &k, &disposition));
  EXPECT_EQ(REG_CREATED_NEW_KEY, disposition);
  reg_->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyCurrentUser, L"software\\a\\b\\", 0, KEY_ALL_ACCESS, &k, &disposition));
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);
  reg_->closeKey(k);
}

TEST_F(RegistryTest, SubkeysEnumerateSortedWithoutCase) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Order");
  for (const wchar_t* name : {L"delta", L"Bravo", L"alpha", L"Charlie", L"_under", L"10", L"9"}) {
    RegKey c = create(k, name);
    reg_->closeKey(c);
  }
  std::vector<std::wstring> names;
  std::wstring name;
  for (std::uint32_t i = 0; readSubKeyAt(*reg_, k, i, &name) == ERROR_SUCCESS; ++i) names.push_back(name);
  // Windows compares upper-cased names: digits < letters < '_'.
  EXPECT_EQ((std::vector<std::wstring>{L"10", L"9", L"alpha", L"Bravo", L"Charlie", L"delta", L"_under"}), names);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, readSubKeyAt(*reg_, k, 7, &name));
  reg_->closeKey(k);
}

TEST_F(RegistryTest, ValuesEnumerateInCreationOrderAndOverwriteKeepsPlace) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Values");
  setSz(k, L"zeta", L"1");
  setSz(k, L"", L"default");
  setSz(k, L"alpha", L"2");
  ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, L"ZETA", REG_DWORD, regDword(7)));
  std::vector<std::wstring> names;
  RegValue v;
  for (std::uint32_t i = 0; readValueAt(*reg_, k, i, &v) == ERROR_SUCCESS; ++i) names.push_back(v.name);
  EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"", L"alpha"}), names);
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"zeta", &v));
  EXPECT_EQ(REG_DWORD, v.type);
  EXPECT_EQ(regDword(7), v.data);
  reg_->closeKey(k);
}

TEST_F(RegistryTest, QueryValueBufferRules) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Buffers");
  setSz(k, L"s", L"hello");  // 12 bytes with the NUL
  std::uint8_t buf[32];
  std::memset(buf, 0xAB, sizeof buf);
  std::uint32_t type = 0xdeadbeef, size = 4;
  EXPECT_EQ(ERROR_MORE_DATA, reg_->queryValue(k, L"s", &type, buf, &size));
  EXPECT_EQ(12u, size);
  EXPECT_EQ(REG_SZ, type);
  for (std::uint8_t b : buf) EXPECT_EQ(0xAB, b);  // nothing written on ERROR_MORE_DATA
  size = sizeof buf;
  ASSERT_EQ(ERROR_SUCCESS, reg_->queryValue(k, L"s", &type, buf, &size));
  EXPECT_EQ(12u, size);
  EXPECT_EQ('h', buf[0]);
  EXPECT_EQ(0xAB, buf[12]);
  size = 0;
  EXPECT_EQ(ERROR_SUCCESS, reg_->queryValue(k, L"s", nullptr, nullptr, &size));
  EXPECT_EQ(12u, size);
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->queryValue(k, L"s", nullptr, buf, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->queryValue(k, L"missing", nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->queryValue(k, L"", nullptr, nullptr, &size));
  reg_->closeKey(k);
}

TEST_F(RegistryTest, EnumBuffersTooSmallGiveMoreData) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Enum");
  RegKey c = create(k, L"LongerName");
  reg_->closeKey(c);
  setSz(k, L"value", L"data");
  wchar_t name[5];
  std::uint32_t cch = 5;
  EXPECT_EQ(ERROR_MORE_DATA, reg_->enumKey(k, 0, name, &cch, nullptr));
  cch = 10;  // no room for the NUL
  EXPECT_EQ(ERROR_MORE_DATA, reg_->enumKey(k, 0, name, &cch, nullptr));
  wchar_t big[11];
  cch = 11;
  ASSERT_EQ(ERROR_SUCCESS, reg_->enumKey(k, 0, big, &cch, nullptr));
  EXPECT_EQ(10u, cch);
  EXPECT_EQ(std::wstring(L"LongerName"), big);
  std::uint8_t data[4];
  std::uint32_t cb = sizeof data, type = 0;
  cch = 11;
  EXPECT_EQ(ERROR_MORE_DATA, reg_->enumValue(k, 0, big, &cch, &type, data, &cb));
  EXPECT_EQ(10u, cb);
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, reg_->enumValue(k, 1, big, &cch, &type, nullptr, nullptr));
  reg_->closeKey(k);
}

TEST_F(RegistryTest, DeleteKeyRefusesKeysWithSubkeysAndDeleteTreeRemovesAll) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Tree\\A\\B");
  setSz(k, L"v", L"x");
  reg_->closeKey(k);
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->deleteKey(kHkeyLocalMachine, L"SOFTWARE\\Tree\\A", 0));
  EXPECT_EQ(ERROR_SUCCESS, reg_->deleteKey(kHkeyLocalMachine, L"SOFTWARE\\Tree\\A\\B", 0));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->deleteKey(kHkeyLocalMachine, L"SOFTWARE\\Tree\\A\\B", 0));
  k = create(kHkeyLocalMachine, L"SOFTWARE\\Tree\\A\\C\\D");
  reg_->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteTree(kHkeyLocalMachine, L"SOFTWARE\\Tree"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Tree", 0, KEY_READ, &k));
  std::wstring report;
  EXPECT_EQ(ERROR_SUCCESS, reg_->checkIntegrity(&report)) << report;
}

TEST_F(RegistryTest, DeleteTreeWithEmptySubkeyKeepsTheKey) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Keep");
  setSz(k, L"v", L"x");
  RegKey c = create(k, L"child");
  reg_->closeKey(c);
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteTree(k, L""));
  RegKeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, reg_->queryInfoKey(k, &info));
  EXPECT_EQ(0u, info.subKeys);
  EXPECT_EQ(0u, info.values);
  reg_->closeKey(k);
}

TEST_F(RegistryTest, HandleOfDeletedKeyAnswersKeyDeleted) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Gone");
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteKey(kHkeyLocalMachine, L"SOFTWARE\\Gone", 0));
  std::uint32_t size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, reg_->queryValue(k, L"x", nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_KEY_DELETED, writeValue(*reg_, k, L"x", REG_SZ, regSz(L"y")));
  EXPECT_EQ(ERROR_SUCCESS, reg_->closeKey(k));
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg_->closeKey(k));
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg_->queryValue(k, L"x", nullptr, nullptr, &size));
}

TEST_F(RegistryTest, QueryInfoKeyCountsAndMaxima) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Info");
  RegKey c = create(k, L"abcdef");
  reg_->closeKey(c);
  setSz(k, L"n1", L"12345");
  ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, L"longer", REG_BINARY, {1, 2, 3}));
  RegKeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, reg_->queryInfoKey(k, &info));
  EXPECT_EQ(1u, info.subKeys);
  EXPECT_EQ(6u, info.maxSubKeyLen);
  EXPECT_EQ(2u, info.values);
  EXPECT_EQ(6u, info.maxValueNameLen);
  EXPECT_EQ(12u, info.maxValueLen);
  EXPECT_GT(info.lastWriteTime, 116444736000000000LL);  // after 1970
  reg_->closeKey(k);
}

TEST_F(RegistryTest, RootAliasesShareTheirTrees) {
  RegKey k = create(kHkeyClassesRoot, L".zrl");
  setSz(k, L"", L"ZorelFile");
  reg_->closeKey(k);
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyLocalMachine, L"SOFTWARE\\Classes\\.zrl", L"", &text));
  EXPECT_EQ(L"ZorelFile", text);
  k = create(kHkeyCurrentUser, L"Environment");
  setSz(k, L"TEMP", L"x");
  reg_->closeKey(k);
  RegistryOptions defaults;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyUsers, defaults.currentUserSid + L"\\Environment", L"TEMP", &text));
}

TEST_F(RegistryTest, ThirtyTwoBitViewIsRedirectedUnderWow6432Node) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Vendor\\App", KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  setSz(k, L"Bits", L"32");
  std::wstring path;
  reg_->keyPath(k, &path);
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vendor\\App", path);
  reg_->closeKey(k);
  RegKey native;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Vendor\\App", 0, KEY_READ | KEY_WOW64_64KEY, &native));
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyLocalMachine, L"SOFTWARE\\Wow6432Node\\Vendor\\App", L"Bits", &text));
  // A path already naming the node is not redirected twice.
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyLocalMachine, L"SOFTWARE\\Wow6432Node\\Vendor\\App", L"Bits", &text, KEY_WOW64_32KEY));
  // Relative opens from the SOFTWARE key are redirected too.
  RegKey software;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE", 0, KEY_READ, &software));
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, software, L"Vendor\\App", L"Bits", &text, KEY_WOW64_32KEY));
  reg_->closeKey(software);
  RegKey both;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE", 0, KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &both));
}

TEST_F(RegistryTest, SharedKeysAreTheSameInBothViews) {
  // Classes (except CLSID and a few others), Clients and Policies are shared.
  for (const wchar_t* sub : {L"SOFTWARE\\Classes\\.txt", L"SOFTWARE\\Clients\\StartMenuInternet",
                             L"SOFTWARE\\Policies\\Vendor",
                             L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\x.exe"}) {
    RegKey k = create(kHkeyLocalMachine, sub, KEY_ALL_ACCESS | KEY_WOW64_32KEY);
    std::wstring path;
    reg_->keyPath(k, &path);
    EXPECT_EQ(std::wstring(L"HKEY_LOCAL_MACHINE\\") + sub, path);
    reg_->closeKey(k);
  }
  RegKey clsid = create(kHkeyClassesRoot, L"CLSID\\{1}", KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  std::wstring path;
  reg_->keyPath(clsid, &path);
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\WOW6432Node\\CLSID\\{1}", path);
  reg_->closeKey(clsid);
  RegKey version = create(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", KEY_ALL_ACCESS | KEY_WOW64_32KEY);
  reg_->keyPath(version, &path);
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion", path);
  reg_->closeKey(version);
}

TEST_F(RegistryTest, ChangesPersistAcrossReopen) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Persist");
  ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, L"q", REG_QWORD, regQword(0x1122334455667788ull)));
  reg_->closeKey(k);
  reg_.reset();
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, RegistryOptions{}, &reg_));
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Persist", 0, KEY_READ, &k));
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"q", &v));
  EXPECT_EQ(regQword(0x1122334455667788ull), v.data);
  reg_->closeKey(k);
}

TEST_F(RegistryTest, AbortedBatchLeavesNothing) {
  ASSERT_EQ(ERROR_SUCCESS, reg_->beginBatch());
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Batch");
  setSz(k, L"v", L"x");
  reg_->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, reg_->abortBatch());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Batch", 0, KEY_READ, &k));
}

TEST_F(RegistryTest, ValueEncodingsMatchWindows) {
  EXPECT_EQ((std::vector<std::uint8_t>{'a', 0, 0, 0}), regSz(L"a"));
  EXPECT_EQ((std::vector<std::uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}), regMultiSz({L"a", L"b"}));
  EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), regMultiText(regMultiSz({L"one", L"two"})));
  // Outside the BMP a character is a surrogate pair.
  EXPECT_EQ((std::vector<std::uint8_t>{0x3D, 0xD8, 0x00, 0xDE, 0, 0}), regSz(L"\U0001F600"));
  EXPECT_EQ(L"\U0001F600", regText(regSz(L"\U0001F600")));
}

TEST_F(RegistryTest, HardwareKeysComeFromTheHost) {
  ASSERT_EQ(ERROR_SUCCESS, refreshHardwareKeys(*reg_));
  std::wstring name;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyLocalMachine, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"ProcessorNameString", &name));
  std::uint32_t mhz = 0;
  EXPECT_EQ(ERROR_SUCCESS, readDword(*reg_, kHkeyLocalMachine, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"~MHz", &mhz));
  // A second start replaces, it does not pile up.
  ASSERT_EQ(ERROR_SUCCESS, refreshHardwareKeys(*reg_));
}

}  // namespace zorel::platform::test
