// What a machine does at every start: the boot-time registry values from
// the host, the system programs that stand for our host tool (reg,
// regedit, cmd, regsvr32 and eventcreate in System32 and, on a 64-bit
// machine, SysWOW64, regedit in the Windows folder, svchost in System32) and
// eventcreate's message file in System32. No service starts with the
// machine.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "machine/linux/machine_internal.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/system/system_info.h"

#ifndef ZOREL_WINTOOLS_BUILD_PATH
#define ZOREL_WINTOOLS_BUILD_PATH ""
#endif

namespace zorel::platform::detail {
namespace fs = std::filesystem;

namespace {

bool isExecutable(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

WinError startMachine(IRegistry& registry, const ISystemInfo& system) {
  WinError result = refreshHardwareKeys(registry);
  // The session manager sets the processor count at every boot.
  const WinError e = writeValueAt(
      registry, kHkeyLocalMachine,
      L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
      L"NUMBER_OF_PROCESSORS", REG_SZ, regSz(std::to_wstring(system.processorCount())));
  return result != ERROR_SUCCESS ? result : e;
}

std::string wintoolsPath() {
  if (const char* env = std::getenv("ZOREL_WINTOOLS"); env && isExecutable(env)) return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::string beside = (self.parent_path() / "zorel-wintools").string();
    if (isExecutable(beside)) return beside;
  }
  if (isExecutable(ZOREL_WINTOOLS_BUILD_PATH)) return ZOREL_WINTOOLS_BUILD_PATH;
  return {};
}

namespace {

// Makes folder/name a symbolic link to tool unless it already is one; a
// regular file of that name is someone's real program and stays.
void linkTool(const std::string& tool, const fs::path& folder, const char* name) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  const fs::path link = folder / name;
  const fs::path current = fs::read_symlink(link, ec);
  if (!ec && current == tool) return;
  if (fs::exists(fs::symlink_status(link, ec)) && !fs::is_symlink(fs::symlink_status(link, ec)))
    return;
  // A per-process temporary name and rename(), so a concurrent start never
  // sees the link missing.
  const fs::path tmp = folder / ("." + std::string(name) + "." + std::to_string(::getpid()));
  fs::remove(tmp, ec);
  fs::create_symlink(tool, tmp, ec);
  if (!ec && hostCalls().rename(tmp.c_str(), link.c_str()) != 0) fs::remove(tmp, ec);
}

// Copies source to target unless target already holds a file of its size;
// through a temporary name, so a concurrent start never sees half a file.
void placeFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  const auto size = fs::file_size(source, ec);
  if (ec) return;
  const auto present = fs::file_size(target, ec);
  if (!ec && present == size) return;
  if (fs::exists(fs::symlink_status(target, ec)) && !fs::is_regular_file(fs::symlink_status(target, ec)))
    return;
  const fs::path tmp = target.parent_path() /
                       ("." + target.filename().string() + "." + std::to_string(::getpid()));
  fs::copy_file(source, tmp, fs::copy_options::overwrite_existing, ec);
  if (ec || hostCalls().rename(tmp.c_str(), target.c_str()) != 0) fs::remove(tmp, ec);
}

}  // namespace

void linkSystemTools(const std::string& machineRoot, bool is64BitMachine) {
  const std::string tool = wintoolsPath();
  if (tool.empty()) return;
  auto mapper = createPathMapper(machineRoot);
  // The SysWOW64 copies are the 32-bit tools: the multi-call program sees
  // the folder it was started from and works in the 32-bit view. A 32-bit
  // Windows has no SysWOW64.
  static const char* const kSystemTools[] = {"reg.exe", "regedit.exe", "cmd.exe", "regsvr32.exe",
                                             "eventcreate.exe"};
  for (const wchar_t* folder : {L"C:\\Windows\\System32", L"C:\\Windows\\SysWOW64"}) {
    if (!is64BitMachine && std::wstring_view(folder).ends_with(L"SysWOW64")) continue;
    std::string host;
    if (mapper->toHostPath(folder, host) != 0) continue;
    for (const char* name : kSystemTools) linkTool(tool, host, name);
  }
  std::string system32;
  if (mapper->toHostPath(L"C:\\Windows\\System32", system32) == 0)
    linkTool(tool, system32, "svchost.exe");
  std::string windows;
  if (mapper->toHostPath(L"C:\\Windows", windows) == 0) linkTool(tool, windows, "regedit.exe");
  // The message file the build generates beside the tool.
  const fs::path messages = fs::path(tool).parent_path() / kEventCreateMessageFile;
  if (!system32.empty()) placeFile(messages, fs::path(system32) / kEventCreateMessageFile);
}

}  // namespace zorel::platform::detail
