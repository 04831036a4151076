// `zorel bridge` framing and bad requests: every line gets exactly one
// framed response, nothing else reaches standard output, and the process
// survives whatever it is sent.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "../session/bridge_process.h"

namespace zorel::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using BridgeCli = BridgeTest;

TEST_F(BridgeCli, EmptyRequestIsAZeroLengthFrame) {
  auto bridge = Bridge("basic.js");
  EXPECT_EQ(bridge->Request(""), "");
  // The next frame still lines up.
  EXPECT_TRUE(bridge->RequestJson(R"({"operationid":1})")["status"].asBool());
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_EQ(bridge->Trailing(100), "");
}

TEST_F(BridgeCli, ResponseIsTheStyledTextWithItsByteLength) {
  auto bridge = Bridge("basic.js");
  const std::string text = bridge->Request(R"({"operationid":2})");
  EXPECT_EQ(text,
            "{\n   \"errorcode\" : 0,\n   \"progress\" : {\n      \"message\" : \"\",\n"
            "      \"percentage\" : 0,\n      \"stageId\" : -1\n   },\n   \"result\" : null,\n"
            "   \"session\" : {\n      \"sessionid\" : -1\n   },\n   \"status\" : true\n}\n");
}

TEST_F(BridgeCli, TextThatIsNotJsonIsAStartWithoutOperationsAndStaysOffStdout) {
  auto bridge = Bridge("basic.js");
  for (const char* junk : {"hello", "{\"operationid\":", "]]]", "\x01\x02\xff\xfe"}) {
    const Json::Value r = bridge->RequestJson(junk);
    EXPECT_TRUE(r["status"].asBool()) << junk;  // read as a start request
    const std::vector<Progress> seen = WaitForEnd(*bridge);
    EXPECT_FALSE(seen.back().status) << junk;
    EXPECT_EQ(seen.back().errorCode, 1000) << junk;
  }
  EXPECT_EQ(bridge->Finish(), 0);
  EXPECT_EQ(bridge->Trailing(100), "");  // "Parsing Unsuccessfull" went to stderr
  EXPECT_THAT(Log(), HasSubstr("Invalid input to execute the operations"));
}

TEST_F(BridgeCli, TenMebibyteLinesAreAnswered) {
  auto bridge = Bridge("basic.js");
  const std::string padding(10 * 1024 * 1024, 'a');
  Json::Value r = bridge->RequestJson(R"({"operationid":1,"pad":")" + padding + "\"}", 60000);
  EXPECT_TRUE(r["status"].asBool());
  EXPECT_EQ(r["progress"]["stageId"].asInt(), -1);
  r = bridge->RequestJson("[" + padding, 60000);  // 10 MiB of broken JSON
  EXPECT_TRUE(r.isObject());
  WaitForEnd(*bridge);
  EXPECT_TRUE(bridge->RequestJson(R"({"operationid":1})").isObject());
  EXPECT_EQ(bridge->Finish(), 0);
}

TEST_F(BridgeCli, OperationIdsOutsideZeroToThreeAreNotDone) {
  auto bridge = Bridge("basic.js");
  for (const char* id : {"4", "-1", "99", "2147483647", "-2147483648"}) {
    const Json::Value r = bridge->RequestJson(std::string(R"({"operationid":)") + id + "}");
    EXPECT_FALSE(r["status"].asBool()) << id;
    EXPECT_EQ(r["errorcode"].asInt(), 1000) << id;
  }
  bridge->Finish();
  EXPECT_THAT(Log(), Not(HasSubstr("Initializing the scan operations")));
}

TEST_F(BridgeCli, ProblemIdOfEveryJsonType) {
  auto bridge = Bridge("basic.js");
  struct Case {
    const char* problemId;
    bool completes;
    std::vector<int> problems;  // in the result when it completes
  };
  // Not an array: no problem ids, so every problem of the stage. An element
  // that does not convert to an integer ends the run with 1000.
  const Case cases[] = {
      {"null", true, {1, 2, 3}},       {"true", true, {1, 2, 3}},
      {"7", true, {1, 2, 3}},          {"1.5", true, {1, 2, 3}},
      {"\"2\"", true, {1, 2, 3}},      {"{\"a\":2}", true, {1, 2, 3}},
      {"[]", true, {1, 2, 3}},         {"[3]", true, {1, 3}},
      {"[3.9]", true, {1, 3}},         {"[true]", true, {1}},
      {"[null]", true, {1}},           {"[\"3\"]", false, {}},
      {"[[3]]", false, {}},            {"[{\"id\":3}]", false, {}},
      {"[1e30]", false, {}},           {"[2, \"x\"]", false, {}},
  };
  for (const Case& c : cases) {
    const std::string start = R"({"operationid":0,"operationinfo":[{"stageid":100,"problemid":[]},)"
                              R"({"stageid":101,"problemid":)" + std::string(c.problemId) + "}]}";
    ASSERT_TRUE(bridge->RequestJson(start)["status"].asBool()) << c.problemId;
    const Progress end = WaitForEnd(*bridge).back();
    EXPECT_EQ(end.status, c.completes) << c.problemId;
    if (c.completes) {
      std::vector<int> ids;
      const Json::Value result = bridge->RequestJson(R"({"operationid":2})");
      for (const Json::Value& p : result["result"]["problems"]) {
        ids.push_back(p["problemid"].asInt());
      }
      EXPECT_EQ(ids, c.problems) << c.problemId;
    } else {
      EXPECT_EQ(end.errorCode, 1000) << c.problemId;
    }
  }
  EXPECT_EQ(bridge->Finish(), 0);
}

TEST_F(BridgeCli, BadOptionsExit2) {
  BridgeProcess bridge(root_, {"--nope"}, base_ + "/stderr.txt");
  EXPECT_EQ(bridge.Finish(), 2);
}

}  // namespace
}  // namespace zorel::testing
