// Several processes writing one registry file at once.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "registry_fixture.h"

namespace zorel::platform::test {

namespace {

// Body of a child process: writes count values into the shared key.
[[noreturn]] void writer(const std::string& path, const std::wstring& prefix, int count) {
  std::unique_ptr<IRegistry> reg;
  if (openRegistry(path, RegistryOptions{}, &reg) != ERROR_SUCCESS) _exit(10);
  RegKey k;
  if (reg->createKey(kHkeyLocalMachine, L"SOFTWARE\\Shared", 0, KEY_ALL_ACCESS, &k, nullptr) != ERROR_SUCCESS) _exit(11);
  for (int i = 0; i < count; ++i) {
    if (writeValue(*reg, k, prefix + std::to_wstring(i), REG_DWORD, regDword(static_cast<std::uint32_t>(i))) != ERROR_SUCCESS) _exit(12);
  }
  reg->closeKey(k);
  reg.reset();
  _exit(0);
}

}  // namespace

TEST_F(RegistryTest, TwoProcessesWritingAThousandValuesEachLoseNothing) {
  reg_.reset();  // the children open the file themselves
  pid_t children[2];
  const wchar_t* prefixes[2] = {L"a", L"b"};
  for (int c = 0; c < 2; ++c) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) writer(path_, prefixes[c], 1000);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
  }
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, RegistryOptions{}, &reg_));
  RegKey k;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Shared", 0, KEY_READ, &k));
  RegKeyInfo info;
  ASSERT_EQ(ERROR_SUCCESS, reg_->queryInfoKey(k, &info));
  EXPECT_EQ(2000u, info.values);
  for (const wchar_t* prefix : prefixes) {
    for (int i = 0; i < 1000; i += 97) {
      std::uint32_t n = 0;
      ASSERT_EQ(ERROR_SUCCESS, readDword(*reg_, k, L"", prefix + std::to_wstring(i), &n));
      EXPECT_EQ(static_cast<std::uint32_t>(i), n);
    }
  }
  reg_->closeKey(k);
  std::wstring report;
  EXPECT_EQ(ERROR_SUCCESS, reg_->checkIntegrity(&report)) << report.size();
  // The sqlite3 tool agrees that the file is sound.
  reg_.reset();
  std::string command = "sqlite3 '" + path_ + "' 'PRAGMA integrity_check' > '" + path_ + ".check' 2>&1";
  ASSERT_EQ(0, std::system(command.c_str()));
  std::FILE* f = std::fopen((path_ + ".check").c_str(), "r");
  ASSERT_NE(nullptr, f);
  char line[64] = {};
  ASSERT_NE(nullptr, std::fgets(line, sizeof line, f));
  std::fclose(f);
  EXPECT_STREQ("ok\n", line);
}

TEST_F(RegistryTest, AnotherProcessSeesChangesAndDeletions) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Seen");
  std::wstring name;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, readSubKeyAt(*reg_, k, 0, &name));
  std::unique_ptr<IRegistry> other;
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, RegistryOptions{}, &other));
  RegKey o = kRegNoKey;
  ASSERT_EQ(ERROR_SUCCESS, other->createKey(kHkeyLocalMachine, L"SOFTWARE\\Seen\\New", 0, KEY_ALL_ACCESS, &o, nullptr));
  other->closeKey(o);
  // The enumeration cache of the first connection notices the change.
  ASSERT_EQ(ERROR_SUCCESS, readSubKeyAt(*reg_, k, 0, &name));
  EXPECT_EQ(L"New", name);
  ASSERT_EQ(ERROR_SUCCESS, other->deleteTree(kHkeyLocalMachine, L"SOFTWARE\\Seen"));
  EXPECT_EQ(ERROR_KEY_DELETED, writeValue(*reg_, k, L"v", REG_SZ, regSz(L"x")));
  reg_->closeKey(k);
}

}  // namespace zorel::platform::test
