// Registry throughput: value reads and single-value writes per second (each
// write its own transaction, as a program's RegSetValueEx is), and the time
// to import a 20 MiB .reg file.
//
//   registry_bench [folder]   (default: a temporary folder)

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "zorel/platform/registry/reg_file.h"
#include "zorel/platform/registry/registry.h"

using namespace zorel::platform;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// A v5 file of about targetBytes: keys of 50 values of mixed types.
std::string makeRegFile(std::size_t targetBytes) {
  std::wstring text = L"Windows Registry Editor Version 5.00\r\n\r\n";
  for (int key = 0; text.size() * 2 < targetBytes; ++key) {
    text += L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bench\\Key" + std::to_wstring(key) + L"]\r\n";
    for (int v = 0; v < 50; ++v) {
      RegValue value;
      value.name = L"Value" + std::to_wstring(v);
      switch (v % 4) {
        case 0: value.type = REG_SZ; value.data = regSz(L"some text for value " + std::to_wstring(v)); break;
        case 1: value.type = REG_DWORD; value.data = regDword(static_cast<std::uint32_t>(v)); break;
        case 2: value.type = REG_BINARY; value.data.assign(40, static_cast<std::uint8_t>(v)); break;
        default: value.type = REG_EXPAND_SZ; value.data = regSz(L"%SystemRoot%\\system32\\x.dll"); break;
      }
      text += formatRegValueLine(value, RegFileFormat::Version5) + L"\r\n";
    }
    text += L"\r\n";
  }
  std::string bytes = "\xFF\xFE";
  std::vector<std::uint8_t> utf16 = regSz(text);
  bytes.append(reinterpret_cast<const char*>(utf16.data()), utf16.size() - 2);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path dir = argc > 1 ? std::filesystem::path(argv[1])
                                       : std::filesystem::temp_directory_path() / "zorel-registry-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::unique_ptr<IRegistry> reg;
  if (openRegistry((dir / "registry.db").string(), RegistryOptions{}, &reg) != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot open the registry in %s\n", dir.c_str());
    return 1;
  }
  RegKey key;
  reg->createKey(kHkeyLocalMachine, L"SOFTWARE\\Bench\\Values", 0, KEY_ALL_ACCESS, &key, nullptr);

  const int writes = 20000;
  auto start = Clock::now();
  for (int i = 0; i < writes; ++i) {
    if (writeValue(*reg, key, L"v" + std::to_wstring(i % 1000), REG_DWORD,
                   regDword(static_cast<std::uint32_t>(i))) != ERROR_SUCCESS) {
      std::fprintf(stderr, "write failed\n");
      return 1;
    }
  }
  double writeSeconds = seconds(start);

  const int reads = 500000;
  std::uint8_t buffer[64];
  start = Clock::now();
  std::wstring names[1000];
  for (int i = 0; i < 1000; ++i) names[i] = L"v" + std::to_wstring(i);
  for (int i = 0; i < reads; ++i) {
    std::uint32_t type = 0, size = sizeof buffer;
    if (reg->queryValue(key, names[i % 1000], &type, buffer, &size) != ERROR_SUCCESS) {
      std::fprintf(stderr, "read failed\n");
      return 1;
    }
  }
  double readSeconds = seconds(start);
  reg->closeKey(key);

  std::string file = makeRegFile(20u * 1024 * 1024);
  start = Clock::now();
  RegImportResult result;
  WinError rc = importRegBytes(*reg, file, &result);
  double importSeconds = seconds(start);

  std::printf("value reads:          %10.0f per second (%d reads)\n", reads / readSeconds, reads);
  std::printf("single-value writes:  %10.0f per second (%d writes, one transaction each)\n",
              writes / writeSeconds, writes);
  std::printf("import of %.1f MiB .reg file: %.2f s (%zu keys, %zu values, %zu problems, rc %d)\n",
              file.size() / 1048576.0, importSeconds, result.keysCreated, result.valuesSet,
              result.problems.size(), rc);
  reg.reset();
  std::filesystem::remove_all(dir);
  return 0;
}
