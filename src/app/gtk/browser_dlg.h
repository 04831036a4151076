#pragma once
// CBrowserDlg: the program's window, a GtkWindow holding one WebKitWebView
// that shows the page and carries the ProcessJSON bridge.
//
// Every way of closing (the close button, the page's window.close(), a
// termination signal, the self-test) takes one path, once: hide the window
// and flush so it unmaps at once, raise Closing, then destroy the window
// and end the main loop from an idle callback.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <chrono>
#include <functional>
#include <string>

#include "zorel/app/display_ctrl.h"
#include "zorel/app/window_system.h"

namespace zorel::app {

class CMessageTranslateImpl;

class CBrowserDlg : public IDisplayCtrl {
 public:
  CBrowserDlg(CMessageTranslateImpl& bridge, const WindowSettings& settings, GMainLoop* loop);
  ~CBrowserDlg() override;
  CBrowserDlg(const CBrowserDlg&) = delete;
  CBrowserDlg& operator=(const CBrowserDlg&) = delete;

  bool Display(const std::string& url) override;
  bool RegisterCallback(DisplayEvent id, DisplayCallback function) override;

  // The close path; later calls do nothing. `by` names the trigger
  // ("window", "page", "signal").
  void Close(const char* by);
  // Destroys the window without raising Closing.
  void Dismiss();
  bool Closing() const { return closing_; }

  GtkWindow* window() const { return window_ ? GTK_WINDOW(window_) : nullptr; }
  WebKitWebView* view() const { return view_; }
  const std::string& url() const { return url_; }
  bool LoadFailed() const { return loadFailed_; }

  // Told of the window being mapped, of every finished load, and of the
  // close path after Closing was raised (with its trigger).
  std::function<void()> onMapped;
  std::function<void()> onDocumentComplete;
  std::function<void(const std::string& by)> onClosed;

  // True when uri is a file: address of a file inside the UI folder.
  bool InsideUiFolder(const char* uri) const;

 private:
  static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer self);
  static gboolean OnMap(GtkWidget*, GdkEvent*, gpointer self);
  static void OnViewClose(WebKitWebView*, gpointer self);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self);
  static void OnTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer self);
  static gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                 WebKitPolicyDecisionType type, gpointer self);
  static gboolean OnMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                            gpointer self);
  static gboolean FinishClose(gpointer self);

  CMessageTranslateImpl& bridge_;
  WindowSettings settings_;
  GMainLoop* loop_;
  DisplayCallbacks callbacks_;
  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::string url_;
  bool closing_ = false;
  bool loadFailed_ = false;
  bool reloaded_ = false;
};

}  // namespace zorel::app
