// Variables inside JSON string values: expanded and written back escaped.

#include "path_expansion.h"

#include <gtest/gtest.h>

#include <json/reader.h>

#include "zorel/common/utf8.h"

namespace zorel {
namespace {

// %WINDIR% -> C:\Windows, %Q% -> a"b, %NL% -> a line feed.
bool FakeExpand(std::wstring& text) {
  for (const auto& [name, value] : {std::pair<std::wstring, std::wstring>{L"%WINDIR%", L"C:\\Windows"},
                                    {L"%Q%", L"a\"b"},
                                    {L"%NL%", L"\n"}}) {
    for (size_t pos; (pos = text.find(name)) != std::wstring::npos;) text.replace(pos, name.size(), value);
  }
  return true;
}

std::wstring Expanded(std::wstring json) {
  ExpandJsonStringValues(json, FakeExpand);
  return json;
}

std::string ParsedMember(const std::wstring& json, const char* key) {
  Json::Value root;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::string text = toUtf8(json);
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &root, &errors)) << text;
  return root[key].asString();
}

TEST(JsonExpansion, BackslashesInValuesAreEscaped) {
  std::wstring out = Expanded(LR"({"name":"%WINDIR%\\x"})");
  EXPECT_EQ(out, LR"({"name":"C:\\Windows\\x"})");
  EXPECT_EQ(ParsedMember(out, "name"), "C:\\Windows\\x");
}

TEST(JsonExpansion, QuotesAndControlCharactersStayValidJson) {
  std::wstring out = Expanded(LR"({"a":"%Q%","b":"x%NL%y"})");
  EXPECT_EQ(ParsedMember(out, "a"), "a\"b");
  EXPECT_EQ(ParsedMember(out, "b"), "x\ny");
}

TEST(JsonExpansion, KeysNumbersAndTextWithoutPercentAreUntouched) {
  EXPECT_EQ(Expanded(LR"({"%WINDIR%":"%WINDIR%","n":100,"s":"\u00e9\\"})"),
            LR"({"%WINDIR%":"C:\\Windows","n":100,"s":"\u00e9\\"})");
  EXPECT_EQ(Expanded(L"[\"%WINDIR%\", \"plain\"]"), L"[\"C:\\\\Windows\", \"plain\"]");
}

TEST(JsonExpansion, EscapesInsideAnExpandedValueAreDecodedFirst) {
  // \u0025 is "%": the decoded value is %WINDIR%, so it expands.
  std::wstring out = Expanded(LR"({"v":"\u0025WINDIR%\t\ud83d\ude00"})");
  Json::Value root;
  EXPECT_EQ(fromUtf8(ParsedMember(out, "v")), L"C:\\Windows\t\U0001F600");
}

TEST(JsonExpansion, BrokenTextIsKeptAsItIs) {
  EXPECT_EQ(Expanded(L"{\"a\":\"%WINDIR%"), L"{\"a\":\"%WINDIR%");  // unterminated
  EXPECT_EQ(Expanded(L"100%"), L"100%");
}

}  // namespace
}  // namespace zorel
