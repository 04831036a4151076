// libFuzzer target: any bytes as a .reg file, applied to a throw-away
// registry. The first byte picks the encoding and the export format:
//   bit 0  0: the bytes as they are (8-bit), 1: the rest, read as UTF-8,
//          written as UTF-16LE with a BOM, as regedit saves
//   bit 1  export as Version5 (0) or REGEDIT4 (1)
// Properties: importing never breaks the registry (integrity check); the
// export of what was applied parses without a problem, and importing it
// into a second fresh registry and exporting that gives the same bytes.

#include <filesystem>

#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/registry/reg_file.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::fuzz {
namespace {

std::unique_ptr<platform::IRegistry> FreshRegistry(const char* name) {
  const std::string path = ScratchFolder() + "/" + name;
  std::error_code ec;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    std::filesystem::remove(path + suffix, ec);
  platform::RegistryOptions options;
  options.backupRestore = true;
  options.busyTimeoutMs = 1000;
  std::unique_ptr<platform::IRegistry> registry;
  if (platform::openRegistry(path, options, &registry) != 0) Fail("no registry file");
  return registry;
}

std::string Utf16WithBom(std::string_view utf8) {
  std::string bytes = "\xFF\xFE";
  for (wchar_t c : fromUtf8(utf8)) {
    auto unit = [&bytes](uint32_t u) {
      bytes.push_back(static_cast<char>(u & 0xFF));
      bytes.push_back(static_cast<char>(u >> 8));
    };
    const uint32_t code = static_cast<uint32_t>(c);
    if (code >= 0x10000) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
  }
  return bytes;
}

void RequireIntegral(platform::IRegistry& registry) {
  std::wstring report;
  if (registry.checkIntegrity(&report) != 0) {
    std::fprintf(stderr, "%s\n", toUtf8(report).c_str());
    Fail("an import left the registry damaged");
  }
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  Parts parts(data, size);
  const uint8_t mode = parts.Byte();
  const std::string bytes = (mode & 1) ? Utf16WithBom(parts.Rest()) : std::string(parts.Rest());
  const platform::RegFileFormat format =
      (mode & 2) ? platform::RegFileFormat::Regedit4 : platform::RegFileFormat::Version5;

  auto first = FreshRegistry("first.db");
  platform::RegImportResult imported;
  if (platform::importRegBytes(*first, bytes, &imported) != 0) return 0;
  RequireIntegral(*first);

  std::string exported;
  Require(platform::exportRegKey(*first, L"", format, &exported) == 0, "the registry did not export");
  platform::RegFileParse parse;
  Require(platform::parseRegText(platform::decodeRegFileBytes(exported), &parse) == 0,
          "an export is not a registry file");
  for (const platform::RegFileProblem& problem : parse.problems) {
    std::fprintf(stderr, "line %zu: %s\n", problem.line, toUtf8(problem.message).c_str());
    Fail("an export does not read back cleanly");
  }

  auto second = FreshRegistry("second.db");
  platform::RegImportResult reimported;
  Require(platform::importRegBytes(*second, exported, &reimported) == 0 &&
              reimported.problems.empty(),
          "an export did not import cleanly");
  std::string again;
  Require(platform::exportRegKey(*second, L"", format, &again) == 0 && again == exported,
          "exporting the re-read registry gave other keys or values");
  return 0;
}
