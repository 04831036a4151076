// Bad input: huge values, deep paths, long and NUL-holding names, bad roots,
// paths of "..", files that are not registries. Errors are the Windows
// ones, and nothing else changes.

#include <fstream>

#include "registry_fixture.h"

namespace zorel::platform::test {

TEST_F(RegistryTest, TenMebibyteValueRoundTrips) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Big");
  std::vector<std::uint8_t> big(10 * 1024 * 1024);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, L"blob", REG_BINARY, big));
  std::uint8_t small[16];
  std::uint32_t size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA, reg_->queryValue(k, L"blob", nullptr, small, &size));
  EXPECT_EQ(big.size(), size);
  RegValue v;
  ASSERT_EQ(ERROR_SUCCESS, readValue(*reg_, k, L"blob", &v));
  EXPECT_EQ(big, v.data);
  reg_->closeKey(k);
}

TEST_F(RegistryTest, PathDepthIsLimitedTo512Levels) {
  std::wstring deep = L"SOFTWARE";
  for (int i = 1; i < 512; ++i) deep += L"\\k";
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyLocalMachine, deep, 0, KEY_ALL_ACCESS, &k, nullptr));
  RegKey deeper;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->createKey(k, L"one-more", 0, KEY_ALL_ACCESS, &deeper, nullptr));
  reg_->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteTree(kHkeyLocalMachine, L"SOFTWARE\\k"));
  std::wstring report;
  EXPECT_EQ(ERROR_SUCCESS, reg_->checkIntegrity(&report)) << report;
}

TEST_F(RegistryTest, NameRulesGiveWindowsErrors) {
  RegKey k;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->createKey(kHkeyLocalMachine, std::wstring(256, L'n'), 0, KEY_ALL_ACCESS, &k, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyLocalMachine, L"SOFTWARE\\" + std::wstring(255, L'n'), 0, KEY_ALL_ACCESS, &k, nullptr));
  reg_->closeKey(k);
  EXPECT_EQ(ERROR_BAD_PATHNAME, reg_->openKey(kHkeyLocalMachine, L"\\SOFTWARE", 0, KEY_READ, &k));
  std::wstring withNul = std::wstring(L"SOFTWARE\\a") + L'\0' + L"b";
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->createKey(kHkeyLocalMachine, withNul, 0, KEY_ALL_ACCESS, &k, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\a", 0, KEY_READ, &k));
  RegKey v = create(kHkeyLocalMachine, L"SOFTWARE\\Names");
  EXPECT_EQ(ERROR_INVALID_PARAMETER, writeValue(*reg_, v, std::wstring(L"x") + L'\0' + L"y", REG_SZ, regSz(L"z")));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, writeValue(*reg_, v, std::wstring(16384, L'v'), REG_SZ, regSz(L"z")));
  EXPECT_EQ(ERROR_SUCCESS, writeValue(*reg_, v, std::wstring(16383, L'v'), REG_SZ, regSz(L"z")));
  RegKeyInfo info;
  reg_->queryInfoKey(v, &info);
  EXPECT_EQ(1u, info.values);
  reg_->closeKey(v);
}

TEST_F(RegistryTest, DotDotIsAnOrdinaryKeyName) {
  // The registry has no relative components: ".." is a name like any other
  // and can never reach a parent key.
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\..\\..\\..\\x");
  std::wstring path;
  reg_->keyPath(k, &path);
  EXPECT_EQ(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\..\\..\\..\\x", path);
  reg_->closeKey(k);
  RegKey top;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, reg_->openKey(kHkeyLocalMachine, L"x", 0, KEY_READ, &top));
}

TEST_F(RegistryTest, InvalidRootsAreRefused) {
  RegKey root;
  std::wstring sub;
  EXPECT_EQ(ERROR_INVALID_PARAMETER, parseKeyPath(L"HKXX\\SOFTWARE", &root, &sub));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, parseKeyPath(L"", &root, &sub));
  ASSERT_EQ(ERROR_SUCCESS, parseKeyPath(L"hklm\\SOFTWARE", &root, &sub));
  EXPECT_EQ(kHkeyLocalMachine, root);
  EXPECT_EQ(L"SOFTWARE", sub);
  ASSERT_EQ(ERROR_SUCCESS, parseKeyPath(L"HKEY_USERS", &root, &sub));
  EXPECT_EQ(kHkeyUsers, root);
  RegKey k;
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg_->openKey(RegKey{0x80000004u}, L"x", 0, KEY_READ, &k));
  EXPECT_EQ(ERROR_INVALID_HANDLE, reg_->openKey(RegKey{12345}, L"x", 0, KEY_READ, &k));
}

TEST_F(RegistryTest, RootKeysCannotBeDeleted) {
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->deleteKey(kHkeyLocalMachine, L"", 0));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->deleteTree(kHkeyLocalMachine, L"SOFTWARE"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->deleteTree(kHkeyLocalMachine, L"SOFTWARE\\Classes"));
  // Emptying a hive keeps the keys HKCU and HKCR stand for.
  RegKey k = create(kHkeyCurrentUser, L"Software\\x");
  reg_->closeKey(k);
  ASSERT_EQ(ERROR_SUCCESS, reg_->deleteTree(kHkeyUsers, L""));
  k = create(kHkeyCurrentUser, L"Software\\y");
  reg_->closeKey(k);
}

TEST_F(RegistryTest, FileThatIsNotARegistryIsRefused) {
  std::string other = (dir_ / "other.db").string();
  std::ofstream(other) << "this is not a database, just text that is long enough to be read";
  std::unique_ptr<IRegistry> reg;
  EXPECT_EQ(ERROR_NOT_REGISTRY_FILE, openRegistry(other, RegistryOptions{}, &reg));
  EXPECT_EQ(nullptr, reg);
  EXPECT_EQ(ERROR_CANTOPEN, openRegistry((dir_ / "no" / "such" / "dir.db").string(), RegistryOptions{}, &reg));
}

}  // namespace zorel::platform::test
