// package_run_bench [RUNS] [WORK_FOLDER]: what collecting files costs a
// check run, against gcab on the same files.
//
// A machine root in WORK_FOLDER gets the cabinet benchmark's data set (200
// files, 100 MiB, a third random) at C:\bench\set. Two check scripts run
// stages 101 and 102 (so the run is packaged) through the real `zorel check`:
// one asks for the folder with File.collect, the other does not. The net
// cost of packaging the set is the difference of their wall times; the peer
// is `gcab -c -z` on the same files. Each round runs the three commands in
// turn and takes its own ratio, so a machine that slows down in between
// moves both sides; the medians of RUNS rounds (default 5) are printed with
// both cabinets' sizes.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../compress/bench_data.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
const std::string kZorel = ZOREL_BINARY_DIR "/src/cli/zorel";

const char kScript[] = R"(var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "%s.js"};
var ExecutionMode = {detect: 101, fix: 102};
reportProblem({id: 1, name: "bench", stages: [101, 102]});
var Problems = {
  1: {
    detect: function () {
      %s
    },
    fix: function () { reportStatus({id: 1, stage: 102, status: 1}); }
  }
};
)";

std::string quote(const std::string& text) { return "'" + text + "'"; }

// Wall seconds of a shell command; exits the program when it fails.
double timed(const std::string& command) {
  const auto start = Clock::now();
  const int status = std::system(command.c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (status != 0) {
    std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
    std::exit(1);
  }
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void writeScript(const fs::path& path, const char* name, const char* body) {
  char text[2048];
  std::snprintf(text, sizeof text, kScript, name, body);
  std::ofstream(path) << text;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const fs::path work =
      argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "zorel_package_run_bench";
  fs::remove_all(work);
  fs::create_directories(work);
  const fs::path root = work / "machine";
  const fs::path store = work / "store";
  writeScript(work / "collect.js", "collect",
              R"(new File({foldername: "C:\\bench\\set"}).collect("", "false");)");
  writeScript(work / "plain.js", "plain", "");
  const std::string check = "ZOREL_MACHINE=" + quote(root.string()) + " " + kZorel +
                            " check --offline --stages 101,102 --store " +
                            quote(store.string()) + " --script ";
  const std::string quiet = " >/dev/null 2>&1";

  // The first run makes the machine, which then receives the set.
  timed(check + quote((work / "plain.js").string()) + quiet);
  const fs::path set = root / "drive_c" / "bench" / "set";
  const auto files = zorel::bench::makeBenchSet(set, 200, 100ull << 20);
  uint64_t total = 0;
  std::string list;
  for (const auto& file : files) {
    total += fs::file_size(file);
    list += " " + quote(fs::relative(file, set.parent_path()).string());
  }
  const std::string gcab = "cd " + quote(set.parent_path().string()) + " && rm -f " +
                           quote((work / "gcab.cab").string()) + " && gcab -c -z " +
                           quote((work / "gcab.cab").string()) + list + quiet;
  // Warm the page cache for both sides.
  timed(gcab);
  timed(check + quote((work / "collect.js").string()) + quiet);

  std::printf("data set: %zu files, %llu bytes; %d rounds (medians)\n", files.size(),
              static_cast<unsigned long long>(total), runs);
  std::vector<double> withCollect, without, net, peer, ratio;
  for (int i = 0; i < runs; ++i) {
    withCollect.push_back(timed(check + quote((work / "collect.js").string()) + quiet));
    without.push_back(timed(check + quote((work / "plain.js").string()) + quiet));
    peer.push_back(timed(gcab));
    net.push_back(withCollect.back() - without.back());
    ratio.push_back(net.back() / peer.back());
  }
  // The last collecting run's cabinet, for its size.
  timed(check + quote((work / "collect.js").string()) + quiet);
  const uint64_t ours = fs::file_size(store / "collection.cab");
  const uint64_t theirs = fs::file_size(work / "gcab.cab");

  std::printf("%-44s %9s\n", "", "seconds");
  std::printf("%-44s %9.3f\n", "zorel check, collecting the set", median(withCollect));
  std::printf("%-44s %9.3f\n", "zorel check, same run without the collect", median(without));
  std::printf("%-44s %9.3f\n", "net: packaging the collected set", median(net));
  std::printf("%-44s %9.3f\n", "gcab -c -z on the set", median(peer));
  std::printf("%-44s %9.3f  (rounds:", "ratio net / gcab (median of rounds)", median(ratio));
  for (double r : ratio) std::printf(" %.3f", r);
  std::printf(")\n");
  std::printf("collection.cab %llu bytes, gcab's %llu bytes: %+.2f%%\n",
              static_cast<unsigned long long>(ours), static_cast<unsigned long long>(theirs),
              100.0 * (double(ours) - double(theirs)) / double(theirs));
  fs::remove_all(work);
  return 0;
}
