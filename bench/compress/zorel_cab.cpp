// zorel-cab create OUT.cab [--max BYTES] [--level 1-9] [--threads 1|2] PATH...
// zorel-cab make-set DIR
//
// create: a folder is stored under its own name with everything below it; a
// file at the cabinet's top level. make-set: the benchmarks' 100 MB set of
// 200 files (bench_data.h) in DIR. Extraction is the program's own
// `zorel cab extract CAB DIR`. Exit status 0 on success, 1 on failure, 2 on
// bad usage.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_data.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: zorel-cab create OUT.cab [--max BYTES] [--level N] "
               "[--threads N] PATH...\n"
               "       zorel-cab make-set DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string command = argv[1];
  zorel::CabinetUtility cab;
  if (command == "make-set") {
    if (argc != 3) return usage();
    std::filesystem::remove_all(argv[2]);
    return zorel::bench::makeBenchSet(argv[2], 200, 100ull << 20).size() == 200 ? 0 : 1;
  }
  if (command != "create" || argc < 4) return usage();
  cab.SetTarget(zorel::fromUtf8(argv[2]));
  int i = 3;
  for (; i + 1 < argc && std::string(argv[i]).rfind("--", 0) == 0; i += 2) {
    std::string option = argv[i];
    long long value = std::atoll(argv[i + 1]);
    if (option == "--max") {
      cab.SetMaxCabinetSize(uint64_t(value));
    } else if (option == "--level") {
      cab.SetCompressionLevel(int(value));
    } else if (option == "--threads") {
      cab.SetThreads(int(value));
    } else {
      return usage();
    }
  }
  for (; i < argc; ++i) {
    std::filesystem::path path = argv[i];
    std::wstring source = zorel::fromUtf8(argv[i]);
    bool added = std::filesystem::is_directory(path)
                     ? cab.AddFolder(source, zorel::fromUtf8(path.filename().string()))
                     : cab.AddFile(source, L"");
    if (!added) {
      std::fprintf(stderr, "zorel-cab: cannot add %s\n", argv[i]);
      return 1;
    }
  }
  return cab.Compress() ? 0 : 1;
}
