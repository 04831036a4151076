// zorel report [SOURCE] [--out FILE.html] [--json]
//
// The run report of one run: a self-contained HTML page, or with --json
// the model that page is drawn from. SOURCE is a ResultStore.db, a db.cab,
// or a store folder holding either; without it, the machine's data folder
// (%APPDATA%\prynesecurity\zorel\). The store is only read. Output goes to
// FILE (written whole, then moved into place) or to standard output.
// Exit 0, or 1 with the reason on standard error.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "commands.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/runreport/run_render.h"
#include "zorel/runreport/run_source.h"

namespace zorel::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage = "usage: zorel report [SOURCE] [--out FILE.html] [--json]\n";

int fail(const std::string& reason) {
  std::fprintf(stderr, "zorel report: %s\n", reason.c_str());
  return 1;
}

bool defaultSource(std::string& source) {
  platform::IMachine* machine = platform::currentMachine();
  std::wstring appData;
  return machine && machine->environment().getVariable(L"APPDATA", appData) == 0 &&
         machine->paths().toHostPath(appData + L"\\prynesecurity\\zorel", source) == 0;
}

bool writeWhole(const std::string& path, const std::string& text, std::string& error) {
  const std::string temp = path + ".partial";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      error = "cannot write " + path;
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

int runReport(const Args& args) {
  std::string source, out;
  bool json = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      json = true;
    } else if (a == "--out" && i + 1 < args.size()) {
      out = args[++i];
    } else if (!a.empty() && a[0] != '-' && source.empty()) {
      source = a;
    } else {
      std::fprintf(stderr, "zorel report: unexpected argument '%s'\n%s", a.c_str(), kUsage);
      return 1;
    }
  }
  if (source.empty() && !defaultSource(source)) {
    return fail("no SOURCE given and the machine has no data folder (see zorel machine info)");
  }
  runreport::RunModel model;
  std::string error;
  if (!runreport::LoadRun(source, model, error)) return fail(error);
  const std::string text = json ? runreport::RenderJson(model) : runreport::RenderHtml(model);
  if (out.empty()) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      return fail("cannot write to standard output");
    }
    return 0;
  }
  if (!writeWhole(out, text, error)) return fail(error);
  std::fprintf(stderr, "Run report: %s\n", out.c_str());
  return 0;
}

}  // namespace zorel::cli
