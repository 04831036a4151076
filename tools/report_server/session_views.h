#pragma once
// The read-only pages of what the server received, for whoever holds the
// view token:
//   GET /                       the sessions, newest first
//   GET /sessions/<id>          the run report of the session's upload
//   GET /sessions/<id>/db.cab   that upload, byte for byte
// A session's upload is its latest cabinet (<id>.cab, or <id>.N.cab after
// later uploads). <id> is a session number in canonical decimal that the
// server holds with an upload; any other path is 404. Only cabinets the
// server stored under uploads/ are ever read. Free of HTTP like
// RequestHandler; main.cpp puts the reply on the wire.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "report_store.h"
#include "request_handler.h"

namespace zorel::reportserver {

// What one GET brought.
struct ViewRequest {
  std::string path;            // decoded, without the query
  std::string authorization;   // the Authorization header, empty when absent
  bool hasQueryToken = false;  // the query had token=...
  std::string queryToken;
};

class SessionViews {
 public:
  SessionViews(ReportStore& store, std::string token);

  Reply get(const ViewRequest& request);

 private:
  // The facts the list shows of one stored cabinet (cabinets never change,
  // so they are read once).
  struct Summary {
    bool readable = false;
    std::string integrity;   // "ok", the database's complaint, or why it is unreadable
    size_t notPassed = 0;
  };

  Reply list(const std::string& linkQuery);
  Reply report(int32_t id, const std::string& cabinet);
  Reply download(int32_t id, const std::string& cabinet);
  // The host path of the session's latest upload; false when it has none.
  bool latestUpload(int32_t id, std::string& cabinet, std::string& name);
  Summary summaryOf(const std::string& name, const std::string& cabinet);

  ReportStore& store_;
  std::string token_;
  std::mutex lock_;  // guards summaries_
  std::map<std::string, Summary> summaries_;  // by cabinet name
};

// The session number `text` names: canonical decimal, 1..INT32_MAX; 0 otherwise.
int32_t sessionNumber(const std::string& text);

}  // namespace zorel::reportserver
