// zorel cab list CAB / zorel cab extract CAB DIR: a look into the cabinets
// a run leaves (collection.cab, db.cab) and any other cabinet, with the
// program's own reader.
//
// list prints one line per file: its size in bytes, its DOS date and time,
// its attributes (R, H, S, A, or '-' where one is not set) and the name
// stored in the cabinet. extract writes every file below DIR exactly as a
// check script's extraction would, refusing names that leave DIR. Both exit
// 0, or 1 with the reason on standard error.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_listing.h"
#include "zorel/compress/cabinet_utility.h"

namespace zorel::cli {
namespace {

constexpr const char* kUsage = "usage: zorel cab list CAB | zorel cab extract CAB DIR\n";

int fail(const std::string& verb, const std::wstring& reason) {
  std::fprintf(stderr, "zorel cab %s: %s\n", verb.c_str(), toUtf8(reason).c_str());
  return 1;
}

std::string attributeLetters(uint16_t attributes) {
  std::string letters = "----";
  if (attributes & 0x01) letters[0] = 'R';
  if (attributes & 0x02) letters[1] = 'H';
  if (attributes & 0x04) letters[2] = 'S';
  if (attributes & 0x20) letters[3] = 'A';
  return letters;
}

int list(const std::string& cabinet) {
  std::vector<CabinetFileInfo> files;
  std::wstring reason;
  const bool whole = ListCabinet(fromUtf8(cabinet), files, reason);
  for (const CabinetFileInfo& file : files) {
    std::printf("%10u  %04d-%02d-%02d %02d:%02d:%02d  %s  %s\n", file.size, file.year, file.month,
                file.day, file.hour, file.minute, file.second,
                attributeLetters(file.attributes).c_str(), file.name.c_str());
  }
  std::fflush(stdout);
  return whole ? 0 : fail("list", reason);
}

int extract(const std::string& cabinet, const std::string& folder) {
  // The extraction reads continuation cabinets from the first one's folder,
  // so "x.cab" alone is taken from the current one.
  std::error_code ec;
  const std::string path = std::filesystem::absolute(cabinet, ec).string();
  CabinetUtility utility;
  std::wstring reason;
  if (utility.Decompress(fromUtf8(ec ? cabinet : path), fromUtf8(folder), &reason)) return 0;
  return fail("extract", reason.empty() ? L"the extraction failed" : reason);
}

}  // namespace

int runCab(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() == 2 && args[0] == "list") return list(args[1]);
  if (args.size() == 3 && args[0] == "extract") return extract(args[1], args[2]);
  std::fputs(kUsage, stderr);
  return 1;
}

}  // namespace zorel::cli
