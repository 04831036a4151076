// The GTK window system: display connection, termination signals, the
// message box, the browser window and the main loop.

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <memory>
#include <vector>

#include "browser_dlg.h"
#include "self_test.h"
#include "zorel/app/window_system.h"
#include "zorel/platform/base/host_variable.h"

namespace zorel::app {
namespace {

class GtkWindowSystem final : public IWindowSystem {
 public:
  GtkWindowSystem(CMessageTranslateImpl& bridge, const WindowSettings& settings)
      : bridge_(bridge), settings_(settings) {}

  ~GtkWindowSystem() override {
    selfTest_.reset();
    dlg_.reset();
    for (guint id : signalSources_) g_source_remove(id);
    if (loop_) g_main_loop_unref(loop_);
  }

  bool Open(std::string& reason) override {
    // Set, these make WebKit open loopback TCP listeners for its inspector.
    platform::clearHostVariable(L"WEBKIT_INSPECTOR_SERVER");
    platform::clearHostVariable(L"WEBKIT_INSPECTOR_HTTP_SERVER");
    if (!gtk_init_check(nullptr, nullptr)) {
      reason = "cannot open the display (is DISPLAY set?); no window";
      return false;
    }
    loop_ = g_main_loop_new(nullptr, FALSE);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
      signalSources_.push_back(g_unix_signal_add(signal, OnSignal, this));
    }
    dlg_ = std::make_unique<CBrowserDlg>(bridge_, settings_, loop_);
    if (!settings_.selfTestDir.empty()) selfTest_ = std::make_unique<SelfTest>(*dlg_, bridge_, settings_);
    return true;
  }

  void MessageBox(const std::string& caption, const std::string& text) override {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER,
                                               GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    dialog_ = dialog;
    gtk_dialog_run(GTK_DIALOG(dialog));
    dialog_ = nullptr;
    gtk_widget_destroy(dialog);
  }

  IDisplayCtrl& Display() override { return *dlg_; }

  int Run() override {
    if (dlg_->window()) g_main_loop_run(loop_);
    return selfTest_ && !selfTest_->Passed() ? 1 : 0;
  }

  void Dismiss() override {
    if (dlg_) dlg_->Dismiss();
  }

 private:
  // SIGTERM, SIGINT and SIGHUP take the close path (or dismiss the
  // message box).
  static gboolean OnSignal(gpointer self) {
    auto* system = static_cast<GtkWindowSystem*>(self);
    if (system->dialog_) {
      gtk_dialog_response(GTK_DIALOG(system->dialog_), GTK_RESPONSE_CLOSE);
    } else if (system->dlg_) {
      system->dlg_->Close("signal");
    }
    return G_SOURCE_CONTINUE;
  }

  CMessageTranslateImpl& bridge_;
  WindowSettings settings_;
  GMainLoop* loop_ = nullptr;
  std::vector<guint> signalSources_;
  std::unique_ptr<CBrowserDlg> dlg_;
  std::unique_ptr<SelfTest> selfTest_;
  GtkWidget* dialog_ = nullptr;
};

}  // namespace

std::unique_ptr<IWindowSystem> CreateWindowSystem(CMessageTranslateImpl& bridge,
                                                  const WindowSettings& settings) {
  return std::make_unique<GtkWindowSystem>(bridge, settings);
}

}  // namespace zorel::app
