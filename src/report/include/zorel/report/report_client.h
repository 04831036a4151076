#pragma once
// The report service client: the three requests the program makes to the
// report server (a session id before a run, the upload of db.cab after it,
// the notice of a cancelled run) and the sealed POST they all go through.
//
// Each exchange runs on a thread of its own that the caller waits for. No
// request is retried. Every failure is a false result after one line in
// FrameWork.log; nothing throws to the caller.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zorel/report/report_messages.h"
#include "zorel/report/report_settings.h"

namespace zorel {

// What the session controller asks of the report server.
class IReportService {
 public:
  virtual ~IReportService() = default;
  // A new session id for this machine; false when none was obtained.
  virtual bool CreateSessionId(int32_t& sessionId) = 0;
  // Sends db.cab of the data folder under sessionId; true when the server
  // took it.
  virtual bool UploadResult(int32_t sessionId) = 0;
  // Tells the server that the run of sessionId was cancelled.
  virtual bool CancelOperation(int32_t sessionId) = 0;
};

// The machine ID source (CMachineIDManager::GetMachineID in the program).
using MachineIdSource = std::function<bool(std::wstring& id)>;

class ReportServiceClient : public IReportService {
 public:
  //   settings    where the server is, extra trust, the exchange time limit
  //   machineId   called once per CreateSessionId
  //   dataFolder  host folder holding db.cab (DefaultDataFolder() in the
  //               program; the session controller passes its own)
  ReportServiceClient(ReportServerSettings settings, MachineIdSource machineId,
                      std::string dataFolder);

  bool CreateSessionId(int32_t& sessionId) override;
  bool UploadResult(int32_t sessionId) override;
  bool CancelOperation(int32_t sessionId) override;

  // Seals request's text and posts it. RETURNS true with a new answer in
  // response when the exchange ended with status 0, 200 or 1000..1010 (the
  // answer then holds whatever the body's JSON says, defaults when it is
  // not JSON); false for an empty body, an HTTP error, a failed transfer or
  // an exchange past the time limit. wait false returns at once after
  // starting the exchange (response stays empty).
  bool PostToReportServer(const HttpRequestData& request,
                          std::unique_ptr<HttpResponseData>& response, bool wait = true);
  // The same for a body that is more than JSON (the upload).
  bool PostToReportServer(const std::string& body, std::unique_ptr<HttpResponseData>& response,
                          bool wait = true);

  const ReportServerSettings& settings() const { return settings_; }
  const std::string& dataFolder() const { return dataFolder_; }

 private:
  ReportServerSettings settings_;
  MachineIdSource machineId_;
  std::string dataFolder_;
};

// The UploadResult body: the envelope's styled text (ending in its line
// feed), "$JSON_CAB_SEPERATOR$", then the cabinet bytes.
std::string BuildUploadBody(int32_t sessionId, const std::vector<uint8_t>& cabinet);

// The host folder of %APPDATA%\prynesecurity\zorel\ on the process-wide
// machine, ending in '/'; empty when there is no machine or no APPDATA.
std::string DefaultDataFolder();

}  // namespace zorel
