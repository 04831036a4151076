// Fills HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor from the host's
// /proc/cpuinfo, as Windows rebuilds the HARDWARE key at every boot.

#include <fstream>
#include <map>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {

namespace {

struct Processor {
  std::string name, vendor, family, model, stepping, mhz;
};

std::string trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

std::map<int, Processor> readCpuinfo() {
  std::map<int, Processor> cpus;
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  int current = -1;
  while (std::getline(in, line)) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string key = trim(line.substr(0, colon)), value = trim(line.substr(colon + 1));
    if (key == "processor") {
      current = std::atoi(value.c_str());
      cpus[current];
    } else if (current >= 0) {
      Processor& p = cpus[current];
      if (key == "model name") p.name = value;
      else if (key == "vendor_id") p.vendor = value;
      else if (key == "cpu family") p.family = value;
      else if (key == "model") p.model = value;
      else if (key == "stepping") p.stepping = value;
      else if (key == "cpu MHz") p.mhz = value;
    }
  }
  return cpus;
}

}  // namespace

WinError refreshHardwareKeys(IRegistry& registry) {
  std::map<int, Processor> cpus = readCpuinfo();
  if (cpus.empty()) cpus[0] = Processor{};
  const std::wstring base = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor";
  WinError rc = registry.deleteTree(kHkeyLocalMachine, base);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return rc;
  // A 32-bit Windows names every processor "x86 Family ...".
  std::wstring architecture;
  readString(registry, kHkeyLocalMachine,
             L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
             L"PROCESSOR_ARCHITECTURE", &architecture);
  const bool x86 = architecture == L"x86" || architecture == L"X86";
  registry.beginBatch();
  for (const auto& [index, cpu] : cpus) {
    std::wstring key = base + L"\\" + std::to_wstring(index);
    std::wstring identifier = L"Intel64 Family " + fromUtf8(cpu.family.empty() ? "6" : cpu.family) +
                              L" Model " + fromUtf8(cpu.model.empty() ? "0" : cpu.model) +
                              L" Stepping " + fromUtf8(cpu.stepping.empty() ? "0" : cpu.stepping);
    if (x86) identifier.replace(0, 7, L"x86");
    else if (cpu.vendor == "AuthenticAMD") identifier.replace(0, 7, L"AMD64");
    std::uint32_t mhz = static_cast<std::uint32_t>(std::atof(cpu.mhz.c_str()) + 0.5);
    WinError w = writeValueAt(registry, kHkeyLocalMachine, key, L"ProcessorNameString", REG_SZ,
                              regSz(fromUtf8(cpu.name)));
    if (w == ERROR_SUCCESS) {
      w = writeValueAt(registry, kHkeyLocalMachine, key, L"VendorIdentifier", REG_SZ,
                       regSz(fromUtf8(cpu.vendor)));
    }
    if (w == ERROR_SUCCESS) {
      w = writeValueAt(registry, kHkeyLocalMachine, key, L"Identifier", REG_SZ, regSz(identifier));
    }
    if (w == ERROR_SUCCESS) {
      w = writeValueAt(registry, kHkeyLocalMachine, key, L"~MHz", REG_DWORD, regDword(mhz));
    }
    if (w != ERROR_SUCCESS) {
      registry.abortBatch();
      return w;
    }
  }
  return registry.commitBatch();
}

}  // namespace zorel::platform
