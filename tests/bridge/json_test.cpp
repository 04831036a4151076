// The JSON object mapping: writing, reading, round trips, member kinds.

#include "zorel/bridge/json.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include "test_types.h"

namespace zorel {
namespace {

using test::AllKinds;
using test::Inner;
using test::Leaf;

std::string styled(const Json::Value& v) {
  Json::StyledWriter writer;
  return writer.write(v);
}

// Reads `text` and returns what was printed on standard output meanwhile.
std::string readCapturing(JSON& object, const std::string& text) {
  testing::internal::CaptureStdout();
  object.FromString(text);
  return testing::internal::GetCapturedStdout();
}

class OnlyList : public JSON {
 public:
  OnlyList() { BindArray("items", items); }
  ObjectListOf<Leaf> items;
};

class Ordered : public JSON {
 public:
  Ordered() {
    BindBool("status", status);
    BindInt("errorcode", errorcode);
    BindString("progress", progress);
  }
  bool status = true;
  int32_t errorcode = 7;
  std::string progress = "p";
};

// --- writing ---------------------------------------------------------------

TEST(JsonWrite, KeysComeOutSortedInStyledLayout) {
  Ordered o;
  EXPECT_EQ(o.ToString(),
            "{\n"
            "   \"errorcode\" : 7,\n"
            "   \"progress\" : \"p\",\n"
            "   \"status\" : true\n"
            "}\n");
}

TEST(JsonWrite, ObjectWhoseOnlyMemberIsAnEmptyListIsNull) {
  OnlyList o;
  EXPECT_TRUE(o.ToValue().isNull());
  EXPECT_EQ(o.ToString(), "null\n");
}

TEST(JsonWrite, EmptyListIsAbsentNotEmptyArray) {
  AllKinds a;
  Json::Value v = a.ToValue();
  EXPECT_FALSE(v.isMember("array"));
  EXPECT_TRUE(v.isMember("int"));
}

TEST(JsonWrite, EveryKindMatchesStyledWriterOfHandBuiltValue) {
  AllKinds a;
  a.i = -42;
  a.f = 1.5f;
  a.s = "text \"quoted\"";
  a.b = false;
  a.value = Json::Value(Json::arrayValue);
  a.value.append(1);
  a.value.append("two");
  a.inner.count = 3;
  a.inner.ratio = 0.25f;
  Leaf& leaf = a.list.Add();
  leaf.id = 9;
  leaf.label = "nine";

  Json::Value expected;
  expected["int"] = -42;
  expected["float"] = 1.5;
  expected["string"] = "text \"quoted\"";
  expected["bool"] = false;
  expected["value"] = a.value;
  expected["object"]["count"] = 3;
  expected["object"]["ratio"] = 0.25;
  Json::Value e;
  e["id"] = 9;
  e["label"] = "nine";
  expected["array"].append(e);
  EXPECT_EQ(a.ToString(), styled(expected));
}

TEST(JsonWrite, RebindingAKeyReplacesTheEarlierBinding) {
  class Twice : public JSON {
   public:
    Twice() {
      BindInt("k", first);
      BindString("k", second);
    }
    int32_t first = 1;
    std::string second = "s";
  } t;
  MemberKind kind{};
  ASSERT_TRUE(t.KindOf("k", kind));
  EXPECT_EQ(kind, MemberKind::String);
  EXPECT_EQ(t.ToString(), "{\n   \"k\" : \"s\"\n}\n");
}

// --- round trips -----------------------------------------------------------

TEST(JsonRoundTrip, EveryMemberKindSurvivesTextAndBack) {
  AllKinds a;
  a.i = std::numeric_limits<int32_t>::min();
  a.f = 3.14159f;
  a.s = "UTF-8 \xc3\xa9\xe6\x9d\xb1 and \t tab";
  a.b = true;
  Json::Value v;
  v["deep"]["list"].append(Json::Value());
  v["deep"]["list"].append(2.5);
  a.value = v;
  a.inner.count = 77;
  a.inner.ratio = -0.125f;
  for (int n = 0; n < 3; ++n) {
    Leaf& leaf = a.list.Add();
    leaf.id = n;
    leaf.label = "leaf" + std::to_string(n);
    Leaf& child = leaf.children.Add();
    child.id = 100 + n;
    child.label = "child";
  }

  AllKinds b;
  b.FromString(a.ToString());
  EXPECT_EQ(b.i, a.i);
  EXPECT_EQ(b.f, a.f);
  EXPECT_EQ(b.s, a.s);
  EXPECT_EQ(b.b, a.b);
  EXPECT_EQ(b.value, a.value);
  EXPECT_EQ(b.inner.count, 77);
  EXPECT_EQ(b.inner.ratio, -0.125f);
  ASSERT_EQ(b.list.Size(), 3u);
  for (size_t n = 0; n < 3; ++n) {
    const Leaf* leaf = b.list.Get(n);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->id, static_cast<int32_t>(n));
    EXPECT_EQ(leaf->label, "leaf" + std::to_string(n));
    ASSERT_EQ(leaf->children.Size(), 1u);
    EXPECT_EQ(leaf->children.Get(0)->id, static_cast<int32_t>(100 + n));
    EXPECT_TRUE(leaf->children.Get(0)->children.Empty());
  }
  EXPECT_EQ(b.ToString(), a.ToString());
}

TEST(JsonRoundTrip, CopyBindsItsOwnMembers) {
  AllKinds a;
  a.i = 5;
  a.list.Add().id = 1;
  AllKinds copy(a);
  copy.i = 6;
  copy.list.Get(0)->id = 2;
  EXPECT_EQ(a.i, 5);
  EXPECT_EQ(a.list.Get(0)->id, 1);
  EXPECT_EQ(copy.ToValue()["int"].asInt(), 6);
  EXPECT_EQ(copy.ToValue()["array"][0]["id"].asInt(), 2);
}

// --- reading ---------------------------------------------------------------

TEST(JsonRead, MissingKeysGiveTheZeroOfEachKindNotTheFreshValue) {
  AllKinds a;
  a.list.Add();
  EXPECT_EQ(readCapturing(a, "{}"), "");
  EXPECT_EQ(a.i, 0);
  EXPECT_EQ(a.f, 0.0f);
  EXPECT_EQ(a.s, "");
  EXPECT_FALSE(a.b);
  EXPECT_EQ(a.value, Json::Value(0));
  EXPECT_EQ(a.inner.count, 0);  // nested object read from a missing key
  EXPECT_EQ(a.inner.ratio, 0.0f);
  EXPECT_EQ(a.list.Size(), 1u);  // a missing Array key leaves the list
}

TEST(JsonRead, WrongTypeKeepsTheMemberForEveryScalarKind) {
  struct Case {
    const char* text;
  } cases[] = {
      {R"({"int":"x","float":"x","string":[1],"bool":"x"})"},
      {R"({"int":{},"float":{},"string":{"a":1},"bool":{}})"},
      {R"({"int":[1],"float":[1],"string":[],"bool":[true]})"},
      // Out of the 32-bit range, and a real too large for an int.
      {R"({"int":4294967296,"float":"1","string":{},"bool":"true"})"},
      {R"({"int":1e20,"float":null,"string":[null],"bool":"1"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    AllKinds a;
    a.FromString(c.text);
    EXPECT_EQ(a.i, -1);
    EXPECT_EQ(a.s, "fresh");
    EXPECT_TRUE(a.b);
  }
  AllKinds a;
  a.FromString(R"({"float":"1.5"})");
  EXPECT_EQ(a.f, -1.0f);
}

TEST(JsonRead, LibraryConversionsApplyBetweenCompatibleTypes) {
  AllKinds a;
  a.FromString(R"({"int":3.9,"float":2,"string":12,"bool":5,"value":"v"})");
  EXPECT_EQ(a.i, 3);  // asInt truncates a real in range
  EXPECT_EQ(a.f, 2.0f);
  EXPECT_EQ(a.s, "12");
  EXPECT_TRUE(a.b);
  EXPECT_EQ(a.value, Json::Value("v"));
}

TEST(JsonRead, FloatOutOfRangeBecomesInfinity) {
  AllKinds a;
  a.FromString(R"({"float":1e300})");
  EXPECT_TRUE(std::isinf(a.f));
  a.FromString(R"({"float":-1e300})");
  EXPECT_TRUE(std::isinf(a.f) && a.f < 0);
}

TEST(JsonRead, ArrayMemberKeepsListForNonArrayAndEmptiesForNull) {
  AllKinds a;
  a.list.Add().id = 4;
  for (const char* text : {R"({"array":5})", R"({"array":"x"})",
                           R"({"array":{"id":1}})", R"({"array":true})"}) {
    SCOPED_TRACE(text);
    a.FromString(text);
    ASSERT_EQ(a.list.Size(), 1u);
    EXPECT_EQ(a.list.Get(0)->id, 4);
  }
  a.FromString(R"({"array":null})");
  EXPECT_TRUE(a.list.Empty());
}

TEST(JsonRead, ArrayReplacesTheListInOrder) {
  AllKinds a;
  a.list.Add().id = 99;
  a.FromString(R"({"array":[{"id":1,"label":"a"},{"id":2}]})");
  ASSERT_EQ(a.list.Size(), 2u);
  EXPECT_EQ(a.list.Get(0)->id, 1);
  EXPECT_EQ(a.list.Get(0)->label, "a");
  EXPECT_EQ(a.list.Get(1)->id, 2);
  EXPECT_EQ(a.list.Get(1)->label, "");
}

TEST(JsonRead, NonObjectsWhereAnObjectIsExpectedReadAsWithoutKeys) {
  // Array elements that are not objects, and a nested object under a scalar.
  AllKinds a;
  a.FromString(R"({"array":[7,"s",null,[1],true],"object":"x","int":2})");
  EXPECT_EQ(a.i, 2);
  ASSERT_EQ(a.list.Size(), 5u);
  for (size_t n = 0; n < 5; ++n) {
    EXPECT_EQ(a.list.Get(n)->id, 0);
    EXPECT_EQ(a.list.Get(n)->label, "");
  }
  EXPECT_EQ(a.inner.count, 0);

  // A top-level value that is not an object.
  for (const char* text : {"[1,2]", "42", "\"str\"", "true", "null"}) {
    SCOPED_TRACE(text);
    AllKinds b;
    b.list.Add();
    EXPECT_EQ(readCapturing(b, text), "");
    EXPECT_EQ(b.i, 0);
    EXPECT_EQ(b.s, "");
    EXPECT_EQ(b.list.Size(), 1u);
  }
}

TEST(JsonRead, ListWithoutFactoryIsLeftAlone) {
  class NoFactory : public JSON {
   public:
    NoFactory() { BindArray("a", list); }
    ObjectList list;
  } n;
  n.FromString(R"({"a":[{},{}]})");
  EXPECT_TRUE(n.list.Empty());
}

TEST(JsonRead, UnparsableTextIsAnnouncedAndReadFromWhatWasParsed) {
  AllKinds a;
  EXPECT_EQ(readCapturing(a, R"({"int": 5, "string": )"),
            "Parsing Unsuccessfull\n");
  EXPECT_EQ(a.i, 5);
  EXPECT_EQ(a.s, "");

  AllKinds b;
  EXPECT_EQ(readCapturing(b, "not json"), "Parsing Unsuccessfull\n");
  EXPECT_EQ(b.i, 0);
}

TEST(JsonRead, CommentsAndTrailingTextAreAccepted) {
  AllKinds a;
  EXPECT_EQ(readCapturing(a, "// note\n{\"int\" : 3 /* c */}"), "");
  EXPECT_EQ(a.i, 3);
  EXPECT_EQ(readCapturing(a, "{\"int\" : 4} trailing"), "");
  EXPECT_EQ(a.i, 4);
}

}  // namespace
}  // namespace zorel
