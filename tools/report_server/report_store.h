#pragma once
// What the server keeps in its data folder:
//   sessions.json        {"lastsessionid": N, "sessions": {"<id>": {"machineid", "created",
//                         "uploads": ["<id>.cab", "<id>.2.cab", ...]}}}
//   cancels.json         [{"sessionid", "knownsession", "time"}, ...]
//   uploads/<id>.cab     the cabinet of the first upload of session <id>; a
//                        later one never replaces it but goes to <id>.2.cab,
//                        <id>.3.cab ...
//   uploads/<id>.json    its record (<id>.2.json for <id>.2.cab ...): session,
//                        machine, sizes, envelope text, time
// Every file is written to a temporary name ("<name>.<pid>-<n>.part",
// removed when the store opens), flushed to the disk and renamed into place
// through the platform's file writer, so a crash never leaves a half-written
// record and an upload answered as stored survives the server. An upload
// whose cabinet, record or session list could not be saved is answered as a
// failure and leaves no file behind. One lock serialises all access.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <json/value.h>

namespace zorel::reportserver {

// Facts about one upload that go into its record.
struct UploadFacts {
  int32_t sessionId = 0;
  std::string envelope;   // the JSON text before the separator
  size_t sealedBytes = 0; // the body as it came over the wire
  uint32_t sealValue = 0; // the container header's value field
};

class ReportStore {
 public:
  explicit ReportStore(std::string dataDir);

  // Creates the folders and reads sessions.json. RETURNS false with a
  // reason when the folder cannot be used or the file is not ours.
  bool open(std::string& error);

  // A new session id (one more than any given before) for machineId.
  bool newSession(const std::string& machineId, int32_t& sessionId, std::string& error);
  bool knownSession(int32_t sessionId);

  // Stores the cabinet and its record beside any earlier upload of the
  // session and lists it in the session's record; RETURNS the cabinet's
  // name relative to the data folder.
  bool storeUpload(const UploadFacts& facts, const std::string& cabinet, std::string& stored,
                   std::string& error);

  // Appends one cancel notice; RETURNS whether the session was known.
  bool recordCancel(int32_t sessionId, std::string& error, bool& known);

  // A copy of every session's record, by id text (for the view pages).
  Json::Value sessionRecords();

  const std::string& dataDir() const { return dataDir_; }

 private:
  bool writeFile(const std::string& path, const std::string& bytes, std::string& error);
  bool saveSessions(std::string& error);

  std::string dataDir_;
  std::mutex lock_;
  int32_t lastSessionId_ = 0;
  Json::Value sessions_{Json::objectValue};  // id text -> record
  Json::Value cancels_{Json::arrayValue};
};

// The current UTC time as 2024-05-01T12:00:00Z.
std::string utcNow();

}  // namespace zorel::reportserver
