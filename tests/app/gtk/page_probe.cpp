// page_probe [--bridge] FILE [SECONDS]
//
// Opens FILE in a real WebKitWebView and waits (SECONDS, default 30) for
// the page to put its verdict in its title, then prints the title.
//  - plain: the page brings its own stand-in bridge; the title becomes
//    "PASS" (exit 0) or "FAIL: reason" (exit 1).
//  - --bridge: the page is shown by the program's own window (CBrowserDlg)
//    with ProcessJSON on the machine of $ZOREL_MACHINE, FILE's folder being
//    the UI folder; the title becomes "DONE" and window.probeResult holds
//    a JSON text; "DONE <json>" is printed (exit 0).
// A page that never decides: "timeout: <title>", exit 1.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "../../../src/app/gtk/browser_dlg.h"
#include "zorel/app/message_translate.h"
#include "zorel/app/ui_manager.h"
#include "zorel/platform/machine/machine.h"

namespace {

struct Probe {
  WebKitWebView* view = nullptr;
  GMainLoop* loop = nullptr;
  std::string verdict;
  bool bridge = false;
};

gboolean check(gpointer data) {
  auto* probe = static_cast<Probe*>(data);
  const char* title = probe->view ? webkit_web_view_get_title(probe->view) : nullptr;
  const std::string t = title ? title : "";
  const bool done = probe->bridge ? t.rfind("DONE", 0) == 0 || t == "ESCAPED"
                                  : t == "PASS" || t.rfind("FAIL", 0) == 0;
  if (!done) return G_SOURCE_CONTINUE;
  probe->verdict = t;
  if (!probe->bridge || t != "DONE") {
    g_main_loop_quit(probe->loop);
    return G_SOURCE_REMOVE;
  }
  // The answers are too long for a title: read them from the page.
  webkit_web_view_evaluate_javascript(
      probe->view, "String(window.probeResult)", -1, nullptr, nullptr, nullptr,
      +[](GObject* source, GAsyncResult* result, gpointer self) {
        auto* p = static_cast<Probe*>(self);
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
        if (value) {
          char* text = jsc_value_to_string(value);
          p->verdict += " " + std::string(text ? text : "");
          g_free(text);
          g_object_unref(value);
        }
        g_main_loop_quit(p->loop);
      },
      probe);
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  bool bridge = argc > 1 && std::strcmp(argv[1], "--bridge") == 0;
  const int first = bridge ? 2 : 1;
  if (argc <= first) {
    std::fprintf(stderr, "usage: page_probe [--bridge] FILE [SECONDS]\n");
    return 2;
  }
  const std::string file = std::filesystem::absolute(argv[first]).lexically_normal().string();
  const int seconds = argc > first + 1 ? std::atoi(argv[first + 1]) : 30;
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "page_probe: no display\n");
    return 2;
  }
  // The request parser reports unparsable text on std::cout; standard
  // output carries only the verdict.
  std::cout.rdbuf(std::cerr.rdbuf());
  Probe probe;
  probe.bridge = bridge;
  probe.loop = g_main_loop_new(nullptr, FALSE);
  std::unique_ptr<zorel::app::CMessageTranslateImpl> messages;
  std::unique_ptr<zorel::app::CBrowserDlg> dlg;
  GtkWidget* window = nullptr;
  if (bridge) {
    zorel::platform::IMachine* machine = zorel::platform::currentMachine();
    if (!machine) return 2;
    messages = std::make_unique<zorel::app::CMessageTranslateImpl>(
        zorel::PreInstallCheckSettings::ForMachine(*machine));
    zorel::app::WindowSettings settings;
    settings.uiFolder = std::filesystem::path(file).parent_path().string() + "/";
    dlg = std::make_unique<zorel::app::CBrowserDlg>(*messages, settings, probe.loop);
    if (!dlg->Display(zorel::app::FileUri(file))) return 2;
    probe.view = dlg->view();
  } else {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 820, 543);
    probe.view = WEBKIT_WEB_VIEW(webkit_web_view_new());
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(probe.view));
    gtk_widget_show_all(window);
    gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
    webkit_web_view_load_uri(probe.view, uri);
    g_free(uri);
  }
  g_timeout_add(50, check, &probe);
  g_timeout_add_seconds(seconds, +[](gpointer data) -> gboolean {
    g_main_loop_quit(static_cast<Probe*>(data)->loop);
    return G_SOURCE_REMOVE;
  }, &probe);
  g_main_loop_run(probe.loop);
  int code = 0;
  if (probe.verdict.empty()) {
    const char* title = probe.view ? webkit_web_view_get_title(probe.view) : nullptr;
    std::printf("timeout: %s\n", title ? title : "");
    code = 1;
  } else {
    std::printf("%s\n", probe.verdict.c_str());
    code = probe.verdict == "PASS" || probe.verdict.rfind("DONE", 0) == 0 ? 0 : 1;
  }
  dlg.reset();
  if (window) gtk_widget_destroy(window);
  g_main_loop_unref(probe.loop);
  return code;
}
