// StackFrame: the boolean rule, numeric conversions, named arguments.

#include "zorel/framework/stack_frame.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace zorel {
namespace {

StackFrame FrameOf(std::initializer_list<const wchar_t*> texts) {
  StackFrame frame;
  for (const wchar_t* t : texts) frame.Push(t);
  return frame;
}

TEST(StackFrame, BoolAtFollowsTheBooleanRule) {
  StackFrame f = FrameOf({L"False", L"0", L"", L"no", L"TRUE", L"yes", L"false", L"00"});
  EXPECT_FALSE(f.BoolAt(0));  // "False": compared lower-cased
  EXPECT_FALSE(f.BoolAt(1));
  EXPECT_TRUE(f.BoolAt(2));   // the empty text is true
  EXPECT_TRUE(f.BoolAt(3));   // "no" is not "false"
  EXPECT_TRUE(f.BoolAt(4));
  EXPECT_TRUE(f.BoolAt(5));
  EXPECT_FALSE(f.BoolAt(6));
  EXPECT_TRUE(f.BoolAt(7));   // only exactly "0" is false
}

TEST(StackFrame, IntAtTakesLeadingDigitsAndRaisesTheStoiErrors) {
  StackFrame f = FrameOf({L"12abc", L"abc", L"  -7", L"99999999999", L"2147483647", L""});
  EXPECT_EQ(f.IntAt(0), 12);
  try {
    f.IntAt(1);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "invalid stoi argument");
  }
  EXPECT_EQ(f.IntAt(2), -7);
  try {
    f.IntAt(3);
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "stoi argument out of range");
  }
  EXPECT_EQ(f.IntAt(4), 2147483647);
  EXPECT_THROW(f.IntAt(5), std::invalid_argument);
}

TEST(StackFrame, FloatAtRaisesTheStofErrors) {
  StackFrame f = FrameOf({L"1.5GB", L"x", L"1e300"});
  EXPECT_FLOAT_EQ(f.FloatAt(0), 1.5f);
  try {
    f.FloatAt(1);
    FAIL() << "no exception";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "invalid stof argument");
  }
  try {
    f.FloatAt(2);  // fits a double, not a float
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "stof argument out of range");
  }
}

TEST(StackFrame, PushBoolAndIntAreText) {
  StackFrame f;
  f.PushBool(true);
  f.PushBool(false);
  f.PushInt(-42);
  EXPECT_EQ(f.TextAt(0), L"1");
  EXPECT_EQ(f.TextAt(1), L"0");
  EXPECT_EQ(f.TextAt(2), L"-42");
}

TEST(StackFrame, PopTakesTheLastArgumentAndIndexesAreChecked) {
  StackFrame f = FrameOf({L"a", L"false"});
  EXPECT_FALSE(f.PopBool());
  EXPECT_EQ(f.PopText(), L"a");
  EXPECT_EQ(f.Count(), 0);
  EXPECT_THROW(f.PopText(), std::out_of_range);
  EXPECT_THROW(f.TextAt(0), std::out_of_range);
  EXPECT_THROW(f.TextAt(-1), std::out_of_range);
}

TEST(StackFrame, NamedArgumentsFromAJsonObject) {
  StackFrame f;
  f.AddNamedArguments(R"({"filename":"a","recursive":true,"size":3,"ratio":0.5,"none":null})");
  std::wstring text;
  f.GetNamedText("filename", text);
  EXPECT_EQ(text, L"a");
  f.GetNamedText("recursive", text);
  EXPECT_EQ(text, L"true");
  f.GetNamedText("size", text);
  EXPECT_EQ(text, L"3");
  f.GetNamedText("none", text);
  EXPECT_EQ(text, L"");
  float ratio = -1;
  f.GetNamedFloat("ratio", ratio);
  EXPECT_FLOAT_EQ(ratio, 0.5f);
  bool recursive = false;
  f.GetNamedBool("recursive", recursive);
  EXPECT_TRUE(recursive);
}

TEST(StackFrame, NamedArgumentsKeepTheFirstValueAndMissingKeysLeaveOutputs) {
  StackFrame f;
  f.AddNamedArguments(R"({"k":"first"})");
  f.AddNamedArguments(R"({"k":"second","other":"o"})");
  std::wstring text = L"preset";
  f.GetNamedText("k", text);
  EXPECT_EQ(text, L"first");
  text = L"preset";
  f.GetNamedText("absent", text);
  EXPECT_EQ(text, L"preset");
  bool flag = true;
  f.GetNamedBool("absent", flag);
  EXPECT_TRUE(flag);
  float number = 7;
  f.GetNamedFloat("absent", number);
  EXPECT_FLOAT_EQ(number, 7);
  EXPECT_TRUE(f.HasNamed("other"));
}

TEST(StackFrame, MalformedOrNonObjectJsonGivesNoNamedArguments) {
  for (const char* text : {"", "\"x\"", "[1,2]", "{\"a\":", "undefined", "42", "{{{{"}) {
    StackFrame f;
    f.AddNamedArguments(text);
    EXPECT_TRUE(f.named().empty()) << text;
  }
}

TEST(StackFrame, AnArrayMemberEndsTheReading) {
  // Members are read in key order: "a" is read, "b" (an array) stops it.
  StackFrame f;
  f.AddNamedArguments(R"({"c":"late","b":[1],"a":"early"})");
  EXPECT_TRUE(f.HasNamed("a"));
  EXPECT_FALSE(f.HasNamed("b"));
  EXPECT_FALSE(f.HasNamed("c"));
}

TEST(StackFrame, NonAsciiNamedValuesAreUtf8) {
  StackFrame f;
  f.AddNamedArguments("{\"name\":\"caf\xc3\xa9 \xf0\x9f\x98\x80\"}");
  std::wstring text;
  f.GetNamedText("name", text);
  EXPECT_EQ(text, L"caf\u00e9 \U0001F600");
}

}  // namespace
}  // namespace zorel
