// The run report page: the model's JSON in an inert block and the page's
// own script, which alone may run (Content-Security-Policy with a nonce),
// and which draws the page from the JSON.

#include <random>

#include "page_assets.h"
#include "zorel/runreport/run_render.h"

namespace zorel::runreport {
namespace {

std::string newNonce() {
  std::random_device random;
  char text[33];
  std::snprintf(text, sizeof text, "%08x%08x%08x%08x", random(), random(), random(), random());
  return text;
}

bool plainNonce(const std::string& nonce) {
  if (nonce.empty()) return false;
  for (char c : nonce) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  }
  return true;
}

}  // namespace

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string RenderHtml(const RunModel& model, const std::string& givenNonce) {
  const std::string nonce = plainNonce(givenNonce) ? givenNonce : newNonce();
  const std::string json = RenderJson(model);
  // The title comes from the store too; the JSON text has no '<' left, so
  // only the title needs escaping here.
  const std::string title =
      "Run report" + (model.header.script.empty() ? "" : ": " + model.header.script);
  std::string page;
  page.reserve(json.size() + 32768);
  page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
          "style-src 'unsafe-inline'; img-src data:; script-src 'nonce-" + nonce + "'\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  page += "<title>" + EscapeHtml(title) + "</title>\n<style>";
  page += kPageStyle;
  page += "</style>\n</head>\n<body>\n<div class=\"bar\">zorel run report</div>\n";
  page += "<main id=\"app\"><noscript><p>This page draws the report with its own script; "
          "`zorel report --json` gives the same contents as JSON.</p></noscript></main>\n";
  page += "<script type=\"application/json\" id=\"run-model\">";
  page += json;
  page += "</script>\n<script nonce=\"" + nonce + "\">";
  page += kPageScript;
  page += "</script>\n</body>\n</html>\n";
  return page;
}

}  // namespace zorel::runreport
