// The report server's session pages as a person's browser meets them, over
// HTTPS on loopback: the view token, the paths that are and are not served,
// the list after two uploads, a session's run report and its cabinet.
// Uploads go through the unchanged upload protocol.

#include <httplib.h>
#include <json/reader.h>
#include <sys/stat.h>

#include "../../report/report_server_process.h"
#include "../../runreport/run_store_fixture.h"
#include "zorel/common/utf8.h"
#include "zorel/report/http_exchange.h"
#include "zorel/report/report_messages.h"
#include "zorel/report/sealed_container.h"

namespace zorel::test {
namespace {

namespace fs = std::filesystem;

const std::string kToken = "view-token-for-tests-0123456789";

// One sealed request to the endpoint; RETURNS the answer's JSON.
Json::Value postSealed(const ReportServerProcess& server, const std::string& plain) {
  std::string sealed(plain.size() + kSealHeaderSize, '\0');
  EXPECT_EQ(Seal(nullptr, 0, reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), 1,
                 reinterpret_cast<uint8_t*>(sealed.data()), sealed.size()),
            kSealOk);
  HttpExchange exchange;
  exchange.url = fromUtf8(server.baseAddress() + "/preinstall/DataAPIService.aspx");
  exchange.body.assign(sealed.begin(), sealed.end());
  RunHttpExchange(exchange, server.certFile(), std::chrono::seconds(10));
  EXPECT_EQ(exchange.status, 200);
  Json::Value answer;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(std::string(exchange.response.begin(), exchange.response.end()));
  EXPECT_TRUE(Json::parseFromStream(builder, in, &answer, &errors));
  return answer;
}

std::string envelope(const std::string& command, const Json::Value& data) {
  HttpRequestData r;
  r.service = kReportServiceName;
  r.command = command;
  r.data = data;
  return r.ToString();
}

// A new session for `machine` with `cabinet` uploaded; RETURNS its id.
int32_t uploadRun(const ReportServerProcess& server, const std::string& machine, const std::string& cabinet) {
  Json::Value data;
  data["machineid"] = machine;
  const int32_t id = postSealed(server, envelope(kCommandCreateSessionId, data))["response"]["sessionID"].asInt();
  Json::Value upload;
  upload["sessionid"] = id;
  upload["cabsize"] = static_cast<Json::Int64>(cabinet.size());
  EXPECT_FALSE(postSealed(server, envelope(kCommandUploadResult, upload) + kJsonCabSeparator + cabinet)["iserror"].asBool());
  return id;
}

// A db.cab of a run whose problems are `failed` failing ones and one passing.
std::string runCabinet(const std::string& script, int failed) {
  TempFolder folder;
  {
    StoreFile s(folder.path() + "/ResultStore.db");
    s.Execution(script, "2026-12-10.10:00:00", "2026-12-10.10:00:05", 5);
    s.Problem(100, "<b>passes</b>");
    s.Status(100, 100, 1);
    for (int i = 1; i <= failed; ++i) {
      s.Problem(i, "fails " + std::to_string(i));
      s.Status(i, 100, 3);
    }
    s.Operation(1, 100, "File", "File::isFilePresent", "{\"path\":\"C:\\\\x\"}", false, 2);
  }
  PackDbCab(folder.path(), folder.path() + "/db.cab");
  return slurpFile(folder.path() + "/db.cab");
}

struct Page {
  int status = 0;
  std::string body;
  std::string header;  // the header asked for
};

Page get(const ReportServerProcess& server, const std::string& path, const std::string& bearer,
         const std::string& headerName = "WWW-Authenticate") {
  httplib::SSLClient client("127.0.0.1", server.port());
  client.set_ca_cert_path(server.certFile().c_str());
  client.enable_server_certificate_verification(true);
  client.set_follow_location(false);
  httplib::Headers headers;
  if (!bearer.empty()) headers.emplace("Authorization", "Bearer " + bearer);
  Page page;
  if (auto res = client.Get(path, headers)) {
    page.status = res->status;
    page.body = res->body;
    page.header = res->get_header_value(headerName);
  }
  return page;
}

TEST(ReportViews, OnlyTheTokenOpensThePagesAndOnlyHeldSessionsAreServed) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--view-token", kToken}));
  ASSERT_EQ(uploadRun(server, "m-1", runCabinet("a.js", 1)), 1);
  Json::Value data;
  data["machineid"] = "m-2";  // session 2: no upload
  postSealed(server, envelope(kCommandCreateSessionId, data));
  std::ofstream(server.dataDir() + "/uploads/9.cab") << "MSCF not listed in sessions.json";

  struct Case {
    const char* what;
    std::string path;
    std::string bearer;
    int status;
  };
  const Case cases[] = {
      {"list without a token", "/", "", 401},
      {"list with a wrong token", "/", kToken + "x", 401},
      {"report without a token", "/sessions/1", "", 401},
      {"cabinet without a token", "/sessions/1/db.cab", "", 401},
      {"token in an empty query", "/?token=", "", 401},
      {"list with the bearer token", "/", kToken, 200},
      {"list with the token in the query", "/?token=" + kToken, "", 200},
      {"report", "/sessions/1", kToken, 200},
      {"cabinet", "/sessions/1/db.cab", kToken, 200},
      // anything that is not a held session with an upload
      {"unknown session", "/sessions/3", kToken, 404},
      {"session without an upload", "/sessions/2", kToken, 404},
      {"cabinet not the server's record", "/sessions/9", kToken, 404},
      {"leading zero", "/sessions/01", kToken, 404},
      {"not a number", "/sessions/one", kToken, 404},
      {"beyond 32 bits", "/sessions/4294967297", kToken, 404},
      {"trailing slash", "/sessions/1/", kToken, 404},
      {"climbing out", "/sessions/1/../../view.token", kToken, 404},
      {"climbing out, encoded", "/sessions/%2e%2e/sessions.json", kToken, 404},
      {"the data folder's files", "/view.token", kToken, 404},
      {"an upload by its file name", "/uploads/1.cab", kToken, 404},
      {"the key", "/server.key", kToken, 404},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Page page = get(server, c.path, c.bearer);
    EXPECT_EQ(page.status, c.status);
    if (c.status == 401) {
      EXPECT_EQ(page.header.rfind("Bearer", 0), 0u);
    }
    if (c.path.find(kToken) == std::string::npos) {
      EXPECT_EQ(page.body.find(kToken), std::string::npos) << "the token is echoed";
    }
  }
  // The endpoint itself is unchanged: GET is still refused as before.
  EXPECT_EQ(get(server, "/preinstall/DataAPIService.aspx", "").status, 405);
  EXPECT_TRUE(server.serverLogHas("GET /sessions/1/db.cab status=200"));
  EXPECT_EQ(server.serverLog().find(kToken), std::string::npos) << "the token is logged";
}

TEST(ReportViews, ListsTwoUploadsNewestFirstWithTheirReportsAndCabinets) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start({"--view-token", kToken}));
  const std::string first = runCabinet("first.js", 2);
  const std::string second = runCabinet("second.js", 0);
  ASSERT_EQ(uploadRun(server, "machine <one>", first), 1);
  ASSERT_EQ(uploadRun(server, "\"><img src=x onerror=alert(1)>", second), 2);

  const Page list = get(server, "/", kToken);
  ASSERT_EQ(list.status, 200);
  const size_t row2 = list.body.find(">2</a>"), row1 = list.body.find(">1</a>");
  ASSERT_NE(row2, std::string::npos);
  ASSERT_NE(row1, std::string::npos);
  EXPECT_LT(row2, row1) << "newest first";
  // Machine ids are the clients' text: shown escaped.
  EXPECT_NE(list.body.find("machine &lt;one&gt;"), std::string::npos);
  EXPECT_EQ(list.body.find("<img"), std::string::npos);
  const std::string row1Text = list.body.substr(row1, list.body.find("</tr>", row1) - row1);
  EXPECT_NE(row1Text.find("<td>" + std::to_string(first.size()) + " bytes</td>"), std::string::npos) << row1Text;
  EXPECT_NE(row1Text.find("<td>passed</td><td>2</td>"), std::string::npos) << row1Text;
  const std::string row2Text = list.body.substr(row2, list.body.find("</tr>", row2) - row2);
  EXPECT_NE(row2Text.find("<td>passed</td><td>0</td>"), std::string::npos) << row2Text;

  const Page report = get(server, "/sessions/1", kToken);
  ASSERT_EQ(report.status, 200);
  EXPECT_NE(report.body.find("\"session\":1,"), std::string::npos);
  EXPECT_NE(report.body.find("\"script\":\"first.js\""), std::string::npos);
  EXPECT_NE(report.body.find("\\u003cb\\u003epasses\\u003c/b\\u003e"), std::string::npos);
  EXPECT_EQ(report.body.find(server.dataDir()), std::string::npos) << "the server's folder is shown";

  const Page cabinet = get(server, "/sessions/2/db.cab", kToken, "Content-Type");
  ASSERT_EQ(cabinet.status, 200);
  EXPECT_EQ(cabinet.body, second) << "not byte-identical to the upload";
  EXPECT_EQ(cabinet.header, "application/vnd.ms-cab-compressed");
  EXPECT_TRUE(server.serverLogHas("command=view result=report of session 1"));
  EXPECT_TRUE(server.serverLogHas("command=view result=list of 2 sessions"));
}

TEST(ReportViews, AGeneratedTokenIsKeptOwnerOnlyAndPrintedOnce) {
  ReportServerProcess server;
  ASSERT_TRUE(server.start());
  const std::string path = server.dataDir() + "/view.token";
  std::string token = slurpFile(path);
  ASSERT_FALSE(token.empty());
  token.pop_back();  // its newline
  EXPECT_EQ(token.size(), 48u);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(get(server, "/", token).status, 200);
  ASSERT_EQ(server.stop(), 0);
  ASSERT_TRUE(server.start());  // the same token again, not shown again
  EXPECT_EQ(get(server, "/", token).status, 200);
  const std::string err = server.stderrText();
  EXPECT_EQ(err.find(token), err.rfind(token));
  EXPECT_NE(err.find(token), std::string::npos);
}

}  // namespace
}  // namespace zorel::test
