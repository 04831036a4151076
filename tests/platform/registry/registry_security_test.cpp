// Key security descriptors and the access check behind every open.

#include <cwchar>
#include <vector>

#include "registry_fixture.h"

namespace zorel::platform::test {

namespace {

KeySecurity readOnlyForUsers() {
  KeySecurity sd;
  sd.owner = L"SYSTEM";
  sd.hasDacl = true;
  sd.dacl = {{true, L"SYSTEM", KEY_ALL_ACCESS, CONTAINER_INHERIT_ACE},
             {true, L"Users", KEY_READ, CONTAINER_INHERIT_ACE}};
  return sd;
}

}  // namespace

TEST_F(RegistryTest, SecurityRefusesWriteOpenButAllowsRead) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Locked");
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, readOnlyForUsers()));
  reg_->closeKey(k);
  // The account of the fixture is "User" in Administrators and Users.
  RegKey w = RegKey{0xdeadbeef};
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Locked", 0, KEY_READ | KEY_WRITE, &w));
  EXPECT_EQ(RegKey{0xdeadbeef}, w);
  RegKey r;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Locked", 0, KEY_READ, &r));
  // A handle opened for reading cannot write.
  EXPECT_EQ(ERROR_ACCESS_DENIED, writeValue(*reg_, r, L"v", REG_SZ, regSz(L"x")));
  reg_->closeKey(r);
  // Entries are inherited by subkeys, so creating below fails too.
  RegKey c;
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->createKey(kHkeyLocalMachine, L"SOFTWARE\\Locked\\Child", 0, KEY_WRITE, &c, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->deleteTree(kHkeyLocalMachine, L"SOFTWARE\\Locked"));
}

TEST_F(RegistryTest, DenyEntryWinsOverLaterAllow) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Denied");
  KeySecurity sd;
  sd.hasDacl = true;
  ASSERT_EQ(ERROR_SUCCESS, mergeAclEntry(&sd, GRANT_ACCESS, L"Everyone", GENERIC_ALL, 0));
  ASSERT_EQ(ERROR_SUCCESS, mergeAclEntry(&sd, DENY_ACCESS, L"MACHINE\\User", KEY_SET_VALUE, 0));
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, sd));
  reg_->closeKey(k);
  RegKey w;
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Denied", 0, KEY_SET_VALUE, &w));
  EXPECT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Denied", 0, KEY_CREATE_SUB_KEY, &w));
  reg_->closeKey(w);
}

TEST_F(RegistryTest, SetAccessGrantsAnAccountFullControl) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Vendor");
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, readOnlyForUsers()));
  KeySecurity sd;
  ASSERT_EQ(ERROR_SUCCESS, reg_->getKeySecurity(k, &sd));
  ASSERT_EQ(ERROR_SUCCESS, mergeAclEntry(&sd, SET_ACCESS, L"User", GENERIC_ALL | STANDARD_RIGHTS_ALL, CONTAINER_INHERIT_ACE));
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, sd));
  reg_->closeKey(k);
  RegKey w;
  ASSERT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyLocalMachine, L"SOFTWARE\\Vendor\\Sub", 0, KEY_WRITE, &w, nullptr));
  reg_->closeKey(w);
  KeySecurity child;
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Vendor\\Sub", 0, READ_CONTROL, &w));
  ASSERT_EQ(ERROR_SUCCESS, reg_->getKeySecurity(w, &child));
  ASSERT_EQ(3u, child.dacl.size());
  for (const RegAce& ace : child.dacl) EXPECT_TRUE(ace.flags & INHERITED_ACE);
  reg_->closeKey(w);
}

TEST_F(RegistryTest, ProtectedDescriptorStopsInheritance) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Outer");
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, readOnlyForUsers()));
  RegKey inner;
  // The owner of a key may always change its security; here SYSTEM owns it,
  // so open the inner key before locking and protect it.
  reg_->closeKey(k);
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->createKey(kHkeyLocalMachine, L"SOFTWARE\\Outer\\Inner", 0, KEY_WRITE, &inner, nullptr));
  reg_.reset();
  RegistryOptions system;
  system.account = {L"SYSTEM", {}};
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, system, &reg_));
  inner = create(kHkeyLocalMachine, L"SOFTWARE\\Outer\\Inner");
  KeySecurity open;
  open.hasDacl = true;
  open.isProtected = true;
  open.dacl = {{true, L"Everyone", KEY_ALL_ACCESS, 0}};
  ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(inner, open));
  reg_->closeKey(inner);
  reg_.reset();
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, RegistryOptions{}, &reg_));
  ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Outer\\Inner", 0, KEY_WRITE, &inner));
  reg_->closeKey(inner);
}

TEST_F(RegistryTest, ReadOnlyRegistryRefusesEveryChange) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\Olvane\\PreInstall");
  setSz(k, L"PreInstallMachineID", L"{id}");
  reg_->closeKey(k);
  reg_.reset();
  RegistryOptions ro;
  ro.readOnly = true;
  ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, ro, &reg_));
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->openKey(kHkeyLocalMachine, L"SOFTWARE\\Olvane\\PreInstall", 0, KEY_READ | KEY_WRITE, &k));
  RegKey created;
  EXPECT_EQ(ERROR_ACCESS_DENIED, reg_->createKey(kHkeyLocalMachine, L"SOFTWARE\\Olvane\\New", 0, KEY_WRITE, &created, nullptr));
  EXPECT_EQ(ERROR_ACCESS_DENIED, writeValue(*reg_, kHkeyLocalMachine, L"x", REG_SZ, regSz(L"y")));
  std::wstring id;
  EXPECT_EQ(ERROR_SUCCESS, readString(*reg_, kHkeyLocalMachine, L"SOFTWARE\\Olvane\\PreInstall", L"PreInstallMachineID", &id));
  EXPECT_EQ(L"{id}", id);
}

TEST_F(RegistryTest, BadSecurityInputIsRefused) {
  RegKey k = create(kHkeyLocalMachine, L"SOFTWARE\\BadSd");
  KeySecurity sd;
  sd.hasDacl = true;
  sd.dacl = {{true, L"evil\tname\n+\t1\t0\tEveryone", KEY_ALL_ACCESS, 0}};
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->setKeySecurity(k, sd));
  sd.dacl = {{true, L"", KEY_ALL_ACCESS, 0}};
  EXPECT_EQ(ERROR_INVALID_PARAMETER, reg_->setKeySecurity(k, sd));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, mergeAclEntry(&sd, 9, L"x", 1, 0));
  reg_->closeKey(k);
}

// A sub-key takes only the inheritable entries of the keys above it; when
// there are none it keeps the machine's default access instead of an empty
// DACL that would shut everyone out of it.
TEST_F(RegistryTest, SubKeysInheritOnlyInheritableEntries) {
  struct Case {
    const wchar_t* name;
    std::vector<RegAce> parentDacl;
    bool childWritable;       // KEY_ALL_ACCESS opens on the sub-keys
    size_t childEntries;      // entries getKeySecurity reports for a sub-key
    bool childHasDacl;
  };
  const Case cases[] = {
      // Full control, not inheritable: the sub-keys have nothing to inherit.
      {L"NoInherit", {{true, L"Everyone", KEY_ALL_ACCESS, 0}}, true, 0, false},
      // A deny that is not inheritable stays on the key itself.
      {L"LocalDeny",
       {{false, L"User", KEY_SET_VALUE, 0}, {true, L"Everyone", KEY_ALL_ACCESS, 0}},
       true, 0, false},
      // Inheritable read only: the sub-keys get exactly that entry.
      {L"InheritRead",
       {{true, L"Everyone", KEY_ALL_ACCESS, 0}, {true, L"Users", KEY_READ, CONTAINER_INHERIT_ACE}},
       false, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::wcslen(c.name)));
    const std::wstring parent = std::wstring(L"SOFTWARE\\Acl\\") + c.name;
    reg_->closeKey(create(kHkeyLocalMachine, parent + L"\\Existing"));
    RegKey k = create(kHkeyLocalMachine, parent);
    KeySecurity sd;
    sd.hasDacl = true;
    sd.dacl = c.parentDacl;
    ASSERT_EQ(ERROR_SUCCESS, reg_->setKeySecurity(k, sd));
    reg_->closeKey(k);
    // A key made after the parent's security was set, and one made before.
    RegKey made = kRegNoKey;
    ASSERT_EQ(ERROR_SUCCESS, reg_->createKey(kHkeyLocalMachine, parent + L"\\Later", 0, KEY_READ,
                                             &made, nullptr));
    reg_->closeKey(made);
    for (const wchar_t* child : {L"\\Existing", L"\\Later"}) {
      RegKey w = RegKey{0xdeadbeef};
      EXPECT_EQ(c.childWritable ? ERROR_SUCCESS : ERROR_ACCESS_DENIED,
                reg_->openKey(kHkeyLocalMachine, parent + child, 0, KEY_ALL_ACCESS, &w));
      if (c.childWritable) reg_->closeKey(w);
      RegKey r = kRegNoKey;
      ASSERT_EQ(ERROR_SUCCESS, reg_->openKey(kHkeyLocalMachine, parent + child, 0, KEY_READ, &r));
      KeySecurity got;
      ASSERT_EQ(ERROR_SUCCESS, reg_->getKeySecurity(r, &got));
      EXPECT_EQ(c.childHasDacl, got.hasDacl);
      EXPECT_EQ(c.childEntries, got.dacl.size());
      reg_->closeKey(r);
    }
  }
}

}  // namespace zorel::platform::test
