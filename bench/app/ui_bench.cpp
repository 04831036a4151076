// ui_bench [RUNS] [ROUND_TRIPS]
//
// Needs a display: run it as
//   tests/app/run-headless.sh build/bench/app/ui_bench 5 1000
// On a fresh machine (a temporary root with the page machine init
// installs), prints:
//  - the medians over RUNS runs of `zorel ui --offline --self-test` of the
//    time from program start to the window mapped, to DocumentComplete, and
//    from the Start click to the results view (the sample script, offline);
//  - the page -> ProcessJSON -> page round trip of a progress request, the
//    median of ROUND_TRIPS (WebKit's clock counts in whole milliseconds, so
//    the mean over the whole loop is printed too).

#include <gtk/gtk.h>
#include <json/reader.h>
#include <stdlib.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../src/app/gtk/browser_dlg.h"
#include "zorel/app/message_translate.h"
#include "zorel/app/ui_manager.h"
#include "zorel/platform/machine/machine.h"

namespace fs = std::filesystem;

namespace {

Json::Value readJson(const std::string& path) {
  std::ifstream in(path);
  Json::Value v;
  Json::CharReaderBuilder builder;
  std::string errors;
  Json::parseFromStream(builder, in, &v, &errors);
  return v;
}

double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct RoundTrip {
  GMainLoop* loop;
  WebKitWebView* view;
  std::string result;
};

gboolean poll(gpointer data) {
  auto* rt = static_cast<RoundTrip*>(data);
  const char* title = webkit_web_view_get_title(rt->view);
  if (!title || std::string(title) != "DONE") return G_SOURCE_CONTINUE;
  webkit_web_view_evaluate_javascript(
      rt->view, "String(window.probeResult)", -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        auto* r = static_cast<RoundTrip*>(self);
        if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr)) {
          char* text = jsc_value_to_string(value);
          r->result = text ? text : "";
          g_free(text);
          g_object_unref(value);
        }
        g_main_loop_quit(r->loop);
      },
      rt);
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int trips = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1000;
  char pattern[] = "/tmp/zorel-ui-bench-XXXXXX";
  const std::string base = ::mkdtemp(pattern);
  const std::string root = base + "/machine";
  ::setenv("ZOREL_MACHINE", root.c_str(), 1);
  const std::string zorel = ZOREL_BINARY_DIR "/src/cli/zorel";
  if (std::system((zorel + " machine init >/dev/null").c_str()) != 0) return 1;
  zorel::platform::IMachine* machine = zorel::platform::currentMachine();
  const std::string page = zorel::app::PagePath(*machine);
  if (!fs::exists(page)) {
    std::fprintf(stderr, "machine init installed no page at %s\n", page.c_str());
    return 1;
  }

  std::vector<double> shown, loaded, run;
  for (int i = 0; i < runs; ++i) {
    const std::string dir = base + "/run" + std::to_string(i);
    const std::string cmd = zorel + " ui --offline --self-test '" + dir + "' 2>/dev/null";
    const int code = std::system(cmd.c_str());
    const Json::Value r = readJson(dir + "/self-test.json");
    if (code != 0 || !r["ok"].asBool()) {
      std::fprintf(stderr, "run %d failed: %s\n", i, r.toStyledString().c_str());
      return 1;
    }
    shown.push_back(r["shown_ms"].asDouble());
    loaded.push_back(r["loaded_ms"].asDouble());
    run.push_back(r["run_ms"].asDouble());
  }
  std::printf("zorel ui --offline --self-test, median of %d runs:\n", runs);
  std::printf("  program start -> window mapped     %7.0f ms\n", median(shown));
  std::printf("  program start -> DocumentComplete  %7.0f ms\n", median(loaded));
  std::printf("  Start click -> results view        %7.0f ms\n", median(run));

  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "no display for the round trip\n");
    return 1;
  }
  // The round-trip page in a UI folder of its own, shown by the window class.
  const std::string folder = base + "/ui/";
  fs::create_directories(folder);
  fs::copy_file(ZOREL_SOURCE_DIR "/bench/app/data/roundtrip.html", folder + "roundtrip.html");
  RoundTrip rt{g_main_loop_new(nullptr, FALSE), nullptr, {}};
  zorel::app::CMessageTranslateImpl messages(zorel::PreInstallCheckSettings::ForMachine(*machine));
  zorel::app::WindowSettings settings;
  settings.uiFolder = folder;
  zorel::app::CBrowserDlg dlg(messages, settings, rt.loop);
  dlg.Display(zorel::app::FileUri(folder + "roundtrip.html") + "?n=" + std::to_string(trips));
  rt.view = dlg.view();
  g_timeout_add(20, poll, &rt);
  g_main_loop_run(rt.loop);
  Json::Value r;
  std::istringstream in(rt.result);
  Json::CharReaderBuilder builder;
  std::string errors;
  if (!Json::parseFromStream(builder, in, &r, &errors)) return 1;
  std::vector<double> each;
  for (const Json::Value& v : r["each"]) each.push_back(v.asDouble());
  std::printf("page -> ProcessJSON -> page, progress request, %d round trips:\n", trips);
  std::printf("  median %.3f ms, mean %.3f ms\n", median(each), r["total_ms"].asDouble() / trips);
  dlg.Dismiss();
  g_main_loop_unref(rt.loop);
  std::error_code ec;
  fs::remove_all(base, ec);
  return 0;
}
