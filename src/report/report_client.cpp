// The report service client: request building, sealing, the exchange thread
// and the reading of answers.

#include "zorel/report/report_client.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <thread>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/report/http_exchange.h"
#include "zorel/report/sealed_container.h"

namespace zorel {

namespace {

// The value the client writes into every container header.
constexpr uint32_t kRequestSealValue = 1;

bool acceptedStatus(int32_t status) {
  return status == 0 || status == 200 || (status >= 1000 && status <= 1010);
}

FrameworkLog& log() { return FrameworkLog::Instance(); }

// The thread's last system error, as the "Exception occured" lines give it:
// the Windows code of the latest platform call that failed.
int32_t lastError() { return platform::getLastError(); }

// db.cab of the data folder, whole. RETURNS false (after the reading
// messages) when it is missing or cannot be read; the reason is the
// thread's last error then, a Windows code.
bool readCabinet(const std::string& folder, std::vector<uint8_t>& bytes) {
  const std::filesystem::path path = std::filesystem::path(folder) / "db.cab";
  std::error_code ec;
  if (folder.empty() || !std::filesystem::exists(path, ec)) {
    log().Write(LogLevel::Warn, L"Failed to read result cab file");
    return false;
  }
  auto unreadable = [](platform::WinError code) {
    platform::setLastError(code);
    log().Write(LogLevel::Error, L"Exception occured while reading cab file, ErrorCode: %d",
                lastError());
    log().Write(LogLevel::Warn, L"Failed to read result cab file");
    return false;
  };
  // A folder, pipe or device under the name is refused before it is
  // opened, as Windows refuses to open one as a file; a pipe would block.
  if (!std::filesystem::is_regular_file(path, ec))
    return unreadable(platform::ERROR_ACCESS_DENIED);
  try {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return unreadable(platform::winErrorFromErrno(errno ? errno : EIO));
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) return unreadable(platform::winErrorFromErrno(ec.value()));
    bytes.resize(static_cast<size_t>(size));
    if (size > 0) in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    // A file that shrank while being read fails here; one that grew is sent
    // as long as it was when its size was taken.
    if (!in) return unreadable(platform::ERROR_READ_FAULT);
    return true;
  } catch (...) {
    return unreadable(platform::ERROR_NOT_ENOUGH_MEMORY);  // the buffer
  }
}

}  // namespace

ReportServiceClient::ReportServiceClient(ReportServerSettings settings,
                                         MachineIdSource machineId, std::string dataFolder)
    : settings_(std::move(settings)),
      machineId_(std::move(machineId)),
      dataFolder_(std::move(dataFolder)) {}

bool ReportServiceClient::PostToReportServer(const HttpRequestData& request,
                                             std::unique_ptr<HttpResponseData>& response,
                                             bool wait) {
  return PostToReportServer(request.ToString(), response, wait);
}

bool ReportServiceClient::PostToReportServer(const std::string& body,
                                             std::unique_ptr<HttpResponseData>& response,
                                             bool wait) {
  try {
    // The sealed buffer is body + 32 bytes, zero-filled. A seal that fails
    // (a body beyond the 32-bit length field) is not posted: the server
    // could only refuse a buffer of zeros.
    auto exchange = std::make_shared<HttpExchange>();
    bool sealed = false;
    if (!body.empty()) {
      try {
        exchange->body.assign(body.size() + kSealHeaderSize, 0);
        sealed = Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(body.data()), body.size(),
                      kRequestSealValue, exchange->body.data(),
                      exchange->body.size()) == kSealOk;
      } catch (const std::bad_alloc&) {
        sealed = false;
      }
    }
    if (!sealed) {
      log().Write(LogLevel::Error, L"Failed to Encrypt data before Upload");
      return false;
    }
    exchange->method = kHttpMethodPost;
    exchange->url = settings_.EndpointUrl();

    // The thread shares the record, so an exchange that is not waited for
    // keeps it alive until it ends.
    std::thread worker([exchange, ca = settings_.extraCaFile, limit = settings_.timeLimit] {
      RunHttpExchange(*exchange, ca, limit);
    });
    if (!wait) {
      worker.detach();
      return true;
    }
    worker.join();

    if (!acceptedStatus(exchange->status)) return false;
    auto answer = std::make_unique<HttpResponseData>();
    answer->FromString(std::string(exchange->response.begin(), exchange->response.end()));
    response = std::move(answer);
    return true;
  } catch (...) {
    // Thread creation or an allocation failed.
    log().Write(LogLevel::Error, L"Exception occured on uploading data");
    return false;
  }
}

bool ReportServiceClient::CreateSessionId(int32_t& sessionId) {
  try {
    std::wstring machineId;
    if (!machineId_ || !machineId_(machineId)) {
      log().Write(LogLevel::Error, L"SessionID : Failed to get Machine ID");
      return false;
    }
    PreInstallSessionRequest data;
    data.machineid = toUtf8(machineId);
    const HttpRequestData request(kCommandCreateSessionId, data);

    std::unique_ptr<HttpResponseData> answer;
    int32_t id = 0;
    if (PostToReportServer(request, answer, true) && answer &&
        SessionIdFromResponse(*answer, id)) {
      sessionId = id;
      log().Write(LogLevel::Info, L"SessionID : %d ", id);
      return true;
    }
    log().Write(LogLevel::Error, L"SessionID : Failed to get session id from http response");
    return false;
  } catch (...) {
    log().Write(LogLevel::Error,
                L"SessionID : Exception occured while getting session id, ErrorCode: %d",
                lastError());
    return false;
  }
}

bool ReportServiceClient::UploadResult(int32_t sessionId) {
  try {
    std::vector<uint8_t> cabinet;
    if (!readCabinet(dataFolder_, cabinet)) return false;
    // "cabsize" is a 32-bit integer; a larger cabinet cannot be described.
    if (cabinet.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
      log().Write(LogLevel::Warn, L"Failed to read result cab file");
      return false;
    }
    const std::string body = BuildUploadBody(sessionId, cabinet);

    std::unique_ptr<HttpResponseData> answer;
    if (PostToReportServer(body, answer, true)) {
      if (answer && answer->iserror) {
        log().Write(LogLevel::Warn, L"Failed to upload result cab file, Error code: %d",
                    answer->errorcode);
        return false;
      }
      return true;
    }
    log().Write(LogLevel::Warn, L"Failed to upload result cab file");
    return false;
  } catch (...) {
    log().Write(LogLevel::Error, L"Exception occured while uploading result, ErrorCode: %d",
                lastError());
    return false;
  }
}

bool ReportServiceClient::CancelOperation(int32_t sessionId) {
  try {
    CancelOperationRequest data;
    data.sessionId = sessionId;
    const HttpRequestData request(kCommandCancelOperation, data);
    std::unique_ptr<HttpResponseData> answer;
    if (PostToReportServer(request, answer, true)) return true;
    log().Write(LogLevel::Error, L"Failed to intimate operation cancel request");
    return false;
  } catch (...) {
    log().Write(LogLevel::Error,
                L"Exception occured while intimating operation cancel, ErrorCode: %d",
                lastError());
    return false;
  }
}

std::string BuildUploadBody(int32_t sessionId, const std::vector<uint8_t>& cabinet) {
  ResultCabData data;
  data.sessionid = sessionId;
  data.cabsize = static_cast<int32_t>(cabinet.size());
  const HttpRequestData envelope(kCommandUploadResult, data);
  std::string body = envelope.ToString();
  body.reserve(body.size() + kJsonCabSeparatorLength + cabinet.size());
  body.append(kJsonCabSeparator, kJsonCabSeparatorLength);
  body.append(cabinet.begin(), cabinet.end());
  return body;
}

std::string DefaultDataFolder() {
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) return {};
  std::wstring appData;
  if (machine->environment().getVariable(L"APPDATA", appData) != platform::ERROR_SUCCESS ||
      appData.empty()) {
    return {};
  }
  if (appData.back() != L'\\') appData += L'\\';
  std::string host;
  if (machine->paths().toHostPath(appData + L"prynesecurity\\zorel\\", host) !=
      platform::ERROR_SUCCESS) {
    return {};
  }
  if (host.empty() || host.back() != '/') host += '/';
  return host;
}

}  // namespace zorel
