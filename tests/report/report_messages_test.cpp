// Message layouts and the reading of four-byte server codes.

#include <gtest/gtest.h>

#include "zorel/report/http_exchange.h"
#include "zorel/report/report_messages.h"

namespace zorel {
namespace {

TEST(ReportMessages, FreshAnswerHoldsDefaults) {
  HttpResponseData answer;
  EXPECT_EQ(answer.errorcode, 0);
  EXPECT_FALSE(answer.iserror);
  EXPECT_EQ(answer.errormessage, "");
  EXPECT_TRUE(answer.response.isNull());
  EXPECT_EQ(answer.ToString(),
            "{\n   \"errorcode\" : 0,\n   \"errormessage\" : \"\",\n   \"iserror\" : false,\n"
            "   \"response\" : null\n}\n");
}

TEST(ReportMessages, AnswerReadsTheServersFields) {
  HttpResponseData answer;
  answer.FromString(
      "{\"errorcode\": 5, \"iserror\": true, \"errormessage\": \"no\", "
      "\"response\": {\"sessionID\": 12}}");
  EXPECT_EQ(answer.errorcode, 5);
  EXPECT_TRUE(answer.iserror);
  EXPECT_EQ(answer.errormessage, "no");
  int32_t id = 0;
  EXPECT_TRUE(SessionIdFromResponse(answer, id));
  EXPECT_EQ(id, 12);
}

TEST(ReportMessages, IntegralRealIsASessionId) {
  HttpResponseData answer;
  answer.FromString("{\"response\": {\"sessionID\": 7.0}}");
  int32_t id = 0;
  EXPECT_TRUE(SessionIdFromResponse(answer, id));
  EXPECT_EQ(id, 7);
}

TEST(ReportMessages, FourByteStatusReadsLikeAtoi) {
  struct Row {
    const char* bytes;
    int32_t status;
  } const rows[] = {
      {"1003", 1003},  // a server code
      {"1010", 1010},
      {"0200", 200},   // leading zeros
      {" 100", 100},   // leading blank
      {"12ab", 12},    // digits up to the first other byte
      {"-001", -1},    // a sign
      {"abcd", 0},     // not a number
      {"{}\r\n", 0},   // a tiny JSON text
  };
  for (const Row& r : rows) {
    EXPECT_EQ(FourByteStatus(reinterpret_cast<const uint8_t*>(r.bytes)), r.status) << r.bytes;
  }
  const uint8_t withNul[4] = {'1', 0, '3', '4'};
  EXPECT_EQ(FourByteStatus(withNul), 1);
}

}  // namespace
}  // namespace zorel
