// The environment facts gathered through a factory: a fact whose getter
// fails is left out and the others keep their order.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zorel/framework/environment_fill.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/plugins/common/plugin_surface.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/os/os.h"

namespace zorel::test {
namespace {

// A System whose processor name cannot be read and which answers memory
// only; every other getter is missing.
class PartialSystem : public CMethodDispatcher {
 public:
  explicit PartialSystem(StackFrame&) {
    RegisterMethod("getCPUName", &PartialSystem::CpuName);
    RegisterMethod("getTotalRAM", &PartialSystem::TotalRam);
    RegisterMethod("getFreeRAM", &PartialSystem::Throws);
  }
  std::unique_ptr<CJSONCPUInfo> CpuName(StackFrame&) {
    auto answer = std::make_unique<CJSONCPUInfo>();
    answer->cpuname = "must not be stored";
    answer->errorcode = 2;
    return answer;
  }
  std::unique_ptr<CJSONMemoryInfo> TotalRam(StackFrame&) {
    auto answer = std::make_unique<CJSONMemoryInfo>();
    answer->memorysize = "1.00 GB(s)";
    return answer;
  }
  std::unique_ptr<CJSONMemoryInfo> Throws(StackFrame& args) {
    args.TextAt(3);  // out of range
    return nullptr;
  }
};

std::vector<std::wstring> Keys(EnvironmentCollection& collection) {
  std::vector<std::wstring> keys;
  for (size_t i = 0; i < collection.Table().RowCount(); ++i) {
    std::wstring key;
    collection.Table().Row(i).GetString(L"KEY", key);
    keys.push_back(key);
  }
  return keys;
}

TEST(EnvironmentFill, FailingGetterLeavesOutItsFactOnly) {
  const CPluginFactory factory({{"OS", CreateOSPlugin},
                                {"System", [](StackFrame& args) -> std::unique_ptr<CMethodDispatcher> {
                                   return std::make_unique<PartialSystem>(args);
                                 }}});
  EnvironmentCollection collection;
  FillEnvironmentCollection(collection, factory);
  EXPECT_EQ(Keys(collection),
            (std::vector<std::wstring>{
                L"Operating System Name", L"Operating System Major Version",
                L"Operating System Minor Version", L"Operating System Architecture",
                L"Operating System Language", L"Default Web Browser", L"Installed Web Browsers",
                L"Total Memory"}));
  std::wstring value;
  collection.Table().Row(7).GetString(L"VALUE", value);
  EXPECT_EQ(value, L"1.00 GB(s)");
}

TEST(EnvironmentFill, UnknownComponentsGiveNoRows) {
  const CPluginFactory factory({});
  EnvironmentCollection collection;
  FillEnvironmentCollection(collection, factory);
  EXPECT_EQ(collection.Table().RowCount(), 0u);
}

// The plug-ins' declared surfaces are what the script gets, and every
// environment fact names a getter one of them declares.
TEST(PluginSurfaces, ArePublishedWholeAndNameEveryFactGetter) {
  CPluginFactory& factory = CPluginFactory::Instance();
  std::map<std::string, const PluginSurface*> surfaces;
  for (const char* component : {"OS", "System", "File"}) {
    SCOPED_TRACE(component);
    StackFrame none;
    std::unique_ptr<CMethodDispatcher> object = factory.Create(component, none);
    ASSERT_TRUE(object && object->Surface());
    const PluginSurface& surface = *object->Surface();
    EXPECT_STREQ(surface.name, component);
    std::set<std::string> declared;
    for (const PluginMethod& row : surface.methods) {
      EXPECT_TRUE(declared.insert(row.name).second) << "declared twice: " << row.name;
      EXPECT_NE(row.handler, nullptr) << row.name;
    }
    EXPECT_EQ(factory.GetMethodNames(component), declared);
    surfaces[component] = object->Surface();
  }
  size_t count = 0;
  const EnvironmentFact* facts = EnvironmentFacts(count);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(facts[i].method);
    ASSERT_TRUE(surfaces.count(facts[i].component));
    EXPECT_NE(surfaces[facts[i].component]->Find(facts[i].method), nullptr);
  }
}

TEST(EnvironmentFill, FactTableHasNineteenFactsStartingWithTheOs) {
  size_t count = 0;
  const EnvironmentFact* facts = EnvironmentFacts(count);
  ASSERT_EQ(count, 19u);
  EXPECT_STREQ(facts[0].key, L"Operating System Name");
  EXPECT_STREQ(facts[18].key, L"Time");
}

}  // namespace
}  // namespace zorel::test
