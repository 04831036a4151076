// Creating, re-creating and starting machine roots.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "temp_machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempMachine;

std::string freshBase() {
  char pattern[] = "/tmp/zorel-machine-test-XXXXXX";
  return ::mkdtemp(pattern);
}

TEST(Machine, InitBuildsTheDefaultImageAndIsIdempotent) {
  const std::string base = freshBase();
  const std::string root = base + "/m";
  bool created = false;
  ASSERT_EQ(initMachine(root, L"default", &created, nullptr), 0);
  EXPECT_TRUE(created);
  EXPECT_TRUE(machineIsInitialised(root));
  EXPECT_EQ(machineImageName(root), L"default");
  EXPECT_TRUE(fs::is_directory(root + "/drive_c/Users/User/AppData/Local/Temp"));
  EXPECT_TRUE(fs::is_directory(root + "/drive_c/Program Files (x86)"));
  EXPECT_TRUE(fs::exists(root + "/registry.db"));
  std::ofstream(root + "/drive_c/mine.txt") << "keep";
  ASSERT_EQ(initMachine(root, L"win7-sp1", &created, nullptr), 0);
  EXPECT_FALSE(created);
  EXPECT_EQ(machineImageName(root), L"default");  // an existing machine is left alone
  EXPECT_TRUE(fs::exists(root + "/drive_c/mine.txt"));
  // No work folders are left beside the root.
  for (const auto& e : fs::directory_iterator(base)) EXPECT_EQ(e.path().filename(), "m");
  fs::remove_all(base);
}

TEST(Machine, InterruptedInitLeavesNoMachineAndIsCleanedUp) {
  const std::string base = freshBase();
  const std::string root = base + "/m";
  // What a killed init leaves: a half-built sibling of a process that is gone.
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  const std::string stale = base + "/.m.init-" + std::to_string(child) + "-1";
  fs::create_directories(stale + "/drive_c/Windows");
  EXPECT_FALSE(machineIsInitialised(root));
  ASSERT_EQ(initMachine(root, L"default", nullptr, nullptr), 0);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(machineIsInitialised(root));
  fs::remove_all(base);
}

TEST(Machine, AFolderThatIsNotAMachineIsNeverTouched) {
  const std::string base = freshBase();
  const std::string root = base + "/m";
  fs::create_directories(root);
  std::ofstream(root + "/precious.txt") << "data";
  std::wstring message;
  EXPECT_EQ(initMachine(root, L"default", nullptr, &message), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(resetMachine(root, L"default", &message), ERROR_ALREADY_EXISTS);
  std::unique_ptr<IMachine> m;
  EXPECT_EQ(openMachine(root, {}, &m, &message), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(m, nullptr);
  EXPECT_TRUE(fs::exists(root + "/precious.txt"));
  EXPECT_FALSE(fs::exists(root + "/registry.db"));
  fs::remove_all(base);
}

TEST(Machine, UnknownOrMaliciousImageNamesAreRefused) {
  const std::string base = freshBase();
  const std::string root = base + "/m";
  for (const wchar_t* image : {L"no-such-image", L"..", L"../default", L"", L"a/b"}) {
    std::wstring message;
    EXPECT_EQ(initMachine(root, image, nullptr, &message), ERROR_FILE_NOT_FOUND) << image;
    EXPECT_FALSE(fs::exists(root));
  }
  fs::remove_all(base);
}

TEST(Machine, ResetReplacesTheRegistryAndFiles) {
  TempMachine m;
  ASSERT_EQ(writeValueAt(m->registry(), kHkeyLocalMachine, L"SOFTWARE\\Test", L"v", REG_DWORD,
                         regDword(7)), 0);
  std::ofstream(m.root() + "/drive_c/junk.txt") << "x";
  const std::string root = m.root();
  m.release().reset();  // close the registry first
  ASSERT_EQ(resetMachine(root, L"win7-sp1", nullptr), 0);
  EXPECT_EQ(machineImageName(root), L"win7-sp1");
  EXPECT_FALSE(fs::exists(root + "/drive_c/junk.txt"));
  std::unique_ptr<IMachine> again;
  ASSERT_EQ(openMachine(root, {}, &again), 0);
  uint32_t v = 0;
  EXPECT_EQ(readDword(again->registry(), kHkeyLocalMachine, L"SOFTWARE\\Test", L"v", &v),
            ERROR_FILE_NOT_FOUND);
  OsVersionInfoEx info;
  ASSERT_EQ(again->versionInfo().getVersionEx(info), 0);
  EXPECT_EQ(info.buildNumber, 7601u);
}

TEST(Machine, StartWritesTheHardwareKeysFromTheHost) {
  TempMachine m;
  std::wstring name;
  EXPECT_EQ(readString(m->registry(), kHkeyLocalMachine,
                       L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                       L"ProcessorNameString", &name), 0);
  uint32_t mhz = 0;
  EXPECT_EQ(readDword(m->registry(), kHkeyLocalMachine,
                      L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", L"~MHz", &mhz), 0);
  std::wstring count;
  EXPECT_EQ(readString(m->registry(), kHkeyLocalMachine,
                       L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                       L"NUMBER_OF_PROCESSORS", &count), 0);
  EXPECT_EQ(count, std::to_wstring(m->systemInfo().processorCount()));
}

TEST(Machine, SystemToolsAreNamesForTheWintoolsProgram) {
  const std::string base = freshBase();
  const std::string tool = base + "/zorel-wintools";
  std::ofstream(tool) << "#!/bin/sh\nexit 0\n";
  fs::permissions(tool, fs::perms::owner_all);
  ::setenv("ZOREL_WINTOOLS", tool.c_str(), 1);
  {
    TempMachine m;
    for (const char* name : {"reg.exe", "regedit.exe"}) {
      const fs::path link = m.root() + "/drive_c/Windows/System32/" + name;
      ASSERT_TRUE(fs::is_symlink(link)) << name;
      EXPECT_EQ(fs::read_symlink(link), tool);
    }
  }
  ::unsetenv("ZOREL_WINTOOLS");
  fs::remove_all(base);
}

TEST(Machine, RootFromEnvironment) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  ::setenv("ZOREL_MACHINE", "/some/where", 1);
  EXPECT_EQ(machineRootFromEnvironment(), "/some/where");
  ::unsetenv("ZOREL_MACHINE");
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(machineRootFromEnvironment(), "/data/zorel/machine");
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(machineRootFromEnvironment(), "/home/u/.local/share/zorel/machine");
  ::setenv("HOME", savedHome.c_str(), 1);
}

}  // namespace
}  // namespace zorel::platform
