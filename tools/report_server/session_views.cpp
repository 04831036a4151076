// The session pages.

#include "session_views.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <json/reader.h>

#include "view_token.h"
#include "zorel/runreport/run_render.h"
#include "zorel/runreport/run_source.h"

namespace zorel::reportserver {
namespace {

namespace fs = std::filesystem;
using runreport::EscapeHtml;

const char kListStyle[] =
    "body{margin:0;font:14px/1.45 system-ui,sans-serif;color:#1d2430;background:#f6f8fb}"
    ".bar{background:#1f5fa8;color:#fff;padding:10px 24px;font-weight:600}"
    "main{max-width:1100px;margin:0 auto;padding:16px 24px}"
    "table{border-collapse:collapse;width:100%;background:#fff;border:1px solid #dde3ea}"
    "th,td{text-align:left;padding:6px 10px;border-bottom:1px solid #dde3ea;overflow-wrap:anywhere}"
    "th{background:#eef2f7}a{color:#1f5fa8}.bad{color:#b42318;font-weight:600}.muted{color:#5b6675}";

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'\">\n<title>" +
         EscapeHtml(title) + "</title>\n<style>" + kListStyle +
         "</style>\n</head>\n<body>\n<div class=\"bar\">zorel report server</div>\n<main>\n" + body +
         "</main>\n</body>\n</html>\n";
}

Reply htmlReply(int status, std::string body, std::string result) {
  Reply r;
  r.status = status;
  r.body = std::move(body);
  r.contentType = "text/html; charset=utf-8";
  r.command = "view";
  r.result = std::move(result);
  r.headers.emplace_back("Cache-Control", "no-store");
  return r;
}

Reply notFound() {
  return htmlReply(404, page("Not found", "<h1>Not found</h1>\n<p>No such page.</p>\n"),
                   "refused: not a held session");
}

bool readJsonFile(const fs::path& path, Json::Value& value) {
  std::ifstream in(path, std::ios::binary);
  Json::CharReaderBuilder builder;
  std::string errors;
  return in && Json::parseFromStream(builder, in, &value, &errors);
}

// A name the server gave a stored cabinet: "<id>.cab" or "<id>.<n>.cab".
bool isUploadName(const std::string& name, int32_t id) {
  const std::string lead = std::to_string(id);
  if (name.size() < lead.size() + 4 || name.compare(0, lead.size(), lead) != 0 ||
      name.compare(name.size() - 4, 4, ".cab") != 0) {
    return false;
  }
  const std::string middle = name.substr(lead.size(), name.size() - lead.size() - 4);
  if (middle.empty()) return true;
  if (middle.size() < 2 || middle[0] != '.' || middle[1] == '0') return false;
  for (size_t i = 1; i < middle.size(); ++i) {
    if (middle[i] < '0' || middle[i] > '9') return false;
  }
  return true;
}

std::string sizeText(uintmax_t bytes) { return std::to_string(bytes) + " bytes"; }

}  // namespace

int32_t sessionNumber(const std::string& text) {
  if (text.empty() || text.size() > 10 || text[0] < '1' || text[0] > '9') return 0;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value <= INT32_MAX ? static_cast<int32_t>(value) : 0;
}

SessionViews::SessionViews(ReportStore& store, std::string token)
    : store_(store), token_(std::move(token)) {}

bool SessionViews::latestUpload(int32_t id, std::string& cabinet, std::string& name) {
  const Json::Value sessions = store_.sessionRecords();
  const Json::Value& session = sessions[std::to_string(id)];
  if (!session.isObject() || !session["uploads"].isArray() || session["uploads"].empty()) {
    return false;
  }
  const Json::Value& last = session["uploads"][session["uploads"].size() - 1];
  if (!last.isString() || !isUploadName(last.asString(), id)) return false;
  name = last.asString();
  cabinet = store_.dataDir() + "/uploads/" + name;
  std::error_code ec;
  return fs::is_regular_file(fs::symlink_status(cabinet, ec));
}

SessionViews::Summary SessionViews::summaryOf(const std::string& name, const std::string& cabinet) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = summaries_.find(name);
    if (found != summaries_.end()) return found->second;
  }
  Summary summary;
  runreport::RunModel model;
  std::string error;
  if (runreport::LoadRun(cabinet, model, error)) {
    summary.readable = true;
    summary.integrity = model.integrity;
    summary.notPassed = runreport::ProblemsNotPassed(model);
  } else {
    summary.integrity = "unreadable upload";
  }
  std::lock_guard<std::mutex> guard(lock_);
  summaries_.emplace(name, summary);
  return summary;
}

Reply SessionViews::list(const std::string& linkQuery) {
  const Json::Value sessions = store_.sessionRecords();
  std::vector<int32_t> ids;
  for (const std::string& key : sessions.getMemberNames()) {
    if (const int32_t id = sessionNumber(key)) ids.push_back(id);
  }
  std::sort(ids.rbegin(), ids.rend());  // session numbers grow with time: newest first
  std::string rows;
  for (const int32_t id : ids) {
    const Json::Value& session = sessions[std::to_string(id)];
    const std::string machine = session["machineid"].isString() ? session["machineid"].asString() : "";
    std::string cabinet, name;
    rows += "<tr>";
    if (!latestUpload(id, cabinet, name)) {
      const std::string created = session["created"].isString() ? session["created"].asString() : "";
      rows += "<td>" + std::to_string(id) + "</td><td>" + EscapeHtml(machine) + "</td><td>" +
              EscapeHtml(created) + "</td><td class=\"muted\" colspan=\"3\">no upload</td></tr>\n";
      continue;
    }
    Json::Value record;
    readJsonFile(fs::path(cabinet).replace_extension(".json"), record);
    const std::string received = record["received"].isString() ? record["received"].asString() : "";
    std::error_code ec;
    const uintmax_t bytes = fs::file_size(cabinet, ec);
    const Summary summary = summaryOf(name, cabinet);
    const std::string href = "/sessions/" + std::to_string(id) + linkQuery;
    rows += "<td><a href=\"" + EscapeHtml(href) + "\">" + std::to_string(id) + "</a></td><td>" +
            EscapeHtml(machine) + "</td><td>" + EscapeHtml(received) + "</td><td>" +
            (ec ? std::string("?") : sizeText(bytes)) + "</td><td" +
            (summary.integrity == "ok" ? "" : " class=\"bad\"") + ">" +
            EscapeHtml(summary.integrity == "ok" ? "passed" : summary.integrity) + "</td><td>" +
            (summary.readable ? std::to_string(summary.notPassed) : "?") + "</td></tr>\n";
  }
  const std::string body =
      "<h1>Sessions</h1>\n<p class=\"muted\">" + std::to_string(ids.size()) +
      " sessions, newest first.</p>\n<table id=\"sessions\">\n<thead><tr><th>Session</th><th>Machine "
      "id</th><th>Time</th><th>Cabinet</th><th>Store integrity</th><th>Problems failed</th></tr>"
      "</thead>\n<tbody>\n" +
      rows + "</tbody>\n</table>\n";
  return htmlReply(200, page("Sessions", body), "list of " + std::to_string(ids.size()) + " sessions");
}

Reply SessionViews::report(int32_t id, const std::string& cabinet) {
  runreport::RunModel model;
  std::string error;
  if (!runreport::LoadRun(cabinet, model, error)) {
    return htmlReply(500,
                     page("Session " + std::to_string(id),
                          "<h1>Session " + std::to_string(id) + "</h1>\n<p class=\"bad\">" +
                              "The upload cannot be read as a run.</p>\n"),
                     "session " + std::to_string(id) + " unreadable: " + error);
  }
  // The page names the upload, not the server's folder.
  model.source = "session " + std::to_string(id) + ", " + fs::path(cabinet).filename().string();
  model.sessionId = id;
  return htmlReply(200, runreport::RenderHtml(model), "report of session " + std::to_string(id));
}

Reply SessionViews::download(int32_t id, const std::string& cabinet) {
  std::ifstream in(cabinet, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) return notFound();
  Reply r;
  r.body = bytes.str();
  r.contentType = "application/vnd.ms-cab-compressed";
  r.command = "view";
  r.result = "db.cab of session " + std::to_string(id) + " (" + std::to_string(r.body.size()) +
             " bytes)";
  r.headers.emplace_back("Content-Disposition",
                         "attachment; filename=\"session-" + std::to_string(id) + "-db.cab\"");
  r.headers.emplace_back("Cache-Control", "no-store");
  return r;
}

Reply SessionViews::get(const ViewRequest& request) {
  if (!requestCarriesToken(token_, request.authorization,
                           request.hasQueryToken ? &request.queryToken : nullptr)) {
    Reply r = htmlReply(401,
                        page("View token needed",
                             "<h1>View token needed</h1>\n<p>Send it as \"Authorization: Bearer "
                             "TOKEN\" or as ?token=TOKEN.</p>\n"),
                        "refused: no view token");
    r.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"zorel report server\"");
    return r;
  }
  // Links on the list carry the token on when it came in the query.
  const std::string linkQuery = request.hasQueryToken ? "?token=" + token_ : "";
  const std::string& path = request.path;
  if (path == "/") return list(linkQuery);
  const std::string prefix = "/sessions/";
  if (path.compare(0, prefix.size(), prefix) != 0) return notFound();
  std::string rest = path.substr(prefix.size());
  bool wantsCabinet = false;
  const std::string cabSuffix = "/db.cab";
  if (rest.size() > cabSuffix.size() &&
      rest.compare(rest.size() - cabSuffix.size(), cabSuffix.size(), cabSuffix) == 0) {
    rest.resize(rest.size() - cabSuffix.size());
    wantsCabinet = true;
  }
  const int32_t id = sessionNumber(rest);
  std::string cabinet, name;
  if (id == 0 || !latestUpload(id, cabinet, name)) return notFound();
  return wantsCabinet ? download(id, cabinet) : report(id, cabinet);
}

}  // namespace zorel::reportserver
