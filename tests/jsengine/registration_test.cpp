// What the script sees after registration, and construction through it.

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace zorel::test {
namespace {

TEST_F(EngineTest, ConstructorsPrototypesAndFunctionNamesArePublished) {
  EXPECT_EQ(Eval(L"var out = [typeof OS, OS.prototype.Component_Name,"
                 L" OS.prototype.getOSName.Function_Name, typeof reportProblem,"
                 L" reportProblem.Function_Name, reportStatus.Function_Name,"
                 L" typeof Probe.prototype.echo, typeof Foo].join(',');"),
            "\"function,OS,getOSName,function,reportProblem,reportStatus,function,undefined\"");
}

TEST_F(EngineTest, PlainCallOfAConstructorCreatesNothing) {
  EXPECT_EQ(Eval(L"var out = String(OS());"), "\"undefined\"");
  EXPECT_EQ(objects_.InstanceCount(), 0u);
}

TEST_F(EngineTest, NewGivesAnObjectNamedByTheObjectManager) {
  EXPECT_EQ(Eval(L"var a = new OS(); var b = new OS();"
                 L"var out = [a.Object_Name != b.Object_Name, /^-?\\d+OS$/.test(a.Object_Name),"
                 L" a.getOSName() !== ''].join(',');"),
            "\"true,true,true\"");
  EXPECT_EQ(objects_.InstanceCount(), 2u);
}

TEST_F(EngineTest, ConstructorArgumentsAreNamedOnlyFromAnObject) {
  Eval(L"var s = new File('x'); var o = new File({filename: 'x', recursive: true, n: 2});");
  ProbePlugin* fromString = ProbeOf(L"s");
  ASSERT_NE(fromString, nullptr);
  EXPECT_TRUE(fromString->named.empty());
  ProbePlugin* fromObject = ProbeOf(L"o");
  ASSERT_NE(fromObject, nullptr);
  EXPECT_EQ(fromObject->named, (std::map<std::string, std::wstring>{
                                   {"filename", L"x"}, {"n", L"2"}, {"recursive", L"true"}}));
  EXPECT_EQ(fromObject->filename, L"x");
  EXPECT_TRUE(fromObject->recursive);
}

TEST_F(EngineTest, UnknownComponentNameGivesAnEmptyObjectName) {
  // A prototype whose Component_Name the script changed.
  EXPECT_EQ(Eval(L"OS.prototype.Component_Name = 'Foo'; var x = new OS();"
                 L" var out = JSON.stringify([x.Object_Name, x.getOSName()]);"),
            "\"[\\\"\\\",\\\"\\\"]\"");
}

TEST(EngineWithoutObjects, OnlyTheScriptFunctionsExist) {
  size_t from = LogSize();
  RecordingFunctions functions;
  JSEngine engine(nullptr, &functions);
  EXPECT_NE(LogSince(from).find("Object Mangager can't be null"), std::string::npos);
  EXPECT_TRUE(engine.ExecuteScript(
      L"var out = typeof reportProblem + typeof OS; reportProblem({id: 1});"));
  EXPECT_EQ(engine.GetGlobalAsJson(L"out").asString(), "\"functionundefined\"");
  ASSERT_EQ(functions.calls.size(), 1u);
  EXPECT_EQ(functions.calls[0].second, L"{\"id\":1}");
}

}  // namespace
}  // namespace zorel::test
