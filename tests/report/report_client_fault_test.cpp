// The report client when the server misbehaves: down, HTTP errors, a
// four-byte code, slower than the time limit, garbage, a refusal; and answers
// of unusual shape from a scripted in-process server.

#include <httplib.h>

#include <atomic>
#include <thread>

#include "report_client_fixture.h"
#include "zorel/report/http_exchange.h"
#include "zorel/report/sealed_container.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;

using ReportClientFaults = ReportClientTest;

// A port on loopback with nobody listening: a server that started and
// stopped again.
int deadPort() {
  ReportServerProcess server;
  EXPECT_TRUE(server.start({"--http"}));
  const int port = server.port();
  EXPECT_EQ(server.stop(), 0);
  return port;
}

TEST_F(ReportClientFaults, ServerDownFailsEveryRequest) {
  ReportServerSettings settings;
  settings.baseAddress = "http://127.0.0.1:" + std::to_string(deadPort());
  ReportServiceClient c = client(settings);
  writeCabinet(100);
  int32_t id = -1;
  EXPECT_FALSE(c.CreateSessionId(id));
  EXPECT_FALSE(c.UploadResult(3));
  EXPECT_FALSE(c.CancelOperation(3));
  EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : 12029"));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  EXPECT_TRUE(logged(kWarn, "Failed to upload result cab file"));
  EXPECT_TRUE(logged(kError, "Failed to intimate operation cancel request"));
  // db.cab is the caller's and stays.
  EXPECT_TRUE(fs::exists(fs::path(dataFolder_) / "db.cab"));
}

TEST_F(ReportClientFaults, HttpErrorStatusFailsTheRequest) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--fault", "*=status:500"}));
  ReportServiceClient c = clientFor(server);
  int32_t id = -1;
  EXPECT_FALSE(c.CreateSessionId(id));
  writeCabinet(100);
  EXPECT_FALSE(c.UploadResult(1));
  EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : 500"));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  EXPECT_TRUE(logged(kWarn, "Failed to upload result cab file"));
  EXPECT_FALSE(fs::exists(fs::path(server.dataDir()) / "uploads" / "1.cab"));
}

TEST_F(ReportClientFaults, FourByteCodeIsAcceptedAsAnAnswerWithoutContent) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--fault", "CreateSessionId=code:1003",
                            "--fault", "UploadResult=code:1003",
                            "--fault", "CancelOperation=code:1010"}));
  ReportServiceClient c = clientFor(server);
  std::unique_ptr<HttpResponseData> answer;
  CancelOperationRequest data;
  ASSERT_TRUE(c.PostToReportServer(HttpRequestData(kCommandCancelOperation, data), answer));
  ASSERT_NE(answer, nullptr);
  EXPECT_FALSE(answer->iserror);
  EXPECT_EQ(answer->errorcode, 0);
  EXPECT_FALSE(answer->response.isObject());  // the bridge's zero for a missing key

  // No session id comes out of it ...
  int32_t id = -1;
  EXPECT_FALSE(c.CreateSessionId(id));
  EXPECT_EQ(id, -1);
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  // ... but a server code counts as an answered upload.
  writeCabinet(10);
  EXPECT_TRUE(c.UploadResult(1));
  EXPECT_EQ(newLog().find("Failed to get response"), std::string::npos);
  EXPECT_EQ(newLog().find("Failed to upload"), std::string::npos);
}

TEST_F(ReportClientFaults, ReplySlowerThanTheTimeLimitFails) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--fault", "*=delay:4000"}));
  ReportServiceClient c = clientFor(server, std::chrono::seconds(1));
  const auto start = std::chrono::steady_clock::now();
  int32_t id = -1;
  EXPECT_FALSE(c.CreateSessionId(id));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(900));
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : 12002"));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));

  writeCabinet(10);
  EXPECT_FALSE(c.UploadResult(1));
  EXPECT_TRUE(logged(kWarn, "Failed to upload result cab file"));
  // A delayed answer does not keep the server from stopping.
  EXPECT_EQ(server.stop(), 0);
}

TEST_F(ReportClientFaults, GarbageAnswerReadsAsAnEmptyAnswer) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--fault", "*=garbage"}));
  ReportServiceClient c = clientFor(server);
  ::testing::internal::CaptureStdout();
  int32_t id = -1;
  const bool gotId = c.CreateSessionId(id);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(gotId);
  EXPECT_NE(out.find("Parsing Unsuccessfull"), std::string::npos);
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  // HTTP 200 with no "iserror" in it: the upload counts as taken.
  writeCabinet(10);
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(c.UploadResult(1));
  ::testing::internal::GetCapturedStdout();
}

TEST_F(ReportClientFaults, RefusedUploadLogsTheServersCode) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--fault", "UploadResult=iserror:5"}));
  ReportServiceClient c = clientFor(server);
  int32_t id = 0;
  ASSERT_TRUE(c.CreateSessionId(id));  // the fault is for uploads only
  writeCabinet(10);
  EXPECT_FALSE(c.UploadResult(id));
  EXPECT_TRUE(logged(kWarn, "Failed to upload result cab file, Error code: 5"));
  EXPECT_FALSE(fs::exists(fs::path(server.dataDir()) / "uploads" / "1.cab"));
  EXPECT_TRUE(fs::exists(fs::path(dataFolder_) / "db.cab"));
}

TEST_F(ReportClientFaults, UrlThatIsNotHttpIsNeverOpened) {
  ReportServerSettings settings;
  settings.baseAddress = "ftp://127.0.0.1:1";
  int32_t id = -1;
  EXPECT_FALSE(client(settings).CreateSessionId(id));
  EXPECT_TRUE(logged(kError, "Failed to create request"));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
}

// An in-process stand-in for the far side: answers every POST with a fixed
// text and keeps the bodies it received.
class ScriptedServer {
 public:
  explicit ScriptedServer(std::string answer, int status = 200)
      : answer_(std::move(answer)), status_(status) {
    server_.Post("/preinstall/DataAPIService.aspx",
                 [this](const httplib::Request& req, httplib::Response& res) {
                   {
                     std::lock_guard<std::mutex> g(lock_);
                     bodies_.push_back(req.body);
                   }
                   res.status = status_;
                   res.set_content(answer_, "application/json");
                 });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~ScriptedServer() {
    server_.stop();
    thread_.join();
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> bodies() {
    std::lock_guard<std::mutex> g(lock_);
    return bodies_;
  }

 private:
  httplib::Server server_;
  std::string answer_;
  int status_;
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::vector<std::string> bodies_;
};

std::string unsealed(const std::string& body, uint32_t& value) {
  size_t n = body.size();
  std::string plain(n, '\0');
  EXPECT_EQ(Unseal(nullptr, 0, reinterpret_cast<const uint8_t*>(body.data()), body.size(), &value,
                   reinterpret_cast<uint8_t*>(plain.data()), &n),
            kSealOk);
  plain.resize(n);
  return plain;
}

TEST_F(ReportClientFaults, UploadBodyForTenByteCabinetOfSessionSeven) {
  ScriptedServer far("{\"iserror\": false}");
  ReportServerSettings settings;
  settings.baseAddress = far.base();
  const std::vector<uint8_t> cabinet = writeCabinet(10, 7);
  ASSERT_TRUE(client(settings).UploadResult(7));
  const auto bodies = far.bodies();
  ASSERT_EQ(bodies.size(), 1u);
  const std::string expected =
      "{\n"
      "   \"command\" : \"UploadResult\",\n"
      "   \"data\" : {\n"
      "      \"cabsize\" : 10,\n"
      "      \"sessionid\" : 7\n"
      "   },\n"
      "   \"service\" : \"ReportService\"\n"
      "}\n"
      "$JSON_CAB_SEPERATOR$" +
      std::string(cabinet.begin(), cabinet.end());
  EXPECT_EQ(bodies[0].size(), expected.size() + 32);
  uint32_t value = 0;
  EXPECT_EQ(unsealed(bodies[0], value), expected);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(BuildUploadBody(7, cabinet), expected);
}

TEST_F(ReportClientFaults, SessionRequestBodyNamesTheMachine) {
  ScriptedServer far("{\"response\": {\"sessionID\": 31}}");
  ReportServerSettings settings;
  settings.baseAddress = far.base();
  int32_t id = 0;
  ASSERT_TRUE(client(settings).CreateSessionId(id));
  EXPECT_EQ(id, 31);
  EXPECT_TRUE(logged(kInfo, "SessionID : 31 "));
  uint32_t value = 0;
  EXPECT_EQ(unsealed(far.bodies().at(0), value),
            "{\n   \"command\" : \"CreateSessionId\",\n   \"data\" : {\n      \"machineid\" : \"" +
                machineId() + "\"\n   },\n   \"service\" : \"ReportService\"\n}\n");
}

TEST_F(ReportClientFaults, CancelBodyUsesTheCapitalI) {
  ScriptedServer far("{}");
  ReportServerSettings settings;
  settings.baseAddress = far.base();
  EXPECT_TRUE(client(settings).CancelOperation(9));
  uint32_t value = 0;
  EXPECT_EQ(unsealed(far.bodies().at(0), value),
            "{\n   \"command\" : \"CancelOperation\",\n   \"data\" : {\n      \"sessionId\" : 9\n"
            "   },\n   \"service\" : \"ReportService\"\n}\n");
}

// Answers to CreateSessionId that carry no usable session id.
TEST_F(ReportClientFaults, AnswersWithoutASessionId) {
  const char* const answers[] = {
      "{\"response\": {\"sessionid\": 5}}",       // lower-case key
      "{\"response\": {}}",                        // no member
      "{\"response\": \"sessionID\"}",             // not an object
      "{\"response\": [5]}",                       // an array
      "{\"response\": {\"sessionID\": \"5\"}}",    // a text
      "{\"response\": {\"sessionID\": 5.5}}",      // a fraction
      "{\"response\": {\"sessionID\": 4294967296}}",  // beyond 32 bits
      "{\"response\": {\"sessionID\": true}}",     // a boolean
      "",                                          // empty body
  };
  for (const char* answer : answers) {
    SCOPED_TRACE(answer);
    logStart_ = logSize();
    ScriptedServer far(answer);
    ReportServerSettings settings;
    settings.baseAddress = far.base();
    int32_t id = -1;
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(client(settings).CreateSessionId(id));
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(id, -1);
    EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  }
}

TEST_F(ReportClientFaults, UnusualStatusesOfTheFarSide) {
  struct Case {
    int status;
    bool accepted;
  } const cases[] = {
      {201, false},  // only 200 carries an answer
      {404, false},
      {503, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.status);
    logStart_ = logSize();
    ScriptedServer far("{\"response\": {\"sessionID\": 3}}", k.status);
    ReportServerSettings settings;
    settings.baseAddress = far.base();
    int32_t id = -1;
    EXPECT_EQ(client(settings).CreateSessionId(id), k.accepted);
    EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : " +
                                   std::to_string(k.status)));
  }
}

TEST_F(ReportClientFaults, AnswerBeyondTheSizeLimitIsNotRead) {
  ScriptedServer far(std::string(kMaxResponseBytes + 1, ' '));
  ReportServerSettings settings;
  settings.baseAddress = far.base();
  int32_t id = -1;
  EXPECT_FALSE(client(settings).CreateSessionId(id));
  EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : 12152"));
}

TEST_F(ReportClientFaults, ExchangeNotWaitedForEndsOnItsOwn) {
  ScriptedServer far("{}");
  ReportServerSettings settings;
  settings.baseAddress = far.base();
  ReportServiceClient c = client(settings);
  std::unique_ptr<HttpResponseData> answer;
  CancelOperationRequest data;
  EXPECT_TRUE(c.PostToReportServer(HttpRequestData(kCommandCancelOperation, data), answer, false));
  EXPECT_EQ(answer, nullptr);
  for (int i = 0; i < 100 && far.bodies().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(far.bodies().size(), 1u);
}

}  // namespace
}  // namespace zorel::test
