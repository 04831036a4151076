// Running scripts, calling stage functions, reading globals.

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace zorel::test {
namespace {

TEST_F(EngineTest, SyntaxErrorIsLoggedAndReported) {
  EXPECT_FALSE(engine_.ExecuteScript(L"var x = ;"));
  EXPECT_NE(Log().find("Failed to execute the script, ErrorString: SyntaxError"),
            std::string::npos)
      << Log();
}

TEST_F(EngineTest, TopLevelThrowIsLoggedWithItsText) {
  EXPECT_FALSE(engine_.ExecuteScript(L"var before = 1; throw new Error('stop here');"));
  EXPECT_NE(Log().find("Failed to execute the script, ErrorString: Error: stop here"),
            std::string::npos);
  // What ran before the throw stays in the heap.
  EXPECT_EQ(engine_.GetGlobalAsJson(L"before").asString(), "1");
  // A thrown value whose toString throws as well.
  EXPECT_FALSE(engine_.ExecuteScript(L"throw {toString: function() { throw 1; }};"));
}

TEST_F(EngineTest, ScriptStateSurvivesARunAndTheStackStaysBalanced) {
  for (int i = 0; i < 1000; ++i) {
    ASSERT_TRUE(engine_.ExecuteScript(L"var n = (typeof n === 'number' ? n : 0) + 1;"));
    engine_.GetGlobalAsJson(L"n");
    engine_.CallFunction(L"Problems.1", L"run");
  }
  EXPECT_EQ(engine_.GetGlobalAsJson(L"n").asString(), "1000");
}

TEST_F(EngineTest, CallFunctionRunsTheStageFunctionAtThePath) {
  ASSERT_TRUE(engine_.ExecuteScript(
      L"var ran = []; var Problems = { '7': { detect: function() { 'use strict'; ran.push(typeof this);"
      L" return {ok: true}; }, fail: function() { throw new Error('x'); },"
      L" notAFunction: 3 } };"));
  EXPECT_EQ(engine_.CallFunction(L"Problems.7", L"detect").asString(), "{\"ok\":true}");
  EXPECT_EQ(engine_.GetGlobalAsJson(L"ran").asString(), "[\"undefined\"]");
  // A throw comes back as the encoded error value, without a log line.
  size_t before = LogSize();
  EXPECT_EQ(engine_.CallFunction(L"Problems.7", L"fail").asString(), "{}");
  EXPECT_EQ(LogSince(before), "");
  EXPECT_TRUE(engine_.CallFunction(L"Problems.7", L"absent").isNull());
  EXPECT_TRUE(engine_.CallFunction(L"Problems.7", L"notAFunction").isString());
}

TEST_F(EngineTest, MissingPathLogsTheUndefinedTextAndCallsNothing) {
  ASSERT_TRUE(engine_.ExecuteScript(
      L"var called = 0; var Problems = { '1': { detect: function() { called++; } } };"));
  EXPECT_TRUE(engine_.CallFunction(L"Problems.7", L"detect").isNull());
  EXPECT_NE(Log().find("\tundefined\n"), std::string::npos) << Log();
  EXPECT_EQ(engine_.GetGlobalAsJson(L"called").asString(), "0");
  // Empty pieces are skipped, as strtok does.
  EXPECT_TRUE(engine_.CallFunction(L"..Problems..1.", L"detect").isString());
  EXPECT_EQ(engine_.GetGlobalAsJson(L"called").asString(), "1");
}

TEST_F(EngineTest, GetGlobalAsJsonGivesTheJsonText) {
  ASSERT_TRUE(engine_.ExecuteScript(
      L"var g = {a: 1}; var header = {jsrevision: '3', nested: {x: [1, 2]}}; var s = 'text';"));
  EXPECT_EQ(engine_.GetGlobalAsJson(L"g").asString(), "{\"a\":1}");
  EXPECT_EQ(engine_.GetGlobalAsJson(L"header.nested").asString(), "{\"x\":[1,2]}");
  EXPECT_EQ(engine_.GetGlobalAsJson(L"s").asString(), "\"text\"");
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"nothing").isNull());
}

}  // namespace
}  // namespace zorel::test
