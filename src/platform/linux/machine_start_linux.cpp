// What a machine does at every start: the HARDWARE keys from the host and
// the system programs that stand for our host tool.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "machine_internal.h"
#include "zorel/platform/paths.h"
#include "zorel/platform/system_info.h"

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

WinError writeHardwareDescription(IRegistry& registry, const ISystemInfo& system) {
  const std::wstring base = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor";
  const std::wstring name = system.processorBrandString();
  const std::wstring vendor = system.processorVendor();
  const std::wstring identifier = system.processorIdentifier();
  const uint32_t mhz = system.processorMhz();
  const uint32_t count = system.processorCount();
  WinError result = ERROR_SUCCESS;
  registry.beginBatch();
  for (uint32_t i = 0; i < count && i < 1024; ++i) {
    const std::wstring key = base + L"\\" + std::to_wstring(i);
    auto put = [&](const wchar_t* valueName, uint32_t type, const std::vector<uint8_t>& data) {
      WinError e = writeValueAt(registry, kHkeyLocalMachine, key, valueName, type, data);
      if (e != ERROR_SUCCESS && result == ERROR_SUCCESS) result = e;
    };
    put(L"~MHz", REG_DWORD, regDword(mhz));
    put(L"ProcessorNameString", REG_SZ, regSz(name));
    put(L"VendorIdentifier", REG_SZ, regSz(vendor));
    put(L"Identifier", REG_SZ, regSz(identifier));
    put(L"FeatureSet", REG_DWORD, regDword(0));
    if (result != ERROR_SUCCESS) break;
  }
  if (result == ERROR_SUCCESS) {
    result = writeValueAt(registry, kHkeyLocalMachine, L"HARDWARE\\DESCRIPTION\\System",
                          L"Identifier", REG_SZ, regSz(L"AT/AT COMPATIBLE"));
  }
  if (result == ERROR_SUCCESS) {
    registry.commitBatch();
  } else {
    registry.abortBatch();
  }
  return result;
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

void linkSystemTools(const std::string& machineRoot) {
  const std::string tool = wintoolsPath();
  if (tool.empty()) return;
  auto mapper = createPathMapper(machineRoot);
  std::string system32;
  if (mapper->toHostPath(L"C:\\Windows\\System32", system32) != 0) return;
  std::error_code ec;
  fs::create_directories(system32, ec);
  for (const char* name : {"reg.exe", "regedit.exe"}) {
    const fs::path link = fs::path(system32) / name;
    const fs::path current = fs::read_symlink(link, ec);
    if (!ec && current == tool) continue;
    // A regular file of that name is someone's real program: keep it.
    if (fs::exists(fs::symlink_status(link, ec)) && !fs::is_symlink(fs::symlink_status(link, ec)))
      continue;
    fs::remove(link, ec);
    // A per-process temporary name and rename(), so a concurrent start
    // never sees the link missing.
    const fs::path tmp = fs::path(system32) / ("." + std::string(name) + "." + std::to_string(::getpid()));
    fs::remove(tmp, ec);
    fs::create_symlink(tool, tmp, ec);
    if (!ec) fs::rename(tmp, link, ec);
  }
}

}  // namespace zorel::platform::detail
