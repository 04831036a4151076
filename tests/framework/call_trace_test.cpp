// The call trace: every method call through the object manager becomes one
// JSON line that any reader accepts, whatever texts the script passed.

#include "zorel/framework/call_trace.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/value.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "probe_plugin.h"
#include "zorel/framework/cobject_manager.h"

namespace zorel {
namespace {

Json::Value Parse(const std::string& line) {
  Json::CharReaderBuilder builder;
  builder["failIfExtra"] = true;
  builder["rejectDupKeys"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  EXPECT_TRUE(reader->parse(line.data(), line.data() + line.size(), &value, &errors))
      << errors << "\n" << line.substr(0, 200);
  return value;
}

class TraceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-trace-test-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    std::string reason;
    ASSERT_TRUE(trace_.Open(dir_ + "/trace.jsonl", &reason)) << reason;
    SetCallTrace(&trace_);
  }
  void TearDown() override {
    SetCallTrace(nullptr);
    std::filesystem::remove_all(dir_);
  }
  std::vector<Json::Value> Lines() {
    std::ifstream in(dir_ + "/trace.jsonl", std::ios::binary);
    std::vector<Json::Value> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(Parse(line));
    return lines;
  }

  std::string dir_;
  FileCallTrace trace_;
  CPluginFactory factory_{test::TestPluginTable()};
};

TEST_F(TraceFile, HostileArgumentTextsStillGiveValidLines) {
  CObjectManager manager(factory_);
  StackFrame none;
  const std::string probe = manager.CreateObject("Probe", none);
  struct Case {
    const char* what;
    std::wstring argument;
    std::string expected;  // the argument as the line holds it (UTF-8)
  };
  const std::wstring big(1 << 20, L'x');
  const Case cases[] = {
      {"NUL and controls", std::wstring(L"a\0b\x01\x1f\x7f", 6), std::string("a\0b\x01\x1f\x7f", 6)},
      {"quotes, backslash, line ends", L"\"q\"\\\r\n\t", "\"q\"\\\r\n\t"},
      {"lone high surrogate", std::wstring(1, static_cast<wchar_t>(0xD800)) + L"z", "\xEF\xBF\xBDz"},
      {"lone low surrogate", std::wstring(1, static_cast<wchar_t>(0xDC00)), "\xEF\xBF\xBD"},
      {"pair as two units", {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)},
       "\xF0\x9F\x98\x80"},
      {"beyond U+10FFFF", std::wstring(1, static_cast<wchar_t>(0x110000)), "\xEF\xBF\xBD"},
      {"line separators", L"\u2028\u2029", "\xE2\x80\xA8\xE2\x80\xA9"},
      {"1 MiB", big, std::string(big.begin(), big.end())},
  };
  for (const Case& c : cases) {
    StackFrame args;
    args.Push(c.argument);
    args.Push(L"second");
    const std::string answer = manager.InvokeMethod(probe, "echo", args);
    ASSERT_FALSE(answer.empty()) << c.what;
  }
  const std::vector<Json::Value> lines = Lines();
  ASSERT_EQ(lines.size(), std::size(cases));
  for (size_t i = 0; i < lines.size(); ++i) {
    const Json::Value& line = lines[i];
    SCOPED_TRACE(cases[i].what);
    EXPECT_EQ(line["seq"].asUInt64(), i + 1);
    EXPECT_EQ(line["component"].asString(), "Probe");
    EXPECT_EQ(line["instance"].asString(), probe);
    EXPECT_EQ(line["method"].asString(), "echo");
    ASSERT_EQ(line["arguments"].size(), 2u);
    EXPECT_EQ(line["arguments"][0].asString(), cases[i].expected);
    EXPECT_EQ(line["arguments"][1].asString(), "second");
    EXPECT_EQ(line["errorcode"].asInt(), 0);
    EXPECT_GE(line["ms"].asDouble(), 0.0);
    // The answer is the script's JSON text, itself readable.
    EXPECT_TRUE(Parse(line["answer"].asString()).isObject());
  }
}

TEST_F(TraceFile, FailedCallsAndPluginCodes) {
  CObjectManager manager(factory_);
  StackFrame none;
  const std::string probe = manager.CreateObject("Probe", none);
  struct Case {
    const char* method;
    std::vector<std::wstring> arguments;
    bool answered;
    int errorCode;
  };
  const Case cases[] = {
      {"needsArg", {}, true, 87},        // the plug-in's own code
      {"intArg", {L"20020"}, true, 20020},
      {"intArg", {L"not a number"}, false, 0},  // the call threw: no answer
      {"absent", {L"x"}, false, 0},             // unknown method
      {"nothing", {}, false, 0},                // the method gave nothing
  };
  for (const Case& c : cases) {
    StackFrame args;
    for (const std::wstring& a : c.arguments) args.Push(a);
    const std::string answer = manager.InvokeMethod(probe, c.method, args);
    EXPECT_EQ(answer.empty(), !c.answered) << c.method;
  }
  EXPECT_EQ(manager.InvokeMethod("9Nobody", "echo", none), "");
  const std::vector<Json::Value> lines = Lines();
  ASSERT_EQ(lines.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].method);
    EXPECT_EQ(lines[i]["method"].asString(), cases[i].method);
    EXPECT_EQ(lines[i]["arguments"].size(), cases[i].arguments.size());
    if (cases[i].answered) {
      EXPECT_EQ(lines[i]["errorcode"].asInt(), cases[i].errorCode);
      EXPECT_EQ(Parse(lines[i]["answer"].asString())["errorcode"].asInt(), cases[i].errorCode);
    } else {
      EXPECT_TRUE(lines[i]["errorcode"].isNull());
      EXPECT_EQ(lines[i]["answer"].asString(), "");
    }
  }
  EXPECT_EQ(lines.back()["component"].asString(), "Nobody");
}

}  // namespace
}  // namespace zorel
