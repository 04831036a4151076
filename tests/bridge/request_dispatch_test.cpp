// The UI request protocol against a test double of the session controller:
// which operation each request reaches and the exact response texts.

#include "zorel/bridge/request_dispatch.h"

#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include "zorel/common/utf8.h"

namespace zorel {
namespace {

using testing::_;
using testing::Invoke;
using testing::Return;
using testing::StrictMock;

class MockBusinessLogic : public IBusinessLogic {
 public:
  MOCK_METHOD(std::wstring, ProcessRequest, (const std::wstring&), (override));
  MOCK_METHOD(bool, Cancel, (), (override));
  MOCK_METHOD(bool, Start, (const RequestJsonStructure&), (override));
  MOCK_METHOD(void, CopyProgress, (ProgressJson&), (override));
  MOCK_METHOD(void, CopyResult, (ResultJson&, SessionJson&), (override));
};

std::string styled(const Json::Value& v) {
  Json::StyledWriter writer;
  return writer.write(v);
}

// The response JsonCpp writes for the given fields; "result" is null unless
// given.
std::string expectedResponse(bool status, int errorcode, int stageId,
                             int percentage, const char* message,
                             int sessionid,
                             const Json::Value& result = Json::Value()) {
  Json::Value v;
  v["status"] = status;
  v["errorcode"] = errorcode;
  v["progress"]["stageId"] = stageId;
  v["progress"]["percentage"] = percentage;
  v["progress"]["message"] = message;
  v["result"] = result;
  v["session"]["sessionid"] = sessionid;
  return styled(v);
}

// Parses a response with JsonCpp's own reader.
bool parseResponse(const std::string& text, Json::Value& v) {
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  return reader->parse(text.data(), text.data() + text.size(), &v, &errors);
}

std::string dispatch(IBusinessLogic& logic, const std::wstring& request) {
  testing::internal::CaptureStdout();
  std::wstring response = DispatchRequest(logic, request);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "") << "unexpected parse failure";
  return toUtf8(response);
}

// The fresh response, written out by hand.
const char kFreshTrue[] =
    "{\n"
    "   \"errorcode\" : 0,\n"
    "   \"progress\" : {\n"
    "      \"message\" : \"\",\n"
    "      \"percentage\" : 0,\n"
    "      \"stageId\" : -1\n"
    "   },\n"
    "   \"result\" : null,\n"
    "   \"session\" : {\n"
    "      \"sessionid\" : -1\n"
    "   },\n"
    "   \"status\" : true\n"
    "}\n";

const char kFreshRefused[] =
    "{\n"
    "   \"errorcode\" : 1000,\n"
    "   \"progress\" : {\n"
    "      \"message\" : \"\",\n"
    "      \"percentage\" : 0,\n"
    "      \"stageId\" : -1\n"
    "   },\n"
    "   \"result\" : null,\n"
    "   \"session\" : {\n"
    "      \"sessionid\" : -1\n"
    "   },\n"
    "   \"status\" : false\n"
    "}\n";

TEST(RequestDispatch, EmptyRequestGivesEmptyTextAndCallsNothing) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_EQ(DispatchRequest(logic, L""), L"");
}

TEST(RequestDispatch, StartResponseIsTheFreshResponse) {
  StrictMock<MockBusinessLogic> logic;
  RequestJsonStructure seen;
  EXPECT_CALL(logic, Start(_)).WillOnce(Invoke([&](const RequestJsonStructure& r) {
    seen = r;
    return true;
  }));
  std::string text = dispatch(
      logic,
      LR"({"operationid":0,"operationinfo":[{"stageid":100,"problemid":[1,2]},)"
      LR"({"stageid":101,"problemid":[3]}],"productname":"n","producttype":"t"})");
  EXPECT_EQ(text, kFreshTrue);
  EXPECT_EQ(text, expectedResponse(true, 0, -1, 0, "", -1));

  ASSERT_EQ(seen.operationInfo.Size(), 2u);
  std::vector<int32_t> ids;
  EXPECT_EQ(seen.operationInfo.Get(0)->stageId, 100);
  EXPECT_TRUE(seen.operationInfo.Get(0)->ProblemIds(ids));
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(seen.operationInfo.Get(1)->stageId, 101);
  EXPECT_EQ(seen.productName, "n");
  EXPECT_EQ(seen.productType, "t");
}

TEST(RequestDispatch, RefusedStartGivesStatusFalseAnd1000) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, Start(_)).WillOnce(Return(false));
  EXPECT_EQ(dispatch(logic, LR"({"operationid":0})"), kFreshRefused);
}

TEST(RequestDispatch, MissingOrUnconvertibleOperationIdIsAStart) {
  for (const wchar_t* request :
       {L"{}", LR"({"operationid":"2"})", LR"({"operationid":[1]})",
        LR"({"operationid":null})", L"[3]", L"17"}) {
    SCOPED_TRACE(toUtf8(request));
    StrictMock<MockBusinessLogic> logic;
    EXPECT_CALL(logic, Start(_)).WillOnce(Return(true));
    EXPECT_EQ(dispatch(logic, request), kFreshTrue);
  }
}

TEST(RequestDispatch, TextThatIsNotJsonIsReadAsAStart) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, Start(_)).WillOnce(Return(true));
  testing::internal::CaptureStdout();
  std::wstring response = DispatchRequest(logic, L"hello, not json");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Parsing Unsuccessfull\n");
  EXPECT_EQ(toUtf8(response), kFreshTrue);
}

TEST(RequestDispatch, ProgressCarriesTheRecord) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, CopyProgress(_)).WillOnce(Invoke([](ProgressJson& p) {
    p.stageId = 101;
    p.percentage = 42;
    p.message = "$GEN1000$";
    p.errorCode = 0;
  }));
  EXPECT_EQ(dispatch(logic, LR"({"operationid":1})"),
            expectedResponse(true, 0, 101, 42, "$GEN1000$", -1));
}

TEST(RequestDispatch, ProgressAfterAFailedRunGivesStatusFalseAndItsCode) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, CopyProgress(_)).WillOnce(Invoke([](ProgressJson& p) {
    p.stageId = 0;
    p.percentage = 0;
    p.message = "$GEN1000$";
    p.errorCode = 1000;
  }));
  std::string text = dispatch(logic, LR"({"operationid":1})");
  EXPECT_EQ(text,
            "{\n"
            "   \"errorcode\" : 1000,\n"
            "   \"progress\" : {\n"
            "      \"message\" : \"$GEN1000$\",\n"
            "      \"percentage\" : 0,\n"
            "      \"stageId\" : 0\n"
            "   },\n"
            "   \"result\" : null,\n"
            "   \"session\" : {\n"
            "      \"sessionid\" : -1\n"
            "   },\n"
            "   \"status\" : false\n"
            "}\n");
  EXPECT_EQ(text, expectedResponse(false, 1000, 0, 0, "$GEN1000$", -1));
}

TEST(RequestDispatch, ResultBeforeAnyRunIsNullWithNoSession) {
  StrictMock<MockBusinessLogic> logic;
  // A controller that never ran hands back its fresh stored result.
  EXPECT_CALL(logic, CopyResult(_, _))
      .WillOnce(Invoke([](ResultJson& r, SessionJson& s) {
        r = ResultJson();
        s = SessionJson();
      }));
  EXPECT_EQ(dispatch(logic, LR"({"operationid":2})"), kFreshTrue);
}

TEST(RequestDispatch, ResultCarriesStagesProblemsAndSession) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, CopyResult(_, _))
      .WillOnce(Invoke([](ResultJson& r, SessionJson& s) {
        StatusData& stage = r.stages.Add();
        stage.stageId = 101;
        stage.status = 1;
        stage.outcome = "done";
        ProblemData& problem = r.problems.Add();
        problem.problemId = 7;
        problem.name = "n";
        problem.description = "d";
        problem.url = "u";
        StatusData& ps = problem.status.Add();
        ps.stageId = 101;
        ps.status = 3;
        s.sessionId = 12345;
      }));

  Json::Value result;
  Json::Value stage;
  stage["stageid"] = 101;
  stage["status"] = 1;
  stage["outcome"] = "done";
  result["stages"].append(stage);
  Json::Value problem;
  problem["problemid"] = 7;
  problem["name"] = "n";
  problem["description"] = "d";
  problem["url"] = "u";
  Json::Value ps;
  ps["stageid"] = 101;
  ps["status"] = 3;
  ps["outcome"] = "";
  problem["status"].append(ps);
  result["problems"].append(problem);
  EXPECT_EQ(dispatch(logic, LR"({"operationid":2})"),
            expectedResponse(true, 0, -1, 0, "", 12345, result));
}

TEST(RequestDispatch, CancelAlwaysAnswersTrue) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, Cancel()).WillOnce(Return(false));
  EXPECT_EQ(dispatch(logic, LR"({"operationid":3})"), kFreshTrue);
}

TEST(RequestDispatch, OperationOutsideZeroToThreeIsNotDone) {
  for (const wchar_t* request :
       {LR"({"operationid":4})", LR"({"operationid":-1})",
        LR"({"operationid":2147483647})", LR"({"operationid":-2147483648})"}) {
    SCOPED_TRACE(toUtf8(request));
    StrictMock<MockBusinessLogic> logic;
    EXPECT_EQ(dispatch(logic, request), kFreshRefused);
  }
}

TEST(RequestDispatch, RealOperationIdIsTruncated) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, Cancel()).WillOnce(Return(true));
  EXPECT_EQ(dispatch(logic, LR"({"operationid":3.7})"), kFreshTrue);
}

TEST(RequestDispatch, NonAsciiTextReachesTheControllerAsUtf8) {
  StrictMock<MockBusinessLogic> logic;
  const std::wstring name = L"Zo\u00eb \u6771\u4eac \U0001F600";
  std::string seen;
  EXPECT_CALL(logic, Start(_)).WillOnce(Invoke([&](const RequestJsonStructure& r) {
    seen = r.productName;
    return true;
  }));
  dispatch(logic, L"{\"productname\":\"" + name + L"\"}");
  EXPECT_EQ(seen, toUtf8(name));
  EXPECT_EQ(fromUtf8(seen), name);
}

TEST(RequestDispatch, NonAsciiProgressMessageComesBackIntact) {
  StrictMock<MockBusinessLogic> logic;
  const std::wstring message = L"Pr\u00fcfung l\u00e4uft \u2013 \U0001F50D";
  EXPECT_CALL(logic, CopyProgress(_)).WillOnce(Invoke([&](ProgressJson& p) {
    p.message = toUtf8(message);
  }));
  std::wstring response = DispatchRequest(logic, LR"({"operationid":1})");
  Json::Value v;
  ASSERT_TRUE(parseResponse(toUtf8(response), v));
  EXPECT_EQ(fromUtf8(v["progress"]["message"].asString()), message);
}

TEST(RequestDispatch, ExceptionFromTheControllerIsAnsweredNotThrown) {
  StrictMock<MockBusinessLogic> logic;
  EXPECT_CALL(logic, Start(_))
      .WillOnce(Invoke([](const RequestJsonStructure&) -> bool {
        throw std::runtime_error("worker could not start");
      }));
  std::wstring response;
  EXPECT_NO_THROW(response = DispatchRequest(logic, LR"({"operationid":0})"));
  EXPECT_EQ(toUtf8(response), kFreshRefused);
}

TEST(RequestDispatch, MalformedRequestsAlwaysGetAWellFormedResponse) {
  testing::NiceMock<MockBusinessLogic> logic;
  const std::wstring requests[] = {
      std::wstring(1 << 20, L'['),
      std::wstring(100000, L'{'),
      LR"({"operationid":1,"operationinfo":[{"stageid":)",
      L"\xd800\xdfff\xfffe",  // unpaired surrogates and a non-character
      std::wstring(L"{\"operationid\":\0}", 17),
  };
  for (const std::wstring& request : requests) {
    testing::internal::CaptureStdout();
    std::string text = toUtf8(DispatchRequest(logic, request));
    testing::internal::GetCapturedStdout();
    Json::Value v;
    ASSERT_TRUE(parseResponse(text, v));
    EXPECT_TRUE(v.isMember("status"));
  }
}

}  // namespace
}  // namespace zorel
