// Method calls from the script: argument text, properties, answers.

#include <gtest/gtest.h>

#include <json/reader.h>

#include "engine_fixture.h"
#include "zorel/common/utf8.h"

namespace zorel::test {
namespace {

TEST_F(EngineTest, ArgumentsReachThePluginAsText) {
  Eval(L"var p = new Probe(); p.echo({a: 1}, 5, true, 's', null, undefined, [1, 'x'], 1.5);");
  ProbePlugin* probe = ProbeOf(L"p");
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe->lastArgs,
            (std::vector<std::wstring>{L"{\"a\":1}", L"5", L"true", L"s", L"null", L"undefined",
                                       L"[1,\"x\"]", L"1.5"}));
}

TEST_F(EngineTest, TheScriptGetsTheJsonTextAndParsesIt) {
  EXPECT_EQ(Eval(L"var r = JSON.parse(new Probe().echo('a', 'b'));"
                 L" var out = [r.value, r.status, r.errorcode].join(',');"),
            "\"a|b,true,0\"");
}

TEST_F(EngineTest, AssignedPropertiesReachThePluginBeforeTheCall) {
  EXPECT_EQ(Eval(L"var f = new File(); f.filename = 'y'; f.recursive = 1; f.count = 12;"
                 L" var out = JSON.parse(f.props()).value;"),
            "\"y|1|12\"");
  // Assignment with the property rules: "TRUE" is not true for a bool.
  EXPECT_EQ(Eval(L"f.recursive = 'TRUE'; var out = JSON.parse(f.props()).value;"), "\"y|0|12\"");
  EXPECT_EQ(Eval(L"f.recursive = true; var out = JSON.parse(f.props()).value;"), "\"y|1|12\"");
  // An object-valued property arrives as its text form.
  EXPECT_EQ(Eval(L"f.filename = {}; var out = JSON.parse(f.props()).value;"),
            "\"[object Object]|1|12\"");
}

TEST_F(EngineTest, FailedOrUnknownCallsGiveEmptyText) {
  EXPECT_EQ(Eval(L"var p = new Probe(); var out = JSON.stringify([p.intArg('abc'), p.nothing(),"
                 L" JSON.parse(p.intArg('12abc')).errorcode]);"),
            "\"[\\\"\\\",\\\"\\\",12]\"");
  EXPECT_NE(Log().find("Exception occured during  invoking intArg with error code --: "),
            std::string::npos);
}

TEST_F(EngineTest, MethodsOutsideAnInstanceGiveUndefined) {
  EXPECT_EQ(Eval(L"var f = new Probe().echo; var out = JSON.stringify([typeof f('x'),"
                 L" typeof Probe.prototype.echo('x'), typeof f.call(5, 'x'),"
                 L" typeof f.call({Object_Name: 'nobody'}, 'x')]);"),
            "\"[\\\"undefined\\\",\\\"undefined\\\",\\\"undefined\\\",\\\"string\\\"]\"");
}

TEST_F(EngineTest, TextBeyondAsciiCrossesTheBoundaryWhole) {
  // U+00E9 and U+1F600 (a surrogate pair in the script) both ways.
  EXPECT_EQ(Eval(L"var p = new Probe(); var r = JSON.parse(p.echo('caf\u00e9 \U0001F600'));"
                 L" var out = [r.value.length, r.value.charCodeAt(5), r.value.charCodeAt(6)].join();"),
            "\"7,55357,56832\"");
  EXPECT_EQ(ProbeOf(L"p")->lastArgs, (std::vector<std::wstring>{L"caf\u00e9 \U0001F600"}));
  EXPECT_EQ(Eval(L"var out = JSON.parse(p.echo('\\ud83d\\ude00', {k: '\\ud83d\\ude00'})).value;"),
            "\"\xf0\x9f\x98\x80|{\\\"k\\\":\\\"\xf0\x9f\x98\x80\\\"}\"");
}

TEST_F(EngineTest, ReportFunctionsGetTheFirstArgumentAsText) {
  EXPECT_EQ(Eval(L"var r1 = reportProblem({id: 7, stages: [100, 101]}, 'ignored');"
                 L" var r2 = reportStatus('{\"id\":7}'); var r3 = reportProblem();"
                 L" var out = [typeof r1, typeof r2, typeof r3].join();"),
            "\"function,function,undefined\"");
  ASSERT_EQ(functions_.calls.size(), 2u);
  EXPECT_EQ(functions_.calls[0],
            (std::pair<std::wstring, std::wstring>{L"reportProblem", L"{\"id\":7,\"stages\":[100,101]}"}));
  EXPECT_EQ(functions_.calls[1],
            (std::pair<std::wstring, std::wstring>{L"reportStatus", L"{\"id\":7}"}));
}

}  // namespace
}  // namespace zorel::test

namespace zorel::test {
namespace {

TEST_F(EngineTest, PathVariablesInObjectArgumentsKeepTheJsonValid) {
  Eval(L"reportProblem({name: '%WINDIR%\\\\x', id: 3}); var p = new Probe();"
       L" p.echo('%WINDIR%\\\\y', {path: '%CSIDL_WINDOWS%'});");
  ASSERT_EQ(functions_.calls.size(), 1u);
  Json::Value parsed;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string text = toUtf8(functions_.calls[0].second);
  std::string errors;
  ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &parsed, &errors)) << text;
  EXPECT_EQ(parsed["name"].asString(), "C:\\Windows\\x");
  // Plain text expands as it is; the object's value is escaped inside JSON.
  EXPECT_EQ(ProbeOf(L"p")->lastArgs,
            (std::vector<std::wstring>{L"C:\\Windows\\y", L"{\"path\":\"C:\\\\Windows\"}"}));
}

TEST_F(EngineTest, PropertiesAndNamedArgumentsExpandFolderNames) {
  Eval(L"var f = new File({filename: '%CSIDL_WINDOWS%\\\\a'}); var g = new File();"
       L" g.filename = '%CSIDL_WINDOWS%\\\\x'; g.props();");
  EXPECT_EQ(ProbeOf(L"f")->filename, L"C:\\Windows\\a");
  EXPECT_EQ(ProbeOf(L"g")->filename, L"C:\\Windows\\x");
}

}  // namespace
}  // namespace zorel::test
