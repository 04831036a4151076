// Host-backed facilities: memory, processor, disk, volumes, time, named
// locks, events, system messages, GUIDs and the temporary folder.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "temp_machine.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/base/guid.h"
#include "zorel/platform/process/sync.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel::platform {
namespace {

using testing::TempMachine;

TEST(SystemInfo, MemoryFiguresAreConsistent) {
  TempMachine m;
  MemoryStatus s;
  ASSERT_EQ(m->systemInfo().globalMemoryStatus(s), 0);
  EXPECT_GT(s.totalPhys, 0u);
  EXPECT_LE(s.availPhys, s.totalPhys);
  EXPECT_GE(s.totalPageFile, s.totalPhys);
  EXPECT_LE(s.availPageFile, s.totalPageFile);
  EXPECT_LE(s.memoryLoad, 100u);
  uint64_t kb = 0;
  ASSERT_EQ(m->systemInfo().physicallyInstalledMemoryKb(kb), 0);
  EXPECT_EQ(kb * 1024, s.totalPhys);
}

TEST(SystemInfo, ProcessorFacts) {
  TempMachine m;
  EXPECT_GE(m->systemInfo().processorCount(), 1u);
  EXPECT_LE(m->systemInfo().processorBrandString().size(), 48u);
}

TEST(SystemInfo, DiskSpaceOfMachineFolders) {
  TempMachine m;
  DiskSpace d;
  ASSERT_EQ(m->systemInfo().diskFreeSpace(L"C:\\", d), 0);
  EXPECT_GT(d.totalBytes, 0u);
  EXPECT_LE(d.freeBytesAvailableToCaller, d.totalFreeBytes);
  EXPECT_LE(d.totalFreeBytes, d.totalBytes);
  EXPECT_EQ(m->systemInfo().diskFreeSpace(L"C:\\Windows\\system32", d), 0);
  EXPECT_EQ(m->systemInfo().diskFreeSpace(L"C:\\No\\Such\\Folder", d), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(m->systemInfo().diskFreeSpace(L"Q:\\", d), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(m->systemInfo().diskFreeSpace(L"C:\\a?b", d), ERROR_INVALID_NAME);
}

TEST(SystemInfo, VolumeInformationOnlyForDriveRoots) {
  TempMachine m;
  VolumeInformation v;
  ASSERT_EQ(m->systemInfo().volumeInformation(L"C:\\", v), 0);
  EXPECT_EQ(v.fileSystemName, L"NTFS");
  EXPECT_EQ(m->systemInfo().volumeInformation(L"C:\\Windows", v), ERROR_INVALID_NAME);
  EXPECT_EQ(m->systemInfo().volumeInformation(L"", v), ERROR_INVALID_NAME);
  EXPECT_EQ(m->systemInfo().volumeInformation(L"Q:\\", v), ERROR_PATH_NOT_FOUND);
}

TEST(SystemInfo, LocalTimeAndZone) {
  TempMachine m;
  std::tm t{};
  EXPECT_EQ(m->systemInfo().localTime(0, t), 0);
  EXPECT_FALSE(m->systemInfo().timeZoneName().empty());
}

TEST(NamedInstance, SecondClaimFailsUntilTheFirstIsReleased) {
  WinError e = -1;
  auto first = claimNamedInstance(L"{E71B08E8-3175-445D-964F-BB3CC4FF5E31}-test", e);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(e, 0);
  // Object names ignore case.
  auto second = claimNamedInstance(L"{e71b08e8-3175-445d-964f-bb3cc4ff5e31}-TEST", e);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(e, ERROR_ALREADY_EXISTS);
  // Another process sees it taken too.
  pid_t child = fork();
  if (child == 0) {
    WinError ce = 0;
    auto l = claimNamedInstance(L"Global\\{E71B08E8-3175-445D-964F-BB3CC4FF5E31}-test", ce);
    _exit(l == nullptr && ce == ERROR_ALREADY_EXISTS ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  first.reset();
  auto third = claimNamedInstance(L"{E71B08E8-3175-445D-964F-BB3CC4FF5E31}-test", e);
  EXPECT_NE(third, nullptr);
}

TEST(NamedInstance, BadNames) {
  WinError e = 0;
  EXPECT_EQ(claimNamedInstance(L"", e), nullptr);
  EXPECT_EQ(e, ERROR_INVALID_NAME);
  EXPECT_EQ(claimNamedInstance(L"a\\b", e), nullptr);
  EXPECT_EQ(e, ERROR_PATH_NOT_FOUND);
  auto odd = claimNamedInstance(L"../../etc/x y", e);  // stays a plain file name
  EXPECT_NE(odd, nullptr);
}

TEST(ManualResetEvent, StaysSetUntilReset) {
  auto ev = createManualResetEvent(false);
  EXPECT_EQ(ev->wait(10), kWaitTimeout);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ev->set();
  });
  EXPECT_EQ(ev->wait(kInfinite), kWaitObject0);
  setter.join();
  EXPECT_EQ(ev->wait(0), kWaitObject0);  // manual reset: still set
  EXPECT_EQ(ev->wait(0), kWaitObject0);
  ev->reset();
  EXPECT_FALSE(ev->isSet());
  EXPECT_EQ(ev->wait(0), kWaitTimeout);
}

TEST(ErrorMessage, WindowsTextsWithLineEnd) {
  EXPECT_EQ(systemErrorMessage(2), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(systemErrorMessage(5), L"Access is denied.\r\n");
  EXPECT_EQ(systemErrorMessage(0x80070005u), L"Access is denied.\r\n");
  EXPECT_EQ(systemErrorMessage(0x80004005u), L"Unspecified error\r\n");
  std::wstring text = L"untouched";
  EXPECT_EQ(formatSystemMessage(99999, text), 317);
  EXPECT_EQ(text, L"untouched");
}

TEST(Guid, TextFormAndUniqueness) {
  Guid a, b;
  ASSERT_EQ(coCreateGuid(a), 0);
  ASSERT_EQ(coCreateGuid(b), 0);
  std::wstring ta, tb;
  ASSERT_EQ(uuidToString(a, ta), 0);
  ASSERT_EQ(uuidToString(b, tb), 0);
  EXPECT_NE(ta, tb);
  ASSERT_EQ(ta.size(), 36u);
  for (size_t i = 0; i < ta.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      EXPECT_EQ(ta[i], L'-');
    } else {
      EXPECT_TRUE(iswxdigit(ta[i]) && !iswupper(ta[i])) << ta;
    }
  }
  EXPECT_EQ(ta[14], L'4');  // version 4
}

TEST(TempPath, IsTheMachinesTemp) {
  TempMachine m;
  const std::string expected = m.root() + "/drive_c/Users/User/AppData/Local/Temp/";
  setCurrentMachine(m.release());
  EXPECT_EQ(hostTempFolder(), expected);
  setCurrentMachine(nullptr);
  // Without a machine: $TMPDIR, else /tmp.
  const char* saved = std::getenv("TMPDIR");
  ::setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(hostTempFolder(), "/var/tmp/");
  ::unsetenv("TMPDIR");
  EXPECT_EQ(hostTempFolder(), "/tmp/");
  if (saved) ::setenv("TMPDIR", saved, 1);
}

}  // namespace
}  // namespace zorel::platform
