// Scripts that try to break the binding: none of them may end the process,
// and each failure either reaches the script as an exception or is logged.

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace zorel::test {
namespace {

TEST_F(EngineTest, CyclicArgumentsThrowToTheScriptInsteadOfAborting) {
  EXPECT_EQ(Eval(L"var p = new Probe(); var c = {}; c.self = c; var out;"
                 L" try { p.echo(c); out = 'no'; } catch (e) { out = e.name; }"),
            "\"TypeError\"");
  EXPECT_EQ(Eval(L"try { reportProblem(c); out = 'no'; } catch (e) { out = e.name; }"),
            "\"TypeError\"");
  EXPECT_EQ(Eval(L"try { new File(c); out = 'no'; } catch (e) { out = e.name; }"),
            "\"TypeError\"");
  // Uncaught, it ends the script with a log line.
  EXPECT_FALSE(engine_.ExecuteScript(L"p.echo(c);"));
  EXPECT_TRUE(ProbeOf(L"p")->lastArgs.empty());
}

TEST_F(EngineTest, ThrowingToJsonAndGettersReachTheScript) {
  EXPECT_EQ(Eval(L"var p = new Probe(); var out = [];"
                 L" try { p.echo({toJSON: function() { throw new Error('tj'); }}); }"
                 L" catch (e) { out.push(e.message); }"
                 L" try { p.echo({get g() { throw new Error('getter'); }}); }"
                 L" catch (e) { out.push(e.message); }"
                 L" Object.defineProperty(p, 'boom', {enumerable: true,"
                 L"   get: function() { throw new Error('prop'); }});"
                 L" try { p.echo('x'); } catch (e) { out.push(e.message); }"
                 L" out = out.join();"),
            "\"tj,getter,prop\"");
}

TEST_F(EngineTest, ThrowingObjectNameGetterReachesTheScript) {
  EXPECT_EQ(Eval(L"var q = Object.create(Probe.prototype);"
                 L" Object.defineProperty(q, 'Object_Name', {get: function() { throw 'on'; }});"
                 L" var out; try { q.echo(); } catch (e) { out = e; }"),
            "\"on\"");
}

TEST_F(EngineTest, NestingPastTheEncoderLimitThrowsRangeError) {
  EXPECT_EQ(Eval(L"var d = {}; for (var i = 0; i < 5000; i++) d = {d: d};"
                 L" var out; try { new Probe().echo(d); } catch (e) { out = e.name; }"),
            "\"RangeError\"");
  // The same value as a global is logged and read as null, not fatal.
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"d").isNull());
  EXPECT_NE(Log().find("Failed to read d from the script: RangeError"), std::string::npos);
}

TEST_F(EngineTest, CyclicOrThrowingGlobalsAndResultsAreNotFatal) {
  ASSERT_TRUE(engine_.ExecuteScript(
      L"var c = {}; c.c = c; var Problems = { '1': { s: function() { return c; } } };"
      L" var n = null; Object.defineProperty(this, 'trap', {get: function() { throw 1; }});"));
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"c").isNull());
  EXPECT_TRUE(engine_.CallFunction(L"Problems.1", L"s").isNull());
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"n.deeper").isNull());  // property of null
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"trap").isNull());
  EXPECT_TRUE(engine_.ExecuteScript(L"var ok = 1;"));  // the heap is still usable
}

TEST_F(EngineTest, DeepRecursionIsARangeErrorInTheScript) {
  EXPECT_EQ(Eval(L"function r(n) { return r(n + 1) + 1; } var out;"
                 L" try { r(0); } catch (e) { out = e.name; }"),
            "\"RangeError\"");
  // Recursing through plug-in calls.
  EXPECT_EQ(Eval(L"var p = new Probe(); function q(n) { p.echo(n); return q(n + 1) + 1; }"
                 L" try { q(0); } catch (e) { out = e.name; }"),
            "\"RangeError\"");
  EXPECT_FALSE(engine_.ExecuteScript(L"function z() { z(); } z();"));
}

TEST_F(EngineTest, HugeStringsGoThroughWhole) {
  EXPECT_EQ(Eval(L"var big = new Array(4 * 1024 * 1024 + 1).join('x');"
                 L" var out = JSON.parse(new Probe().echo(big)).value.length;"),
            "4194304");
}

TEST_F(EngineTest, BytesThatAreNotTextDoNotBreakConversion) {
  // A buffer turned into a string holds bytes that are not UTF-8.
  EXPECT_EQ(Eval(L"var b = new Uint8Array([0xff, 0xc3, 0x28, 0xed, 0xa0, 0x80, 0x41]);"
                 L" var s = String.fromCharCode(0xd800) + 'A';"
                 L" var out = typeof new Probe().echo(s, b, Duktape.dec('hex', 'ff41'));"),
            "\"string\"");
}

TEST_F(EngineTest, NulInsideTheScriptDoesNotCutIt) {
  std::wstring script = L"var a = 1;";
  script.push_back(L'\0');
  script += L"var b = 2;";
  EXPECT_FALSE(engine_.ExecuteScript(script));  // NUL is not valid source
  EXPECT_TRUE(engine_.GetGlobalAsJson(L"b").isNull());
}

}  // namespace
}  // namespace zorel::test
