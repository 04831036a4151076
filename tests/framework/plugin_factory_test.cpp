// CPluginFactory: the program's component table and registration rules.

#include "zorel/framework/plugin_factory.h"

#include <gtest/gtest.h>

#include "probe_plugin.h"
#include "zorel/framework/plugin_table.h"

namespace zorel {
namespace {

TEST(PluginFactory, TheProgramRegistersElevenComponentsInOrder) {
  std::vector<std::string> order;
  for (const auto& entry : DefaultPluginTable()) order.push_back(entry.name);
  EXPECT_EQ(order, (std::vector<std::string>{"Network", "OS", "Products", "System", "COM",
                                             "EventLogger", "File", "Process", "Registry",
                                             "Service", "ScriptEngine"}));
  std::set<std::string> names = CPluginFactory::Instance().GetComponentNames();
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.end()),
            (std::vector<std::string>{"COM", "EventLogger", "File", "Network", "OS", "Process",
                                      "Products", "Registry", "ScriptEngine", "Service",
                                      "System"}));
}

TEST(PluginFactory, EveryRegisteredComponentCanBeCreated) {
  for (const std::string& name : CPluginFactory::Instance().GetComponentNames()) {
    StackFrame none;
    EXPECT_NE(CPluginFactory::Instance().Create(name, none), nullptr) << name;
  }
}

TEST(PluginFactory, UnknownComponentGivesNull) {
  StackFrame none;
  EXPECT_EQ(CPluginFactory::Instance().Create("Foo", none), nullptr);
  EXPECT_TRUE(CPluginFactory::Instance().GetMethodNames("Foo").empty());
  EXPECT_EQ(CPluginFactory::Instance().Create("os", none), nullptr);  // names are exact
}

TEST(PluginFactory, MethodNamesComeFromATemporaryInstance) {
  int created = 0;
  std::vector<PluginRegistration> table = {
      {"Probe", [&created](StackFrame& a) { ++created; return test::CreateProbe(a); }},
  };
  CPluginFactory factory(table);
  EXPECT_EQ(created, 1);  // the probe instance made at registration
  EXPECT_EQ(factory.GetMethodNames("Probe"),
            (std::set<std::string>{"echo", "intArg", "needsArg", "nothing", "props"}));
}

TEST(PluginFactory, AGivenNameKeepsItsFirstRegistration) {
  std::vector<PluginRegistration> table = {
      {"X", [](StackFrame&) { return std::make_unique<test::NamedOnePlugin>("first"); }},
      {"X", [](StackFrame&) { return std::make_unique<test::NamedOnePlugin>("second"); }},
  };
  CPluginFactory factory(table);
  EXPECT_EQ(factory.GetMethodNames("X"), (std::set<std::string>{"first"}));
}

TEST(PluginFactory, AComponentThatThrowsAtRegistrationPublishesNoMethods) {
  std::vector<PluginRegistration> table = {
      {"Bad", [](StackFrame&) -> std::unique_ptr<CMethodDispatcher> { throw std::bad_alloc(); }},
      {"Null", [](StackFrame&) -> std::unique_ptr<CMethodDispatcher> { return nullptr; }},
  };
  CPluginFactory factory(table);
  EXPECT_EQ(factory.GetComponentNames(), (std::set<std::string>{"Bad", "Null"}));
  EXPECT_TRUE(factory.GetMethodNames("Bad").empty());
  EXPECT_TRUE(factory.GetMethodNames("Null").empty());
}

}  // namespace
}  // namespace zorel
