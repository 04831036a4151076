// zorel-report-server as a process: its command line, its certificate, the
// refusal of malformed bodies, the fault modes and what it keeps on disk.
// Requests are posted with the client library's exchange function, so the
// bytes on the wire are exactly what each test builds.

#include <json/reader.h>

#include "../../report/report_server_process.h"
#include "zorel/common/utf8.h"
#include "zorel/report/http_exchange.h"
#include "zorel/report/report_messages.h"
#include "zorel/report/sealed_container.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;

struct Answer {
  int32_t status = 0;
  std::string body;
  Json::Value json;  // the body parsed, null when it is not JSON
};

std::string seal(const std::string& plain) {
  std::string out(plain.size() + kSealHeaderSize, '\0');
  EXPECT_EQ(Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), 1,
                 reinterpret_cast<uint8_t*>(out.data()), out.size()),
            kSealOk);
  return out;
}

Answer post(const ReportServerProcess& server, const std::string& body, int32_t method = 1) {
  HttpExchange exchange;
  exchange.method = method;
  exchange.url = fromUtf8(server.baseAddress() + "/preinstall/DataAPIService.aspx");
  exchange.body.assign(body.begin(), body.end());
  RunHttpExchange(exchange, server.certFile(), std::chrono::seconds(10));
  Answer a;
  a.status = exchange.status;
  a.body.assign(exchange.response.begin(), exchange.response.end());
  Json::CharReaderBuilder b;
  std::unique_ptr<Json::CharReader> reader(b.newCharReader());
  std::string errors;
  if (!reader->parse(a.body.data(), a.body.data() + a.body.size(), &a.json, &errors)) {
    a.json = Json::Value();
  }
  return a;
}

std::string request(const std::string& command, const Json::Value& data) {
  HttpRequestData r;
  r.service = kReportServiceName;
  r.command = command;
  r.data = data;
  return r.ToString();
}

int32_t newSession(const ReportServerProcess& server, const std::string& machine = "m-1") {
  Json::Value data;
  data["machineid"] = machine;
  const Answer a = post(server, seal(request(kCommandCreateSessionId, data)));
  EXPECT_EQ(a.status, 200);
  return a.json["response"]["sessionID"].asInt();
}

std::string uploadPlain(int32_t session, int64_t cabsize, const std::string& cabinet) {
  Json::Value data;
  data["sessionid"] = session;
  data["cabsize"] = static_cast<Json::Int64>(cabsize);
  return request(kCommandUploadResult, data) + kJsonCabSeparator + cabinet;
}

void expectRefusal(const Answer& a, int32_t code) {
  EXPECT_EQ(a.status, 200) << a.body;
  EXPECT_TRUE(a.json["iserror"].asBool()) << a.body;
  EXPECT_EQ(a.json["errorcode"].asInt(), code) << a.body;
  EXPECT_FALSE(a.json["errormessage"].asString().empty());
}

TEST(ReportServer, PrintsItsPortAndAnswersInTheResponseLayout) {
  ReportServerProcess one, two;
  ASSERT_TRUE(one.start());
  ASSERT_TRUE(two.start({"--http"}));
  EXPECT_NE(one.port(), two.port());
  const Answer a = post(one, seal(request(kCommandCreateSessionId, [] {
                          Json::Value d;
                          d["machineid"] = "abc";
                          return d;
                        }())));
  EXPECT_EQ(a.body,
            "{\n   \"errorcode\" : 0,\n   \"errormessage\" : \"\",\n   \"iserror\" : false,\n"
            "   \"response\" : {\n      \"sessionID\" : 1\n   }\n}\n");
  EXPECT_EQ(newSession(two), 1);
  EXPECT_EQ(one.stop(), 0);
  EXPECT_EQ(two.stop(), 0);
}

TEST(ReportServer, SessionIdsContinueAcrossRestarts) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  EXPECT_EQ(newSession(server, "a"), 1);
  EXPECT_EQ(newSession(server, "a"), 2);
  ASSERT_EQ(server.stop(), 0);
  ASSERT_TRUE(server.start({"--http"}));
  EXPECT_EQ(newSession(server, "b"), 3);
}

TEST(ReportServer, GeneratedCertificateIsKeptAndAGivenOneIsUsed) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  const std::string cert = slurpFile(server.certFile());
  EXPECT_NE(cert.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
  EXPECT_EQ(fs::status(server.dataDir() + "/server.key").permissions() & fs::perms::group_read,
            fs::perms::none);
  ASSERT_EQ(server.stop(), 0);
  ASSERT_TRUE(server.start());
  EXPECT_EQ(slurpFile(server.certFile()), cert);  // not made again
  EXPECT_EQ(newSession(server), 1);
  ASSERT_EQ(server.stop(), 0);

  // The same pair handed over explicitly by another server.
  ReportServerProcess other;
  fs::copy_file(server.certFile(), other.dataDir() + "/given.crt");
  fs::copy_file(server.dataDir() + "/server.key", other.dataDir() + "/given.key");
  ASSERT_TRUE(other.start({"--cert", other.dataDir() + "/given.crt", "--key",
                           other.dataDir() + "/given.key"}));
  EXPECT_FALSE(fs::exists(other.certFile()));
  fs::copy_file(other.dataDir() + "/given.crt", other.certFile());  // what the client trusts
  EXPECT_EQ(newSession(other), 1);
}

TEST(ReportServer, BadCommandLinesAreRefused) {
  const char* const lines[] = {
      "",                                                       // nothing
      "--listen 127.0.0.1:0",                                   // no --data
      "--listen 0.0.0.0:0 --data /tmp/x",                       // not loopback
      "--listen 10.1.2.3:0 --data /tmp/x",                      // not loopback
      "--listen 127.0.0.1 --data /tmp/x",                       // no port
      "--listen 127.0.0.1:70000 --data /tmp/x",                 // port out of range
      "--listen 127.0.0.1:0 --data /tmp/x --cert a.crt",        // cert without key
      "--listen 127.0.0.1:0 --data /tmp/x --fault Upload=garbage",       // unknown command
      "--listen 127.0.0.1:0 --data /tmp/x --fault UploadResult=slow:5",  // unknown kind
      "--listen 127.0.0.1:0 --data /tmp/x --fault *=code:12345",         // not four bytes
      "--listen 127.0.0.1:0 --data /tmp/x --fault *=status:99",          // not a status
      "--listen 127.0.0.1:0 --data /tmp/x --fault *=delay",              // no argument
      "--listen 127.0.0.1:0 --data /tmp/x --bogus",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    std::string err;
    EXPECT_EQ(runServerToEnd(line, err), 2);
    EXPECT_NE(err.find("usage: zorel-report-server"), std::string::npos);
  }
}

TEST(ReportServer, RefusesMalformedBodiesAndKeepsServing) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  const int32_t session = newSession(server);

  std::string flipped = seal(uploadPlain(session, 3, "abc"));
  flipped[40] ^= 0x01;
  std::string badMagic = seal("{}");
  badMagic[0] = 'X';
  struct Row {
    const char* why;
    std::string body;
    int32_t code;
  } const rows[] = {
      {"not sealed at all", "plain text that is not a container", 1},
      {"one payload bit changed", flipped, 1},
      {"wrong magic", badMagic, 1},
      {"a bare header", std::string(32, '\0'), 1},
      {"sealed non-JSON", seal("not json"), 2},
      {"sealed JSON array", seal("[1,2]"), 2},
      {"wrong service", seal("{\"service\":\"Other\",\"command\":\"CreateSessionId\"}"), 3},
      {"unknown command", seal(request("DeleteEverything", Json::Value())), 3},
      {"command not a text", seal("{\"service\":\"ReportService\",\"command\":5}"), 2},
      {"session without machine id", seal(request(kCommandCreateSessionId, Json::Value())), 2},
      {"upload without separator", seal(request(kCommandUploadResult, Json::Value())), 6},
      {"cabsize too large", seal(uploadPlain(session, 4, "abc")), 5},
      {"cabsize too small", seal(uploadPlain(session, 2, "abc")), 5},
      {"cabsize negative", seal(uploadPlain(session, -3, "abc")), 5},
      {"cabsize beyond 32 bits", seal(uploadPlain(session, 4294967299LL, "abc")), 2},
      {"unknown session", seal(uploadPlain(999, 3, "abc")), 4},
      {"cancel without id", seal(request(kCommandCancelOperation, Json::Value())), 2},
      {"cabinet after a session request",
       seal(request(kCommandCreateSessionId, Json::Value()) + kJsonCabSeparator + "x"), 2},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.why);
    expectRefusal(post(server, r.body), r.code);
  }
  EXPECT_TRUE(fs::is_empty(server.dataDir() + "/uploads"));
  // Still alive and still right.
  EXPECT_EQ(newSession(server), 2);
  const Answer get = post(server, "", 0);
  EXPECT_EQ(get.status, 405);
  EXPECT_EQ(server.stop(), 0);
}

TEST(ReportServer, StoresTheUploadAndItsRecord) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  const int32_t session = newSession(server, "machine-7");
  std::string cabinet("MSCF\0\0\0\0binary\xff\x00tail", 18);
  cabinet += std::string(kJsonCabSeparator);  // the separator may recur inside the cabinet
  const std::string plain = uploadPlain(session, static_cast<int64_t>(cabinet.size()), cabinet);
  const Answer a = post(server, seal(plain));
  ASSERT_FALSE(a.json["iserror"].asBool()) << a.body;
  EXPECT_EQ(a.json["response"]["stored"].asString(), "uploads/1.cab");
  EXPECT_EQ(slurpFile(server.dataDir() + "/uploads/1.cab"), cabinet);

  Json::Value record;
  std::ifstream in(server.dataDir() + "/uploads/1.json");
  Json::CharReaderBuilder b;
  std::string errors;
  ASSERT_TRUE(Json::parseFromStream(b, in, &record, &errors));
  EXPECT_EQ(record["sessionid"].asInt(), 1);
  EXPECT_EQ(record["machineid"].asString(), "machine-7");
  EXPECT_EQ(record["cabsize"].asUInt64(), cabinet.size());
  EXPECT_EQ(record["sealedbytes"].asUInt64(), plain.size() + 32);
  EXPECT_EQ(record["envelope"].asString(), plain.substr(0, plain.find(kJsonCabSeparator)));
  EXPECT_FALSE(record["received"].asString().empty());
  EXPECT_TRUE(server.serverLogHas("command=UploadResult result=stored uploads/1.cab"));
}

TEST(ReportServer, LaterUploadsOfASessionAreKeptBesideTheFirst) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  const int32_t session = newSession(server);
  const std::vector<std::string> cabinets = {"MSCF first", "MSCF second", "MSCF third"};
  const std::vector<std::string> names = {"1.cab", "1.2.cab", "1.3.cab"};
  for (size_t i = 0; i < cabinets.size(); ++i) {
    const Answer a = post(server, seal(uploadPlain(session, static_cast<int64_t>(cabinets[i].size()), cabinets[i])));
    ASSERT_FALSE(a.json["iserror"].asBool()) << a.body;
    EXPECT_EQ(a.json["response"]["stored"].asString(), "uploads/" + names[i]);
  }
  Json::Value uploads(Json::arrayValue);
  for (size_t i = 0; i < cabinets.size(); ++i) {
    EXPECT_EQ(slurpFile(server.dataDir() + "/uploads/" + names[i]), cabinets[i]) << names[i];
    uploads.append(names[i]);
  }
  EXPECT_NE(slurpFile(server.dataDir() + "/uploads/1.2.json").find("\"cabinet\" : \"1.2.cab\""),
            std::string::npos);
  // The session's record lists them, also after a restart.
  ASSERT_EQ(server.stop(), 0);
  Json::Value sessions;
  std::ifstream in(server.dataDir() + "/sessions.json");
  Json::CharReaderBuilder b;
  std::string errors;
  ASSERT_TRUE(Json::parseFromStream(b, in, &sessions, &errors));
  EXPECT_EQ(sessions["sessions"]["1"]["uploads"], uploads);
  ASSERT_TRUE(server.start({"--http"}));
  const Answer again = post(server, seal(uploadPlain(session, 4, "MSCF")));
  EXPECT_EQ(again.json["response"]["stored"].asString(), "uploads/1.4.cab");
}

TEST(ReportServer, LogsEveryRequestOnOneLine) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  newSession(server);
  post(server, "junk");
  post(server, "", 0);
  ASSERT_EQ(server.stop(), 0);
  const std::string log = server.serverLog();
  size_t lines = 0;
  for (char c : log) lines += c == '\n';
  EXPECT_EQ(lines, 3u) << log;
  EXPECT_NE(log.find("POST /preinstall/DataAPIService.aspx status=200 in="), std::string::npos);
  EXPECT_NE(log.find("command=CreateSessionId result=session 1 for m-1"), std::string::npos);
  EXPECT_NE(log.find("in=4 "), std::string::npos);
  EXPECT_NE(log.find("result=refused 1: "), std::string::npos);
  EXPECT_NE(log.find("GET /preinstall/DataAPIService.aspx status=405"), std::string::npos);
}

TEST(ReportServer, FaultModesAnswerAsConfigured) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http", "--fault", "CreateSessionId=delay:300", "--fault",
                            "CreateSessionId=status:503", "--fault", "CancelOperation=code:1007",
                            "--fault", "UploadResult=garbage"}));
  Json::Value data;
  data["machineid"] = "m";
  const auto start = std::chrono::steady_clock::now();
  const Answer slow = post(server, seal(request(kCommandCreateSessionId, data)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(slow.status, 503);  // the delay, then the status
  EXPECT_TRUE(server.serverLogHas("status=503 in="));

  Json::Value cancel;
  cancel["sessionId"] = 1;
  const Answer code = post(server, seal(request(kCommandCancelOperation, cancel)));
  EXPECT_EQ(code.status, 1007);  // the four bytes read as the server's code
  EXPECT_EQ(code.body, "1007");

  const Answer garbage = post(server, seal(uploadPlain(1, 1, "x")));
  EXPECT_EQ(garbage.status, 200);
  EXPECT_TRUE(garbage.json.isNull());
  EXPECT_NE(garbage.body.size(), 4u);
  EXPECT_FALSE(fs::exists(server.dataDir() + "/cancels.json"));
  EXPECT_FALSE(fs::exists(server.dataDir() + "/sessions.json"));
}

TEST(ReportServer, IsErrorFaultForAllCommands) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http", "--fault", "*=iserror:5"}));
  Json::Value data;
  data["machineid"] = "m";
  expectRefusal(post(server, seal(request(kCommandCreateSessionId, data))), 5);
  expectRefusal(post(server, seal(uploadPlain(1, 1, "x"))), 5);
  // A body that is not even sealed gets the honest answer, not the fault.
  expectRefusal(post(server, "x"), 1);
}

TEST(ReportServer, CancelNoticesAreKept) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--http"}));
  const int32_t session = newSession(server);
  Json::Value data;
  data["sessionId"] = session;
  EXPECT_FALSE(post(server, seal(request(kCommandCancelOperation, data))).json["iserror"].asBool());
  data["sessionId"] = 77;
  const Answer unknown = post(server, seal(request(kCommandCancelOperation, data)));
  EXPECT_FALSE(unknown.json["response"]["knownsession"].asBool());
  const std::string cancels = slurpFile(server.dataDir() + "/cancels.json");
  EXPECT_NE(cancels.find("\"sessionid\" : 1"), std::string::npos);
  EXPECT_NE(cancels.find("\"sessionid\" : 77"), std::string::npos);
}

TEST(ReportServer, UnreadableSessionFileStopsTheStart) {
  ReportServerProcess server;
  std::ofstream(server.dataDir() + "/sessions.json") << "{ not json";
  EXPECT_FALSE(server.start({"--http"}));
  EXPECT_NE(server.stderrText().find("sessions.json is not JSON"), std::string::npos);
}

}  // namespace
}  // namespace zorel::test
