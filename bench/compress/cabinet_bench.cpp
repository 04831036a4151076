// One run: builds a 100 MB set of 200 files (mixed compressible and random),
// then times cabinet creation (ours at several settings, and gcab -c -z) and
// extraction (ours, and cabextract, of our cabinet; ours of gcab's), checks
// that every extraction gives back the set, and prints times and sizes.
//
// usage: cabinet_bench [WORK_FOLDER] [RUNS]
// The peers run through the shell, so their times include process start-up;
// ours run in-process (zorel-cab gives whole-process figures).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench_data.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"

namespace fs = std::filesystem;

namespace {

int gRuns = 3;

double medianSeconds(const std::function<bool()>& run, const std::function<void()>& before) {
  std::vector<double> times;
  for (int i = 0; i < gRuns; ++i) {
    if (before) before();
    auto start = std::chrono::steady_clock::now();
    if (!run()) {
      std::fprintf(stderr, "run failed\n");
      std::exit(1);
    }
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Every file of the set is in `out` with the same bytes.
bool sameSet(const fs::path& work, const std::vector<fs::path>& files, const fs::path& out) {
  for (const auto& file : files) {
    if (readAll(file) != readAll(out / fs::relative(file, work))) {
      std::fprintf(stderr, "mismatch: %s in %s\n", file.c_str(), out.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zorel_cabinet_bench";
  if (argc > 2) gRuns = std::max(1, std::atoi(argv[2]));
  fs::remove_all(work);
  fs::create_directories(work);
  fs::current_path(work);
  auto files = zorel::bench::makeBenchSet(work / "set", 200, 100ull << 20);
  uint64_t total = 0;
  std::string list;
  for (const auto& file : files) {
    total += fs::file_size(file);
    list += " " + fs::relative(file, work).string();
  }
  std::printf("data set: %zu files, %llu bytes, %d runs each (median)\n", files.size(),
              (unsigned long long)total, gRuns);

  auto ours = [&](const fs::path& cab, int level, int threads) {
    return [=] {
      zorel::CabinetUtility utility;
      utility.SetTarget(zorel::fromUtf8(cab.string()));
      utility.SetCompressionLevel(level);
      utility.SetThreads(threads);
      return utility.AddFolder(L"set", L"set") && utility.Compress();
    };
  };
  std::printf("\n%-40s %9s %12s %8s\n", "creation", "seconds", "bytes", "vs gcab");
  double gcabTime = medianSeconds([&] { return shell("gcab -c -z gcab.cab" + list); },
                                  [] { fs::remove("gcab.cab"); });
  uint64_t gcabSize = fs::file_size("gcab.cab");
  std::printf("%-40s %9.3f %12llu %8s\n", "gcab -c -z", gcabTime,
              (unsigned long long)gcabSize, "1.000");
  struct Setting { int level, threads; };
  for (Setting s : {Setting{6, 2}, Setting{6, 1}, Setting{5, 2}, Setting{4, 2}, Setting{1, 2}}) {
    std::string name = "ours-l" + std::to_string(s.level) + "-t" + std::to_string(s.threads) + ".cab";
    double t = medianSeconds(ours(name, s.level, s.threads), {});
    uint64_t size = fs::file_size(name);
    char label[64];
    std::snprintf(label, sizeof label, "ours level %d, %d thread(s)", s.level, s.threads);
    std::printf("%-40s %9.3f %12llu %8.3f   size %+.2f%%\n", label, t,
                (unsigned long long)size, t / gcabTime,
                100.0 * (double(size) - double(gcabSize)) / double(gcabSize));
  }

  std::printf("\n%-40s %9s %8s\n", "extraction", "seconds", "vs peer");
  const fs::path cab = "ours-l6-t2.cab";
  double cxTime = medianSeconds([&] { return shell("cabextract -q -d out-cx " + cab.string()); },
                                [] { fs::remove_all("out-cx"); });
  double oursTime = medianSeconds(
      [&] {
        zorel::CabinetUtility utility;
        return utility.Decompress(zorel::fromUtf8((work / cab).string()), L"out-ours");
      },
      [] { fs::remove_all("out-ours"); });
  double gcabX = medianSeconds([&] { return shell("gcab -x -C out-gx gcab.cab"); },
                               [] { fs::remove_all("out-gx"); fs::create_directory("out-gx"); });
  double oursOfGcab = medianSeconds(
      [&] {
        zorel::CabinetUtility utility;
        return utility.Decompress(zorel::fromUtf8((work / "gcab.cab").string()), L"out-og");
      },
      [] { fs::remove_all("out-og"); });
  std::printf("%-40s %9.3f %8s\n", "cabextract, our cabinet", cxTime, "1.000");
  std::printf("%-40s %9.3f %8.3f\n", "ours, our cabinet", oursTime, oursTime / cxTime);
  std::printf("%-40s %9.3f %8s\n", "gcab -x, gcab's cabinet", gcabX, "1.000");
  std::printf("%-40s %9.3f %8.3f\n", "ours, gcab's cabinet", oursOfGcab, oursOfGcab / gcabX);

  bool ok = sameSet(work, files, "out-ours") && sameSet(work, files, "out-cx") &&
            sameSet(work, files, "out-og");
  std::printf("\nevery extraction matches the set: %s\n", ok ? "yes" : "NO");
  return ok ? 0 : 1;
}
