// Hostile input for the JSON mapping: huge, deep, truncated, mistyped and
// non-UTF-8 texts never crash a read, and the nesting limit is enforced.

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "test_types.h"
#include "zorel/bridge/request_json.h"
#include "zorel/bridge/response_json.h"

namespace zorel {
namespace {

using test::AllKinds;

std::string readCapturing(JSON& object, const std::string& text) {
  testing::internal::CaptureStdout();
  object.FromString(text);
  return testing::internal::GetCapturedStdout();
}

std::string nestedArrays(size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

std::string nestedObjects(size_t depth) {
  std::string text;
  for (size_t i = 0; i < depth; ++i) text += "{\"a\":";
  text += "1";
  text += std::string(depth, '}');
  return text;
}

TEST(JsonRobustness, OneMebibyteOfOpenBracketsIsRefused) {
  AllKinds a;
  EXPECT_EQ(readCapturing(a, std::string(1 << 20, '[')),
            "Parsing Unsuccessfull\n");
  EXPECT_EQ(a.i, 0);
}

TEST(JsonRobustness, DeepNestingIsRefusedAtTheStackLimit) {
  // Balanced and otherwise valid: only the depth is wrong.
  for (const std::string& text :
       {nestedArrays(100000), nestedObjects(100000),
        "{\"value\":" + nestedArrays(100000) + "}"}) {
    AllKinds a;
    EXPECT_EQ(readCapturing(a, text), "Parsing Unsuccessfull\n");
  }
}

TEST(JsonRobustness, NestingBelowTheLimitIsKeptWhole) {
  // 900 levels inside "value" parse and are written back unchanged.
  AllKinds a;
  EXPECT_EQ(readCapturing(a, "{\"value\":" + nestedArrays(900) + "}"), "");
  const Json::Value* v = &a.value;
  size_t depth = 0;
  while (v->isArray() && v->size() == 1) {
    v = &(*v)[0];
    ++depth;
  }
  EXPECT_EQ(depth, 899u);  // the innermost array is empty
  AllKinds b;
  EXPECT_EQ(readCapturing(b, a.ToString()), "");
  EXPECT_EQ(b.value, a.value);
}

TEST(JsonRobustness, NestingJustAboveTheLimitIsRefused) {
  AllKinds a;
  EXPECT_EQ(readCapturing(a, nestedArrays(999)), "");
  EXPECT_EQ(readCapturing(a, nestedArrays(1001)), "Parsing Unsuccessfull\n");
}

TEST(JsonRobustness, NonUtf8BytesAreKeptAndWrittenWithoutFailing) {
  AllKinds a;
  const std::string raw = "\xff\xfe\x80 \xc3 \xed\xa0\x80";
  EXPECT_EQ(readCapturing(a, "{\"string\":\"" + raw + "\"}"), "");
  EXPECT_EQ(a.s, raw);
  std::string text = a.ToString();
  EXPECT_FALSE(text.empty());
  // Bytes outside strings are a syntax error, not a crash.
  AllKinds b;
  EXPECT_EQ(readCapturing(b, "{\xff\"int\":1}"), "Parsing Unsuccessfull\n");
}

TEST(JsonRobustness, EveryPrefixOfARequestReadsWithoutFailing) {
  const std::string full =
      R"({"operationid":0,"operationinfo":[{"stageid":100,"problemid":[1,2]},)"
      R"({"stageid":101,"problemid":[3]}],"productname":"p","producttype":"t"})";
  for (size_t n = 0; n <= full.size(); ++n) {
    SCOPED_TRACE(n);
    RequestJsonStructure request;
    std::string out = readCapturing(request, full.substr(0, n));
    EXPECT_EQ(out.empty(), n == full.size());
    std::vector<int32_t> ids;
    for (size_t k = 0; k < request.operationInfo.Size(); ++k) {
      request.operationInfo.Get(k)->ProblemIds(ids);
    }
  }
}

TEST(JsonRobustness, EveryJsonTypeUnderEveryRequestKey) {
  const char* values[] = {"null",  "true",  "false", "0",   "-1",
                          "1.5",   "1e300", "-9e18", "18446744073709551615",
                          "\"s\"", "[]",    "[1]",   "[[{}]]", "{}",
                          "{\"stageid\":\"x\",\"problemid\":{\"a\":[]}}"};
  const char* keys[] = {"operationid", "operationinfo", "productname",
                        "producttype"};
  for (const char* key : keys) {
    for (const char* value : values) {
      const std::string text =
          std::string("{\"") + key + "\":" + value + "}";
      SCOPED_TRACE(text);
      RequestJsonStructure request;
      EXPECT_EQ(readCapturing(request, text), "");
      // Inside "operationinfo" too, as a whole entry and under its keys.
      RequestJsonStructure nested;
      readCapturing(nested, std::string("{\"operationinfo\":[") + value +
                                ",{\"stageid\":" + value +
                                ",\"problemid\":" + value + "}]}");
      std::vector<int32_t> ids;
      for (size_t k = 0; k < nested.operationInfo.Size(); ++k) {
        nested.operationInfo.Get(k)->ProblemIds(ids);
      }
    }
  }
}

TEST(JsonRobustness, ProblemIdsSkipsNonArraysAndStopsAtUnreadableElements) {
  OperationInfoStructure info;
  std::vector<int32_t> ids;
  info.FromString(R"({"stageid":101,"problemid":[3,1.7,true,null,-4]})");
  EXPECT_TRUE(info.ProblemIds(ids));
  EXPECT_EQ(ids, (std::vector<int32_t>{3, 1, 1, 0, -4}));
  info.FromString(R"({"problemid":{"a":1}})");
  EXPECT_TRUE(info.ProblemIds(ids));
  EXPECT_TRUE(ids.empty());
  info.FromString(R"({"problemid":[5,"6",7]})");
  EXPECT_FALSE(info.ProblemIds(ids));
  EXPECT_EQ(ids, (std::vector<int32_t>{5}));
  info.FromString(R"({"problemid":[5,4294967296]})");
  EXPECT_FALSE(info.ProblemIds(ids));
}

TEST(JsonRobustness, RandomBytesAndMutatedRequestsNeverFail) {
  std::mt19937 rng(20240611);
  const std::string seed =
      R"({"operationid":1,"operationinfo":[{"stageid":100,"problemid":[1]}]})";
  const std::string alphabet = "{}[]\":,0123456789.eE+-tfnul \\/*\x80\xff";
  testing::internal::CaptureStdout();
  for (int round = 0; round < 3000; ++round) {
    std::string text = seed;
    if (round % 2 == 0) {
      std::uniform_int_distribution<size_t> len(0, 200);
      text.assign(len(rng), ' ');
      for (char& c : text) c = alphabet[rng() % alphabet.size()];
    } else {
      for (int m = 0; m < 4; ++m) {
        text[rng() % text.size()] = alphabet[rng() % alphabet.size()];
      }
    }
    RequestJsonStructure request;
    request.FromString(text);
    (void)request.ToString();
  }
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Parsing Unsuccessfull"), std::string::npos);
}

}  // namespace
}  // namespace zorel
