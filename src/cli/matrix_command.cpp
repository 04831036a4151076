// zorel matrix (--script FILE.js | --sealed FILE.enc) --images A,B,...
//              [--stages L] [--problems L] [--jobs N] [--keep] [--json]
//
// Runs one check script offline on a fresh machine made from each image and
// compares the runs. Each image gets a folder in a scratch folder of the
// host's temporary folder: its machine root (made by `zorel machine init
// --image`), its data folder and the call trace of its run (`zorel check
// --trace`). At most --jobs images (default: as many as there are cores)
// run at once. The scratch folder is removed afterwards unless --keep is
// given (its path is then printed).
//
// Output: the status table (one row per problem and stage, one column per
// image, the status in words), how each run ended, and every plug-in call
// whose outcome (error code, or the answer the script received) differs
// between images, each image's beside it (matrix_report.h); with --json one
// JSON document instead. On a terminal, standard error shows a progress
// line per image while they run.
//
// Exit codes: 0 every image completed; 1 at least one did not (each is
// named); 2 bad options, an unknown image or an unreadable script; 130
// cancelled with Ctrl-C.

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "matrix_report.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/scratch_run.h"
#include "zorel/platform/process/child_process.h"
#include "zorel/platform/process/console.h"
#include "zorel/platform/process/sync.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: zorel matrix (--script FILE.js | --sealed FILE.enc) --images A,B,... "
    "[--stages L] [--problems L] [--jobs N] [--keep] [--json]\n";

struct MatrixOptions {
  std::string script, sealed;
  std::vector<std::string> images;
  std::string stages = "100,101,102";
  std::string problems;
  unsigned jobs = 0;  // 0: one per core
  bool keep = false;
  bool json = false;
};

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) items.push_back(item);
  if (!text.empty() && text.back() == ',') items.push_back("");
  return items;
}

bool isIdList(const std::string& text) {
  if (text.empty()) return false;
  for (const std::string& item : splitList(text)) {
    if (item.empty() || item.size() > 11) return false;
    for (size_t i = 0; i < item.size(); ++i)
      if (!(std::isdigit(static_cast<unsigned char>(item[i])) || (i == 0 && item[i] == '-')))
        return false;
  }
  return true;
}

bool fail(const std::string& message) {
  std::fprintf(stderr, "zorel matrix: %s\n", message.c_str());
  return false;
}

bool parseOptions(const Args& args, MatrixOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--json") {
      o.json = true;
    } else if (a == "--keep") {
      o.keep = true;
    } else if (a == "--script" && hasValue) {
      o.script = args[++i];
    } else if (a == "--sealed" && hasValue) {
      o.sealed = args[++i];
    } else if (a == "--images" && hasValue) {
      o.images = splitList(args[++i]);
    } else if ((a == "--stages" || a == "--problems") && hasValue) {
      const std::string& list = args[++i];
      if (!isIdList(list)) return fail(a + " takes a comma-separated list of numbers, not '" + list + "'");
      (a == "--stages" ? o.stages : o.problems) = list;
    } else if (a == "--jobs" && hasValue) {
      const std::string& n = args[++i];
      if (n.empty() || n.size() > 3 || !std::all_of(n.begin(), n.end(), ::isdigit) || std::stoi(n) < 1)
        return fail("--jobs takes a number from 1, not '" + n + "'");
      o.jobs = static_cast<unsigned>(std::stoi(n));
    } else {
      std::fprintf(stderr, "zorel matrix: unexpected argument '%s'\n%s", a.c_str(), kUsage);
      return false;
    }
  }
  if (o.script.empty() == o.sealed.empty()) {
    std::fprintf(stderr, "zorel matrix: give one of --script and --sealed\n%s", kUsage);
    return false;
  }
  if (o.images.empty()) {
    std::fprintf(stderr, "zorel matrix: --images names the images to run on\n%s", kUsage);
    return false;
  }
  std::set<std::wstring> known;
  for (const platform::MachineImage& image : platform::listMachineImages()) known.insert(image.name);
  std::set<std::string> seen;
  for (const std::string& image : o.images) {
    if (!known.count(fromUtf8(image)))
      return fail("no machine image '" + image + "' (zorel machine images lists them)");
    if (!seen.insert(image).second) return fail("image '" + image + "' is named twice");
  }
  const std::string& file = o.script.empty() ? o.sealed : o.script;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return fail("no script file '" + file + "'");
  if (fs::file_size(file, ec) == 0) return fail("the script '" + file + "' is empty");
  std::ifstream probe(file, std::ios::binary);
  if (!probe) return fail("cannot read the script '" + file + "'");
  return true;
}

// One image's job: its folder, its state for the progress lines, its run.
struct Job {
  std::string folder;
  std::atomic<int> state{0};  // 0 waiting, 1 making the machine, 2 checking, 3 done
  std::chrono::steady_clock::time_point started;
  ImageRun run;
};

// The last line of a file that ends with a line end, at most 4 KiB back.
std::string lastLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
  in.seekg(from);
  std::string tail(static_cast<size_t>(size - from), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r')) tail.pop_back();
  const size_t cut = tail.rfind('\n');
  return cut == std::string::npos ? tail : tail.substr(cut + 1);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs program args on the job's machine; its exit code, or -1 when it could
// not start. Ends the child when `cancel` is set.
int runStep(const Job& job, const std::string& program, const std::vector<std::string>& args,
            const std::string& name, const std::atomic<bool>& cancel) {
  platform::WinError error = 0;
  auto child = platform::startOnMachine(job.folder + "/machine", program, args,
                                        job.folder + "/" + name + ".out",
                                        job.folder + "/" + name + ".err", error);
  if (!child) return -1;
  int32_t code = -1;
  while (!child->waitForExit(100, &code)) {
    if (cancel) child->terminate();
  }
  return code;
}

void runJob(Job& job, const MatrixOptions& o, const std::string& program, const std::string& script,
            const std::atomic<bool>& cancel) {
  ImageRun& run = job.run;
  job.started = std::chrono::steady_clock::now();
  job.state = 1;
  std::error_code ec;
  fs::create_directories(job.folder + "/store", ec);
  const int made = runStep(job, program, {"machine", "init", "--image", run.image}, "init", cancel);
  if (made != 0) {
    std::string why = lastLine(job.folder + "/init.err");
    run.failure = "its machine could not be made" + (why.empty() ? "" : ": " + why);
  } else if (!cancel) {
    job.state = 2;
    run.started = true;
    run.traceFile = job.folder + "/trace.jsonl";
    std::vector<std::string> args = {"check", o.script.empty() ? "--sealed" : "--script", script,
                                     "--stages", o.stages, "--offline", "--json",
                                     "--store", job.folder + "/store", "--trace", run.traceFile};
    if (!o.problems.empty()) args.insert(args.end(), {"--problems", o.problems});
    run.exitCode = runStep(job, program, args, "check", cancel);
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const std::string text = readAll(job.folder + "/check.out");
    std::string errors;
    Json::Value result;
    if (reader->parse(text.data(), text.data() + text.size(), &result, &errors) && result.isObject())
      run.result = std::move(result);
    if (run.exitCode != 0) {
      const std::string why = lastLine(job.folder + "/check.err");
      run.failure = "zorel check ended with exit code " + std::to_string(run.exitCode) +
                    (why.empty() ? "" : " (" + why + ")");
    }
  }
  if (cancel && run.failure.empty()) run.failure = "cancelled";
  run.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - job.started).count();
  job.state = 3;
}

// The progress block on a terminal: one line per image, redrawn in place.
void drawProgress(std::vector<std::unique_ptr<Job>>& jobs, bool redraw) {
  if (redraw) std::fprintf(stderr, "\x1b[%zuA", jobs.size());
  for (const auto& job : jobs) {
    std::string text;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - job->started).count();
    char clock[32];
    std::snprintf(clock, sizeof clock, "%5.1f s  ", job->state == 3 ? job->run.seconds : seconds);
    switch (job->state.load()) {
      case 0: text = "waiting"; break;
      case 1: text = std::string(clock) + "making the machine"; break;
      case 2: {
        const std::string step = lastLine(job->folder + "/check.err");
        text = std::string(clock) + (step.empty() ? "checking" : step);
        break;
      }
      default:
        text = std::string(clock) + (job->run.completed() ? "completed" : "did not complete");
    }
    if (text.size() > 62) text = text.substr(0, 59) + "...";
    std::fprintf(stderr, "\r\x1b[K  %-12s %s\n", job->run.image.c_str(), text.c_str());
  }
  std::fflush(stderr);
}

}  // namespace

int runMatrix(const Args& args) {
  MatrixOptions o;
  if (!parseOptions(args, o)) return 2;
  const std::string script =
      fs::absolute(o.script.empty() ? o.sealed : o.script).lexically_normal().string();
  const std::string program = platform::currentProgramPath();

  std::string base;
  if (platform::createScratchFolder("zorel-matrix-", &base) != 0) {
    std::fprintf(stderr, "zorel matrix: cannot make a scratch folder in the temporary folder\n");
    return 1;
  }
  std::vector<std::unique_ptr<Job>> jobs;
  for (const std::string& image : o.images) {
    auto job = std::make_unique<Job>();
    job->folder = base + "/" + image;
    job->run.image = image;
    jobs.push_back(std::move(job));
  }

  unsigned width = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
  width = std::min<unsigned>(width, static_cast<unsigned>(jobs.size()));
  platform::installInterruptHandler();
  std::atomic<bool> cancel{false};
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  for (unsigned w = 0; w < width; ++w) {
    workers.emplace_back([&] {
      for (size_t i = next++; i < jobs.size(); i = next++) {
        if (cancel) break;
        runJob(*jobs[i], o, program, script, cancel);
      }
    });
  }
  const bool terminal = platform::streamIsTerminal(2);
  bool drawn = false;
  for (;;) {
    if (platform::interruptRequested()) cancel = true;
    const bool done = std::all_of(jobs.begin(), jobs.end(), [&](const auto& j) {
      return j->state == 3 || (cancel && j->state == 0);
    });
    if (terminal) {
      drawProgress(jobs, drawn);
      drawn = true;
    }
    if (done) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  for (std::thread& t : workers) t.join();

  std::vector<ImageRun> runs;
  for (const auto& job : jobs) runs.push_back(job->run);
  const MatrixReport report = BuildMatrixReport(runs);
  if (!cancel) {
    if (o.json) {
      Json::StreamWriterBuilder writer;
      writer["indentation"] = "  ";
      writer["emitUTF8"] = true;
      std::printf("%s\n", Json::writeString(writer, MatrixToJson(report, runs)).c_str());
    } else {
      PrintMatrixText(stdout, report, runs);
    }
  }
  std::fflush(stdout);

  std::error_code ec;
  if (o.keep) {
    std::fprintf(stderr, "zorel matrix: the machines, stores and traces are kept in %s\n", base.c_str());
  } else {
    fs::remove_all(base, ec);
  }
  if (cancel) {
    std::fprintf(stderr, "zorel matrix: cancelled\n");
    return 130;
  }
  int failed = 0;
  for (const ImageRun& run : runs) {
    if (run.completed()) continue;
    ++failed;
    std::fprintf(stderr, "zorel matrix: did not complete on %s: %s\n", run.image.c_str(),
                 run.failure.c_str());
  }
  return failed ? 1 : 0;
}

}  // namespace zorel::cli
