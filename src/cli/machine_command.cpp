// zorel machine init [--image NAME] | reset [--image NAME] | info
//
// init creates the machine root from an image unless it holds a machine;
// reset replaces it with a fresh one; info describes it (creating it from
// the default image first, like any other use of the machine).


#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::cli {
namespace {

using namespace zorel::platform;

void fail(const char* what, WinError code, const std::wstring& message) {
  std::string reason = message.empty() ? toUtf8(systemErrorMessage(static_cast<uint32_t>(code)))
                                       : toUtf8(message);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  std::fprintf(stderr, "zorel machine %s: %s (error %d)\n", what, reason.c_str(), code);
}

std::string describeVersion(const IVersionInfo& v) {
  OsVersionInfoEx info;
  if (v.getVersionEx(info) != ERROR_SUCCESS) return "unknown";
  std::string text = std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) +
                     "." + std::to_string(info.buildNumber);
  if (!info.csdVersion.empty()) text += " " + toUtf8(info.csdVersion);
  return text;
}

uint64_t fileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

int printInfo(IMachine& m) {
  const IVersionInfo& v = m.versionInfo();
  const ISpecialFolders& f = m.specialFolders();
  std::wstring locale;
  lcidToLocaleName(v.systemDefaultUILanguage(), locale);
  uint32_t product = 0;
  v.getProductInfo(6, 2, 0, 0, product);
  std::wstring computer, user, temp, appdata;
  m.environment().getVariable(L"COMPUTERNAME", computer);
  m.environment().getVariable(L"USERNAME", user);
  m.environment().getVariable(L"TEMP", temp);
  m.environment().getVariable(L"APPDATA", appdata);
  std::wstring programFiles, programFilesX86, profile;
  f.getFolderPath(CSIDL_PROGRAM_FILES, programFiles);
  f.getFolderPath(CSIDL_PROGRAM_FILESX86, programFilesX86);
  f.getFolderPath(CSIDL_PROFILE, profile);
  const std::string db = m.hostRoot() + "/registry.db";
  const uint64_t regBytes = fileSize(db) + fileSize(db + "-wal");

  std::printf("%-21s%s\n", "Machine root:", m.hostRoot().c_str());
  std::printf("%-21s%s\n", "Image:", toUtf8(machineImageName(m.hostRoot())).c_str());
  std::printf("%-21s%s\n", "Windows:", toUtf8(v.productName()).c_str());
  std::printf("%-21s%s (product type %u)\n", "Edition:", toUtf8(v.editionId()).c_str(), product);
  std::printf("%-21s%s\n", "Version:", describeVersion(v).c_str());
  std::printf("%-21s%s\n", "Architecture:", v.is64BitOperatingSystem() ? "64-bit" : "32-bit");
  std::printf("%-21s%s\n", "Language:", toUtf8(locale).c_str());
  std::printf("%-21s%s\n", "Computer name:", toUtf8(computer).c_str());
  std::printf("%-21s%s\n", "User:", toUtf8(user).c_str());
  std::printf("%-21s%s\n", "Windows folder:", toUtf8(f.windowsDirectory()).c_str());
  std::printf("%-21s%s\n", "System folder:", toUtf8(f.systemDirectory()).c_str());
  std::printf("%-21s%s\n", "Program Files:", toUtf8(programFiles).c_str());
  std::printf("%-21s%s\n", "Program Files (x86):", toUtf8(programFilesX86).c_str());
  std::printf("%-21s%s\n", "User profile:", toUtf8(profile).c_str());
  std::printf("%-21s%s\n", "AppData:", toUtf8(appdata).c_str());
  std::printf("%-21s%s\n", "Temp:", toUtf8(temp).c_str());
  std::printf("%-21s%llu bytes\n", "Registry size:", static_cast<unsigned long long>(regBytes));
  return 0;
}

int usage() {
  std::fprintf(stderr, "usage: zorel machine init [--image NAME] | reset [--image NAME] | info\n");
  return 1;
}

}  // namespace

int runMachine(const Args& args) {
  if (args.empty()) return usage();
  const std::string& verb = args[0];
  std::wstring image = L"default";
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--image" && i + 1 < args.size()) {
      image = fromUtf8(args[++i]);
    } else {
      return usage();
    }
  }
  const std::string root = machineRootFromEnvironment();
  std::wstring message;
  if (verb == "init") {
    bool created = false;
    WinError e = initMachine(root, image, &created, &message);
    if (e != ERROR_SUCCESS) {
      fail("init", e, message);
      return 1;
    }
    if (created) {
      std::printf("Created machine %s from image %s\n", root.c_str(), toUtf8(image).c_str());
    } else {
      std::printf("Machine %s already exists (image %s); nothing changed\n", root.c_str(),
                  toUtf8(machineImageName(root)).c_str());
    }
    return 0;
  }
  if (verb == "reset") {
    WinError e = resetMachine(root, image, &message);
    if (e != ERROR_SUCCESS) {
      fail("reset", e, message);
      return 1;
    }
    std::printf("Reset machine %s from image %s\n", root.c_str(), toUtf8(image).c_str());
    return 0;
  }
  if (verb == "info") {
    if (!machineIsInitialised(root)) {
      WinError e = initMachine(root, image, nullptr, &message);
      if (e != ERROR_SUCCESS) {
        fail("info", e, message);
        return 1;
      }
    }
    std::unique_ptr<IMachine> machine;
    WinError e = openMachine(root, MachineOpenOptions{}, &machine, &message);
    if (e != ERROR_SUCCESS) {
      fail("info", e, message);
      return 1;
    }
    return printInfo(*machine);
  }
  return usage();
}

}  // namespace zorel::cli
