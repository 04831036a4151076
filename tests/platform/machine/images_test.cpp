// The machine images: layering over the default (folders and keys taken
// away), and a 32-bit image's single registry view, folders and tools.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

struct Bitness {
  const wchar_t* image;
  bool is64;
  const wchar_t* view32ProgramFiles;  // ProgramFilesDir read with KEY_WOW64_32KEY
  const wchar_t* programFilesX86;     // CSIDL_PROGRAM_FILESX86
  const wchar_t* systemX86;           // CSIDL_SYSTEMX86
  const wchar_t* cpuPrefix;           // CentralProcessor\0 Identifier
};

TEST(MachineImages, TheRegistryViewsFoldersAndToolsFollowTheBitness) {
  const std::string base = [] {
    char pattern[] = "/tmp/zorel-images-test-XXXXXX";
    return std::string(::mkdtemp(pattern));
  }();
  const std::string tool = base + "/zorel-wintools";
  std::ofstream(tool) << "#!/bin/sh\nexit 0\n";
  fs::permissions(tool, fs::perms::owner_all);
  ::setenv("ZOREL_WINTOOLS", tool.c_str(), 1);
  const Bitness cases[] = {
      {L"default", true, L"C:\\Program Files (x86)", L"C:\\Program Files (x86)",
       L"C:\\Windows\\SysWOW64", nullptr},
      {L"win11-23h2", true, L"C:\\Program Files (x86)", L"C:\\Program Files (x86)",
       L"C:\\Windows\\SysWOW64", nullptr},
      {L"win81", true, L"C:\\Program Files (x86)", L"C:\\Program Files (x86)",
       L"C:\\Windows\\SysWOW64", nullptr},
      {L"win10-x86", false, L"C:\\Program Files", L"C:\\Program Files", L"C:\\Windows\\System32",
       L"x86 Family "},
  };
  for (const Bitness& c : cases) {
    SCOPED_TRACE(std::string(c.image, c.image + wcslen(c.image)));
    TempMachine m(c.image);
    IRegistry& registry = m->registry();
    EXPECT_EQ(m->versionInfo().is64BitOperatingSystem(), c.is64);
    std::wstring text;
    EXPECT_EQ(readString(registry, kHkeyLocalMachine, kCurrentVersion, L"ProgramFilesDir", &text,
                         KEY_WOW64_32KEY), 0);
    EXPECT_EQ(text, c.view32ProgramFiles);
    // The 64-bit view always reads the native value.
    EXPECT_EQ(readString(registry, kHkeyLocalMachine, kCurrentVersion, L"ProgramFilesDir", &text,
                         KEY_WOW64_64KEY), 0);
    EXPECT_EQ(text, L"C:\\Program Files");
    RegKey key = kRegNoKey;
    // Both view flags: refused where there are two views, ignored where there is one.
    const WinError both = registry.openKey(kHkeyLocalMachine, kCurrentVersion, 0,
                                           KEY_READ | KEY_WOW64_32KEY | KEY_WOW64_64KEY, &key);
    EXPECT_EQ(both, c.is64 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
    if (both == ERROR_SUCCESS) registry.closeKey(key);
    const WinError wow = registry.openKey(kHkeyLocalMachine, L"SOFTWARE\\WOW6432Node", 0, KEY_READ, &key);
    EXPECT_EQ(wow, c.is64 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    if (wow == ERROR_SUCCESS) registry.closeKey(key);
    // A key written through the 32-bit view lands where a program of the
    // machine's own bitness finds it.
    ASSERT_EQ(writeValueAt(registry, kHkeyLocalMachine, L"SOFTWARE\\Vendor", L"v", REG_DWORD,
                           regDword(1), KEY_WOW64_32KEY), 0);
    uint32_t v = 0;
    EXPECT_EQ(readDword(registry, kHkeyLocalMachine, L"SOFTWARE\\Vendor", L"v", &v),
              c.is64 ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS);

    const ISpecialFolders& folders = m->specialFolders();
    std::wstring path;
    EXPECT_EQ(folders.getFolderPath(CSIDL_PROGRAM_FILESX86, path), kSOk);
    EXPECT_EQ(path, c.programFilesX86);
    EXPECT_EQ(folders.getFolderPath(CSIDL_SYSTEMX86, path), kSOk);
    EXPECT_EQ(path, c.systemX86);
    EXPECT_EQ(folders.systemWow64Directory(), c.is64 ? L"C:\\Windows\\SysWOW64" : L"");
    std::wstring variable;
    EXPECT_EQ(m->environment().getVariable(L"ProgramFiles(x86)", variable) == ERROR_SUCCESS, c.is64);

    const std::string drive = m.root() + "/drive_c/";
    EXPECT_EQ(fs::is_directory(drive + "Program Files (x86)"), c.is64);
    EXPECT_EQ(fs::is_directory(drive + "Windows/SysWOW64"), c.is64);
    EXPECT_TRUE(fs::is_symlink(drive + "Windows/System32/reg.exe"));
    EXPECT_EQ(fs::is_symlink(drive + "Windows/SysWOW64/reg.exe"), c.is64);
    if (c.cpuPrefix) {
      EXPECT_EQ(readString(registry, kHkeyLocalMachine,
                           L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"Identifier",
                           &text), 0);
      EXPECT_EQ(text.rfind(c.cpuPrefix, 0), 0u) << toUtf8(text);
    }
  }
  ::unsetenv("ZOREL_WINTOOLS");
  fs::remove_all(base);
}

// An images folder of our own: a small default and one image over it.
class OwnImages : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-images-test-XXXXXX";
    base_ = ::mkdtemp(pattern);
    fs::create_directories(base_ + "/images/default");
    fs::create_directories(base_ + "/images/over");
    std::ofstream(base_ + "/images/default/tree.txt") << "Windows\\Temp\nWindows\\Logs\\Old\nUsers\n";
    std::ofstream(base_ + "/images/default/10.reg")
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone\\Deep]\r\n\"v\"=dword:00000001\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Stays]\r\n\"v\"=dword:00000001\r\n";
    std::ofstream(base_ + "/images/sibling.txt") << "outside the drive";
    ::setenv("ZOREL_IMAGES", (base_ + "/images").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("ZOREL_IMAGES");
    fs::remove_all(base_);
  }
  void Over(const std::string& tree, const std::string& reg = {}) {
    std::ofstream(base_ + "/images/over/tree.txt") << tree;
    if (!reg.empty())
      std::ofstream(base_ + "/images/over/10.reg")
          << "Windows Registry Editor Version 5.00\r\n\r\n" << reg;
  }
  std::string base_;
};

TEST_F(OwnImages, AnImageTakesAwayFoldersAndKeysOfTheDefault) {
  Over("# older Windows\n-Windows\\Logs\n-  windows\\TEMP  \nProgramData\n",
       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n");
  const std::string root = base_ + "/m";
  std::wstring message;
  ASSERT_EQ(initMachine(root, L"over", nullptr, &message), 0) << toUtf8(message);
  EXPECT_FALSE(fs::exists(root + "/drive_c/Windows/Logs"));
  EXPECT_FALSE(fs::exists(root + "/drive_c/Windows/Temp"));  // matched ignoring case
  EXPECT_TRUE(fs::is_directory(root + "/drive_c/Windows"));
  EXPECT_TRUE(fs::is_directory(root + "/drive_c/ProgramData"));
  std::unique_ptr<IMachine> m;
  ASSERT_EQ(openMachine(root, {}, &m), 0);
  uint32_t v = 0;
  EXPECT_EQ(readDword(m->registry(), kHkeyLocalMachine, L"SOFTWARE\\Gone\\Deep", L"v", &v),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(readDword(m->registry(), kHkeyLocalMachine, L"SOFTWARE\\Stays", L"v", &v), 0);
}

TEST_F(OwnImages, RemovalsThatNameTheDriveOrLeaveItAreRefused) {
  for (const char* line : {"-", "-..", "-Windows\\..\\..", "-.\\", "-Z:\\tmp", "-C:\\"}) {
    SCOPED_TRACE(line);
    Over(std::string("Users\n") + line + "\n");
    const std::string root = base_ + "/m";
    std::wstring message;
    EXPECT_NE(initMachine(root, L"over", nullptr, &message), 0);
    EXPECT_NE(message.find(L"tree.txt line 2"), std::wstring::npos) << toUtf8(message);
    EXPECT_FALSE(fs::exists(root));
    EXPECT_TRUE(fs::exists(base_ + "/images/sibling.txt"));
    EXPECT_TRUE(fs::exists(base_ + "/images/default/tree.txt"));
  }
}

}  // namespace
}  // namespace zorel::platform
