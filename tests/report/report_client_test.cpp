// The report client against a real zorel-report-server on loopback: session
// ids, uploads, cancel notices, over HTTPS with the server's certificate
// trusted and over plain HTTP, and the configuration from the environment.

#include <json/reader.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "report_client_fixture.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_variable.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;

Json::Value readJsonFile(const fs::path& path) {
  Json::Value v;
  std::ifstream in(path);
  Json::CharReaderBuilder b;
  std::string errors;
  EXPECT_TRUE(Json::parseFromStream(b, in, &v, &errors)) << path << ": " << errors;
  return v;
}

using ReportClient = ReportClientTest;

TEST_F(ReportClient, SessionIdRoundTripOverHttpsWithTrustedCertificate) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ReportServiceClient c = clientFor(server);
  int32_t first = -1, second = -1;
  ASSERT_TRUE(c.CreateSessionId(first));
  ASSERT_TRUE(c.CreateSessionId(second));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);  // a new id for every request of the same machine
  EXPECT_TRUE(logged(kInfo, "SessionID : 1 "));
  EXPECT_TRUE(logged(kInfo, "SessionID : 2 "));

  // The server saw this machine's ID, sent as UTF-8 text.
  const Json::Value sessions = readJsonFile(fs::path(server.dataDir()) / "sessions.json");
  EXPECT_EQ(sessions["lastsessionid"].asInt(), 2);
  EXPECT_EQ(sessions["sessions"]["1"]["machineid"].asString(), machineId());
  EXPECT_EQ(sessions["sessions"]["2"]["machineid"].asString(), machineId());
  EXPECT_EQ(server.stop(), 0);
}

TEST_F(ReportClient, SessionIdOverPlainHttp) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  ReportServiceClient c = clientFor(server);
  int32_t id = -1;
  ASSERT_TRUE(c.CreateSessionId(id));
  EXPECT_EQ(id, 1);
  EXPECT_TRUE(server.serverLogHas("command=CreateSessionId"));
}

TEST_F(ReportClient, UntrustedCertificateFailsTheExchange) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ReportServerSettings settings;
  settings.baseAddress = server.baseAddress();  // no extra trust
  int32_t id = -1;
  EXPECT_FALSE(client(settings).CreateSessionId(id));
  EXPECT_EQ(id, -1);
  EXPECT_TRUE(logged(kError, "Failed to get response from server with Error code --  : 12045"));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get session id from http response"));
  // The TLS handshake failed, so no request reached the endpoint.
  EXPECT_EQ(server.stop(), 0);  // every line is written by then
  EXPECT_EQ(server.serverLog().find("command="), std::string::npos);
}

TEST_F(ReportClient, ExtraCertificateKeepsTheSystemRootsAndAMissingFileFails) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ReportServerSettings settings;
  settings.baseAddress = server.baseAddress();
  settings.extraCaFile = server.dataDir() + "/no-such.pem";
  int32_t id = -1;
  EXPECT_FALSE(client(settings).CreateSessionId(id));
  EXPECT_TRUE(logged(kError, "Report server certificate file not found: " +
                                 settings.extraCaFile));
  EXPECT_NE(newLog().find("Failed to get response from server with Error code --  : 1215"),
            std::string::npos);
}

TEST_F(ReportClient, EnvironmentNamesTheServerAndItsCertificate) {
  ::unsetenv("ZOREL_REPORT_SERVER");
  ::unsetenv("ZOREL_REPORT_CA");
  ReportServerSettings fallback = ReportServerSettings::FromEnvironment();
  EXPECT_EQ(fallback.baseAddress, CompiledReportServerAddress());
  EXPECT_EQ(fallback.baseAddress.rfind("https://", 0), 0u);
  EXPECT_TRUE(fallback.extraCaFile.empty());
  EXPECT_EQ(fallback.timeLimit, std::chrono::milliseconds(30000));
  EXPECT_EQ(fallback.EndpointUrl(),
            fromUtf8(fallback.baseAddress) + L"/preinstall/DataAPIService.aspx");

  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ::setenv("ZOREL_REPORT_SERVER", (server.baseAddress() + "/").c_str(), 1);
  ::setenv("ZOREL_REPORT_CA", server.certFile().c_str(), 1);
  ReportServerSettings settings = ReportServerSettings::FromEnvironment();
  ::unsetenv("ZOREL_REPORT_SERVER");
  ::unsetenv("ZOREL_REPORT_CA");
  // One trailing slash of the base is dropped.
  EXPECT_EQ(settings.EndpointUrl(),
            fromUtf8(server.baseAddress()) + L"/preinstall/DataAPIService.aspx");
  int32_t id = -1;
  EXPECT_TRUE(client(settings).CreateSessionId(id));
  EXPECT_EQ(id, 1);
}

TEST_F(ReportClient, EnvironmentSetsTheExchangeTimeLimitOnlyWithAValidNumber) {
  ::setenv("ZOREL_REPORT_TIMEOUT_MS", "750", 1);
  EXPECT_EQ(ReportServerSettings::FromEnvironment().timeLimit, std::chrono::milliseconds(750));
  // Anything else keeps 30 s rather than leaving an exchange unbounded.
  for (const char* bad : {"", "0", "-5", "12x", " 750", "1e3", "3600001", "99999999999999999999"}) {
    ::setenv("ZOREL_REPORT_TIMEOUT_MS", bad, 1);
    EXPECT_EQ(ReportServerSettings::FromEnvironment().timeLimit, std::chrono::milliseconds(30000))
        << "'" << bad << "'";
  }
  ::unsetenv("ZOREL_REPORT_TIMEOUT_MS");
  EXPECT_EQ(ReportServerSettings::FromEnvironment().timeLimit, std::chrono::milliseconds(30000));
  EXPECT_EQ(ParseExchangeTimeLimit("3600000"), std::chrono::milliseconds(3600000));
  EXPECT_EQ(ParseExchangeTimeLimit("1"), std::chrono::milliseconds(1));
}

TEST_F(ReportClient, HostVariablesAreReadAsUtf8AndUnsetIsNotEmpty) {
  ::setenv("ZOREL_TEST_HOST_VARIABLE", "caf\xc3\xa9", 1);
  EXPECT_EQ(platform::hostVariable(L"ZOREL_TEST_HOST_VARIABLE"), std::wstring(L"caf\u00e9"));
  ::setenv("ZOREL_TEST_HOST_VARIABLE", "", 1);
  EXPECT_EQ(platform::hostVariable(L"ZOREL_TEST_HOST_VARIABLE"), std::wstring());
  ::unsetenv("ZOREL_TEST_HOST_VARIABLE");
  EXPECT_EQ(platform::hostVariable(L"ZOREL_TEST_HOST_VARIABLE"), std::nullopt);
  // "A=B" is no name: getenv would otherwise find the variable A's value B.
  ::setenv("ZOREL_TEST_HOST_VARIABLE", "B=C", 1);
  EXPECT_EQ(platform::hostVariable(L"ZOREL_TEST_HOST_VARIABLE=B"), std::nullopt);
  EXPECT_EQ(platform::hostVariable(L""), std::nullopt);
  ::unsetenv("ZOREL_TEST_HOST_VARIABLE");
}

TEST_F(ReportClient, UploadStoresTheCabinetByteIdentical) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ReportServiceClient c = clientFor(server);
  int32_t id = 0;
  ASSERT_TRUE(c.CreateSessionId(id));
  const std::vector<uint8_t> cabinet = writeCabinet(300 * 1024 + 7);

  ASSERT_TRUE(c.UploadResult(id));
  const fs::path stored = fs::path(server.dataDir()) / "uploads" / "1.cab";
  const std::string storedBytes = slurpFile(stored);
  EXPECT_EQ(storedBytes, std::string(cabinet.begin(), cabinet.end()));

  // The record beside it holds the envelope as sent and the body's size on
  // the wire: envelope + separator + cabinet, sealed, so 32 bytes more.
  const Json::Value record = readJsonFile(fs::path(server.dataDir()) / "uploads" / "1.json");
  const std::string body = BuildUploadBody(1, cabinet);
  const std::string envelope = body.substr(0, body.find("$JSON_CAB_SEPERATOR$"));
  EXPECT_EQ(record["envelope"].asString(), envelope);
  EXPECT_EQ(record["cabsize"].asUInt64(), cabinet.size());
  EXPECT_EQ(record["sealedbytes"].asUInt64(), body.size() + 32);
  EXPECT_EQ(record["sealvalue"].asUInt(), 1u);
  EXPECT_EQ(record["machineid"].asString(), machineId());
  EXPECT_TRUE(server.serverLogHas("in=" + std::to_string(body.size() + 32)));
}

TEST_F(ReportClient, UploadOfAnEmptyCabinetSendsTheEnvelopeAlone) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  ReportServiceClient c = clientFor(server);
  int32_t id = 0;
  ASSERT_TRUE(c.CreateSessionId(id));
  writeCabinet(0);
  // The body still holds the envelope, so an empty cabinet goes out and the
  // server stores an empty file.
  EXPECT_TRUE(c.UploadResult(id));
  EXPECT_TRUE(fs::exists(fs::path(server.dataDir()) / "uploads" / "1.cab"));
  EXPECT_EQ(fs::file_size(fs::path(server.dataDir()) / "uploads" / "1.cab"), 0u);
}

TEST_F(ReportClient, UploadWithoutCabinetFileFailsBeforeSending) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  ReportServiceClient c = clientFor(server);
  EXPECT_FALSE(c.UploadResult(1));
  EXPECT_TRUE(logged(kWarn, "Failed to read result cab file"));
  EXPECT_EQ(server.stop(), 0);  // every line is written by then
  EXPECT_EQ(server.serverLog().find("UploadResult"), std::string::npos);

}

// What Windows answers when db.cab cannot be read as a file: its code, not
// the host's errno, and at once (a pipe under the name must not block).
TEST_F(ReportClient, UnreadableCabinetIsLoggedWithTheWindowsCode) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  ReportServiceClient c = clientFor(server);
  const fs::path cab = fs::path(dataFolder_) / "db.cab";
  struct Case {
    const char* what;
    std::function<bool()> make;  // false: the case does not apply here
  };
  const Case cases[] = {
      {"folder", [&] { return fs::create_directories(cab); }},
      {"pipe", [&] { return ::mkfifo(cab.c_str(), 0600) == 0; }},
      {"no read permission",
       [&] {
         writeCabinet(10);
         fs::permissions(cab, fs::perms::none);
         return ::geteuid() != 0;  // root reads it anyway
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    fs::remove_all(cab);
    if (!k.make()) continue;
    logStart_ = logSize();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.UploadResult(1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(logged(kError, "Exception occured while reading cab file, ErrorCode: 5"))
        << newLog();
    EXPECT_TRUE(logged(kWarn, "Failed to read result cab file"));
  }
  fs::remove_all(cab);
}

TEST_F(ReportClient, UploadForASessionTheServerNeverGaveIsRefused) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  writeCabinet(64);
  EXPECT_FALSE(clientFor(server).UploadResult(42));
  EXPECT_TRUE(logged(kWarn, "Failed to upload result cab file, Error code: 4"));
  EXPECT_FALSE(fs::exists(fs::path(server.dataDir()) / "uploads" / "42.cab"));
}

TEST_F(ReportClient, CancelIsRecordedByTheServer) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  ReportServiceClient c = clientFor(server);
  int32_t id = 0;
  ASSERT_TRUE(c.CreateSessionId(id));
  EXPECT_TRUE(c.CancelOperation(id));
  const Json::Value cancels = readJsonFile(fs::path(server.dataDir()) / "cancels.json");
  ASSERT_EQ(cancels.size(), 1u);
  EXPECT_EQ(cancels[0]["sessionid"].asInt(), id);
  EXPECT_TRUE(cancels[0]["knownsession"].asBool());
  EXPECT_EQ(newLog().find("Failed to intimate"), std::string::npos);
}

TEST_F(ReportClient, MissingMachineIdSendsNothing) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  ReportServerSettings settings;
  settings.baseAddress = server.baseAddress();
  ReportServiceClient c(settings, [](std::wstring&) { return false; }, dataFolder_);
  int32_t id = -1;
  EXPECT_FALSE(c.CreateSessionId(id));
  EXPECT_TRUE(logged(kError, "SessionID : Failed to get Machine ID"));
  EXPECT_EQ(server.stop(), 0);  // every line is written by then
  EXPECT_EQ(server.serverLog().find("CreateSessionId"), std::string::npos);
}

TEST_F(ReportClient, EmptyBodyIsNotPosted) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  std::unique_ptr<HttpResponseData> answer;
  EXPECT_FALSE(clientFor(server).PostToReportServer(std::string(), answer));
  EXPECT_EQ(answer, nullptr);
  EXPECT_TRUE(logged(kError, "Failed to Encrypt data before Upload"));
  EXPECT_EQ(server.stop(), 0);  // every line is written by then
  EXPECT_EQ(server.serverLog(), "");
}

}  // namespace
}  // namespace zorel::test
