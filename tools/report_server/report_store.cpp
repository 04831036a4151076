// The server's data folder.

#include "report_store.h"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <json/reader.h>
#include <json/writer.h>

#include "zorel/platform/fs/host_file.h"

namespace zorel::reportserver {

namespace fs = std::filesystem;

namespace {

bool readJson(const fs::path& path, Json::Value& value, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;  // not there yet: the empty default stands
  Json::CharReaderBuilder builder;
  std::string errors;
  if (!Json::parseFromStream(builder, in, &value, &errors)) {
    error = path.string() + " is not JSON: " + errors;
    return false;
  }
  return true;
}

std::string styled(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "  ";
  return Json::writeString(builder, value) + "\n";
}

}  // namespace

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

ReportStore::ReportStore(std::string dataDir) : dataDir_(std::move(dataDir)) {}

bool ReportStore::open(std::string& error) {
  std::error_code ec;
  fs::create_directories(fs::path(dataDir_) / "uploads", ec);
  if (ec) {
    error = "cannot create " + dataDir_ + "/uploads: " + ec.message();
    return false;
  }
  // Temporary files of writes a stopped server never finished.
  for (const fs::path& folder : {fs::path(dataDir_), fs::path(dataDir_) / "uploads"}) {
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      if (it->path().extension() == ".part" && it->is_regular_file(ignored)) fs::remove(it->path(), ignored);
    }
    ec.clear();
  }
  Json::Value root(Json::objectValue);
  if (!readJson(fs::path(dataDir_) / "sessions.json", root, error)) return false;
  if (!root.isObject()) {
    error = dataDir_ + "/sessions.json does not hold an object";
    return false;
  }
  const Json::Value& last = root["lastsessionid"];
  lastSessionId_ = last.isInt() ? last.asInt() : 0;
  if (root["sessions"].isObject()) sessions_ = root["sessions"];
  Json::Value cancels(Json::arrayValue);
  if (!readJson(fs::path(dataDir_) / "cancels.json", cancels, error)) return false;
  if (cancels.isArray()) cancels_ = cancels;
  return true;
}

bool ReportStore::writeFile(const std::string& path, const std::string& bytes,
                            std::string& error) {
  // A temporary name, flushed to the disk and renamed: the file holds its
  // old contents or the new ones, whatever happens to the server or the disk.
  const platform::WinError code = platform::replaceFile(path, bytes);
  if (code != platform::ERROR_SUCCESS) {
    error = "cannot write " + path + " (error " + std::to_string(code) + ")";
    return false;
  }
  return true;
}

bool ReportStore::saveSessions(std::string& error) {
  Json::Value root(Json::objectValue);
  root["lastsessionid"] = lastSessionId_;
  root["sessions"] = sessions_;
  return writeFile(dataDir_ + "/sessions.json", styled(root), error);
}

bool ReportStore::newSession(const std::string& machineId, int32_t& sessionId,
                             std::string& error) {
  std::lock_guard<std::mutex> guard(lock_);
  if (lastSessionId_ == INT32_MAX) {
    error = "session ids are exhausted";
    return false;
  }
  const int32_t id = lastSessionId_ + 1;
  Json::Value record(Json::objectValue);
  record["machineid"] = machineId;
  record["created"] = utcNow();
  sessions_[std::to_string(id)] = record;
  lastSessionId_ = id;
  if (!saveSessions(error)) {
    sessions_.removeMember(std::to_string(id));
    lastSessionId_ = id - 1;
    return false;
  }
  sessionId = id;
  return true;
}

Json::Value ReportStore::sessionRecords() {
  std::lock_guard<std::mutex> guard(lock_);
  return sessions_;
}

bool ReportStore::knownSession(int32_t sessionId) {
  std::lock_guard<std::mutex> guard(lock_);
  return sessions_.isMember(std::to_string(sessionId));
}

bool ReportStore::storeUpload(const UploadFacts& facts, const std::string& cabinet,
                              std::string& stored, std::string& error) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::string id = std::to_string(facts.sessionId);
  // An upload never replaces an earlier one of its session: the first is
  // <id>.cab, later ones <id>.2.cab, <id>.3.cab ...
  std::string name = id;
  std::error_code ec;
  for (int n = 2; fs::exists(dataDir_ + "/uploads/" + name + ".cab", ec); ++n) {
    name = id + "." + std::to_string(n);
  }
  const std::string base = dataDir_ + "/uploads/" + name;
  Json::Value record(Json::objectValue);
  record["sessionid"] = facts.sessionId;
  const Json::Value& session = sessions_.isMember(id) ? sessions_[id] : Json::Value::nullSingleton();
  record["machineid"] = session.isObject() ? session["machineid"] : Json::Value();
  record["cabsize"] = static_cast<Json::UInt64>(cabinet.size());
  record["sealedbytes"] = static_cast<Json::UInt64>(facts.sealedBytes);
  record["sealvalue"] = facts.sealValue;
  record["envelope"] = facts.envelope;
  record["received"] = utcNow();
  record["cabinet"] = name + ".cab";
  // The cabinet first: a record never names a cabinet that is not there.
  // An upload answered as failed leaves nothing behind, so the client's
  // next try is the only copy.
  const auto forget = [&base] {
    std::error_code ignored;
    fs::remove(base + ".json", ignored);
    fs::remove(base + ".cab", ignored);
  };
  if (!writeFile(base + ".cab", cabinet, error) || !writeFile(base + ".json", styled(record), error)) {
    forget();
    return false;
  }
  if (sessions_.isMember(id) && sessions_[id].isObject()) {
    Json::Value& uploads = sessions_[id]["uploads"];
    if (!uploads.isArray()) uploads = Json::Value(Json::arrayValue);
    uploads.append(name + ".cab");
    if (!saveSessions(error)) {
      Json::Value dropped;
      uploads.removeIndex(uploads.size() - 1, &dropped);
      forget();
      return false;
    }
  }
  stored = "uploads/" + name + ".cab";
  return true;
}

bool ReportStore::recordCancel(int32_t sessionId, std::string& error, bool& known) {
  std::lock_guard<std::mutex> guard(lock_);
  known = sessions_.isMember(std::to_string(sessionId));
  Json::Value notice(Json::objectValue);
  notice["sessionid"] = sessionId;
  notice["knownsession"] = known;
  notice["time"] = utcNow();
  cancels_.append(notice);
  if (!writeFile(dataDir_ + "/cancels.json", styled(cancels_), error)) {
    cancels_.resize(cancels_.size() - 1);
    return false;
  }
  return true;
}

}  // namespace zorel::reportserver
