// CMethodDispatcher and Variable: method table, property conversions.

#include "zorel/framework/method_dispatcher.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "zorel/plugins/common/cjson_return.h"

namespace zorel {
namespace {

class Bound : public CMethodDispatcher {
 public:
  Bound() {
    BindProperty("text", text);
    BindProperty("flag", flag);
    BindProperty("number", number);
  }
  std::wstring text;
  bool flag = false;
  int32_t number = 5;
};

TEST(Variable, TypeNamesAreTheDemangledStandardNames) {
  EXPECT_EQ(Variable<int32_t>::TypeName(), "int");
  EXPECT_EQ(Variable<bool>::TypeName(), "bool");
  EXPECT_NE(Variable<std::wstring>::TypeName().find("std::basic_string"), std::string::npos);
  // The string's name must not be caught by the "int" rule first: it is
  // checked first, but make sure the conversion really stores text.
  Bound b;
  b.AssignProperty("text", L"12");
  EXPECT_EQ(b.text, L"12");
}

TEST(MethodDispatcher, BoolPropertyIsCaseSensitive) {
  Bound b;
  b.AssignProperty("flag", L"TRUE");
  EXPECT_FALSE(b.flag);
  b.AssignProperty("flag", L"1");
  EXPECT_TRUE(b.flag);
  b.AssignProperty("flag", L"yes");
  EXPECT_FALSE(b.flag);
  b.AssignProperty("flag", L"true");
  EXPECT_TRUE(b.flag);
}

TEST(MethodDispatcher, IntPropertyConversionFailureLeavesTheMember) {
  Bound b;
  b.AssignProperty("number", L"42x");
  EXPECT_EQ(b.number, 42);
  EXPECT_THROW(b.AssignProperty("number", L"abc"), std::invalid_argument);
  EXPECT_EQ(b.number, 42);
  EXPECT_THROW(b.AssignProperty("number", L"4294967296"), std::out_of_range);
  EXPECT_EQ(b.number, 42);
}

TEST(MethodDispatcher, UnknownPropertyAndUnknownTypeAreIgnored) {
  Bound b;
  b.AssignProperty("Object_Name", L"1Probe");
  double d = 1.0;
  b.RegisterVariable("odd", new Variable<double>(&d), "double");
  b.AssignProperty("odd", L"2.5");  // no rule for "double"
  EXPECT_EQ(d, 1.0);
}

TEST(MethodDispatcher, RegisteringAgainReplaces) {
  CMethodDispatcher d;
  d.RegisterMethod("m", [](CMethodDispatcher&, StackFrame&) -> std::unique_ptr<CJSONReturn> {
    auto r = std::make_unique<CJSONReturn>();
    r->errorcode = 1;
    return r;
  });
  d.RegisterMethod("m", [](CMethodDispatcher&, StackFrame&) -> std::unique_ptr<CJSONReturn> {
    auto r = std::make_unique<CJSONReturn>();
    r->errorcode = 2;
    return r;
  });
  StackFrame none;
  auto result = d.Call("m", none);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->errorcode, 2);
  EXPECT_EQ(d.GetMethodNames(), (std::set<std::string>{"m"}));
  EXPECT_EQ(d.Call("absent", none), nullptr);

  std::wstring first, second;
  d.RegisterVariable("p", new Variable<std::wstring>(&first), Variable<std::wstring>::TypeName());
  d.RegisterVariable("p", new Variable<std::wstring>(&second), Variable<std::wstring>::TypeName());
  d.AssignProperty("p", L"v");
  EXPECT_EQ(first, L"");
  EXPECT_EQ(second, L"v");
}

}  // namespace
}  // namespace zorel
