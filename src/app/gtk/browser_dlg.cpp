#include "browser_dlg.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "zorel/app/instance.h"
#include "zorel/app/message_translate.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel::app {
namespace {

constexpr int kWidth = 820;
constexpr int kHeight = 543;

// The window icon: a rounded square in the page's accent colour with a
// check mark, drawn here so that the program needs no icon file.
GdkPixbuf* makeIcon() {
  const int size = 64;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  const double r = 12;
  cairo_new_sub_path(cr);
  cairo_arc(cr, size - r, r, r, -G_PI / 2, 0);
  cairo_arc(cr, size - r, size - r, r, 0, G_PI / 2);
  cairo_arc(cr, r, size - r, r, G_PI / 2, G_PI);
  cairo_arc(cr, r, r, r, G_PI, 3 * G_PI / 2);
  cairo_close_path(cr);
  cairo_set_source_rgb(cr, 0.09, 0.36, 0.67);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_set_line_width(cr, 7);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, 17, 33);
  cairo_line_to(cr, 28, 44);
  cairo_line_to(cr, 47, 21);
  cairo_stroke(cr);
  cairo_destroy(cr);
  GdkPixbuf* pixbuf = gdk_pixbuf_get_from_surface(surface, 0, 0, size, size);
  cairo_surface_destroy(surface);
  return pixbuf;
}

bool isWebAddress(std::string_view uri) {
  return uri.substr(0, 7) == "http://" || uri.substr(0, 8) == "https://";
}

const char* terminationText(WebKitWebProcessTerminationReason reason) {
  switch (reason) {
    case WEBKIT_WEB_PROCESS_CRASHED:
      return "crashed";
    case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
      return "exceeded its memory limit";
    default:
      return "was ended";
  }
}

}  // namespace

CBrowserDlg::CBrowserDlg(CMessageTranslateImpl& bridge, const WindowSettings& settings, GMainLoop* loop)
    : bridge_(bridge), settings_(settings), loop_(loop) {}

CBrowserDlg::~CBrowserDlg() { Dismiss(); }

bool CBrowserDlg::RegisterCallback(DisplayEvent id, DisplayCallback function) {
  return callbacks_.Register(id, std::move(function));
}

bool CBrowserDlg::Display(const std::string& url) {
  url_ = url;
  if (window_) return false;  // one window per process
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  webkit_user_content_manager_register_script_message_handler_with_reply(content, "ProcessJSON", nullptr);
  g_signal_connect(content, "script-message-with-reply-received::ProcessJSON", G_CALLBACK(OnMessage), this);
  WebKitSettings* webSettings = webkit_settings_new();
  webkit_settings_set_enable_developer_extras(webSettings, FALSE);
  // No GPU under a virtual display; software drawing works everywhere.
  webkit_settings_set_hardware_acceleration_policy(webSettings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content,
                                            "settings", webSettings, nullptr));
  g_object_unref(content);
  g_object_unref(webSettings);
  if (!view) return false;

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (!window_) {
    g_object_ref_sink(view);
    g_object_unref(view);
    return false;
  }
  view_ = WEBKIT_WEB_VIEW(view);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_set_title(window, kWindowTitle);
  gtk_widget_set_size_request(view, kWidth, kHeight);
  gtk_window_set_default_size(window, kWidth, kHeight);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  if (GdkPixbuf* icon = makeIcon()) {
    gtk_window_set_icon(window, icon);
    g_object_unref(icon);
  }
  gtk_container_add(GTK_CONTAINER(window_), view);

  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(OnMap), this);
  g_signal_connect(view, "close", G_CALLBACK(OnViewClose), this);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), this);
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnTerminated), this);
  g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), this);

  // The load first: WebKit starts its web process while the window maps.
  webkit_web_view_load_uri(view_, url_.c_str());
  gtk_widget_show_all(window_);
  return true;
}

bool CBrowserDlg::InsideUiFolder(const char* uri) const {
  if (!uri || settings_.uiFolder.empty()) return false;
  GUri* parsed = g_uri_parse(uri, G_URI_FLAGS_NONE, nullptr);
  if (!parsed) return false;
  const char* scheme = g_uri_get_scheme(parsed);
  const char* host = g_uri_get_host(parsed);
  const std::string path = g_uri_get_path(parsed) ? g_uri_get_path(parsed) : "";
  const bool file = scheme && g_ascii_strcasecmp(scheme, "file") == 0 && (!host || !*host);
  g_uri_unref(parsed);
  if (!file || path.size() <= settings_.uiFolder.size()) return false;
  if (path.compare(0, settings_.uiFolder.size(), settings_.uiFolder) != 0) return false;
  // No climbing out of the folder through dot segments.
  const std::string rest = "/" + path.substr(settings_.uiFolder.size()) + "/";
  return rest.find("/../") == std::string::npos && rest.find("/./") == std::string::npos &&
         path.find('\0') == std::string::npos;
}

void CBrowserDlg::Close(const char* by) {
  if (closing_) return;
  closing_ = true;
  if (window_) {
    gtk_widget_hide(window_);
    gdk_display_flush(gtk_widget_get_display(window_));
  }
  // Cancels a running check; may take as long as the controller's cancel.
  callbacks_.Raise(DisplayEvent::Closing);
  if (onClosed) onClosed(by);
  // Destroying the view inside one of its own signals is not safe: finish
  // from the loop.
  g_idle_add(FinishClose, this);
}

gboolean CBrowserDlg::FinishClose(gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  dlg->Dismiss();
  if (dlg->loop_) g_main_loop_quit(dlg->loop_);
  return G_SOURCE_REMOVE;
}

void CBrowserDlg::Dismiss() {
  if (!window_) return;
  GtkWidget* window = window_;
  window_ = nullptr;
  view_ = nullptr;
  gtk_widget_destroy(window);
}

gboolean CBrowserDlg::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
  static_cast<CBrowserDlg*>(self)->Close("window");
  return TRUE;  // the close path destroys the window itself
}

gboolean CBrowserDlg::OnMap(GtkWidget*, GdkEvent*, gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  if (dlg->onMapped) dlg->onMapped();
  return FALSE;
}

void CBrowserDlg::OnViewClose(WebKitWebView*, gpointer self) { static_cast<CBrowserDlg*>(self)->Close("page"); }

void CBrowserDlg::OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  if (event == WEBKIT_LOAD_STARTED) dlg->loadFailed_ = false;
  if (event != WEBKIT_LOAD_FINISHED) return;
  dlg->callbacks_.Raise(DisplayEvent::DocumentComplete);
  if (dlg->onDocumentComplete) dlg->onDocumentComplete();
}

gboolean CBrowserDlg::OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  dlg->loadFailed_ = true;
  FrameworkLog::Instance().Write(LogLevel::Error, L"The page did not load: %s (%s)",
                                 fromUtf8(uri ? uri : "").c_str(),
                                 fromUtf8(error && error->message ? error->message : "").c_str());
  return FALSE;  // WebKit shows its error page
}

void CBrowserDlg::OnTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason, gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  FrameworkLog::Instance().Write(LogLevel::Error, L"The page's web process %s",
                                 fromUtf8(terminationText(reason)).c_str());
  std::fprintf(stderr, "zorel ui: the page's web process %s\n", terminationText(reason));
  if (!dlg->reloaded_ && !dlg->closing_) {
    dlg->reloaded_ = true;
    webkit_web_view_reload(view);
  }
}

gboolean CBrowserDlg::OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                     WebKitPolicyDecisionType type, gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
      type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    return FALSE;  // responses: WebKit's default
  }
  WebKitNavigationAction* action =
      webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
  const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && dlg->InsideUiFolder(uri)) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  // A user's click on a web link goes to the desktop's browser.
  if (uri && isWebAddress(uri) && webkit_navigation_action_is_user_gesture(action) &&
      webkit_navigation_action_get_navigation_type(action) == WEBKIT_NAVIGATION_TYPE_LINK_CLICKED) {
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
      std::fprintf(stderr, "zorel ui: cannot open %s: %s\n", uri, error ? error->message : "");
      g_clear_error(&error);
    }
  }
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

gboolean CBrowserDlg::OnMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply* reply,
                                gpointer self) {
  auto* dlg = static_cast<CBrowserDlg*>(self);
  if (dlg->closing_ || !dlg->view_ || !dlg->InsideUiFolder(webkit_web_view_get_uri(dlg->view_))) {
    webkit_script_message_reply_return_error_message(reply, "ProcessJSON is not available to this document");
    return TRUE;
  }
  BridgeValueKind kind = BridgeValueKind::Other;
  std::string text;
  if (jsc_value_is_string(value)) {
    kind = BridgeValueKind::String;
    GBytes* bytes = jsc_value_to_string_as_bytes(value);
    gsize size = 0;
    const char* data = bytes ? static_cast<const char*>(g_bytes_get_data(bytes, &size)) : nullptr;
    if (data) text.assign(data, size);
    if (bytes) g_bytes_unref(bytes);
  } else if (jsc_value_is_null(value)) {
    kind = BridgeValueKind::Null;
  } else if (jsc_value_is_undefined(value)) {
    kind = BridgeValueKind::Undefined;
  }
  const std::optional<std::string> request = BridgeRequestText(kind, text);
  if (!request) {
    webkit_script_message_reply_return_error_message(reply, "ProcessJSON takes a string");
    return TRUE;
  }
  const std::string response = dlg->bridge_.ProcessJSON(*request);
  GBytes* bytes = g_bytes_new(response.data(), response.size());
  JSCValue* answer = jsc_value_new_string_from_bytes(jsc_value_get_context(value), bytes);
  g_bytes_unref(bytes);
  webkit_script_message_reply_return_value(reply, answer);
  g_object_unref(answer);
  return TRUE;
}

}  // namespace zorel::app
