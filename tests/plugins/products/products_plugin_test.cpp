// The Products object in-process, for what a script cannot arrange: the
// uninstall list changing between two collects, detection failing, and an
// uninstall key deleted while it is walked.

#include "zorel/plugins/products/products.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../os/plugin_fixture.h"
#include "zorel/detect/uninstall_entries.h"
#include "zorel/platform/registry/registry.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using testing::PluginBench;

const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

void AddProgram(IRegistry& registry, const std::wstring& sub, const std::wstring& name) {
  ASSERT_EQ(writeValueAt(registry, kHkeyLocalMachine, std::wstring(kUninstallKey) + L"\\" + sub,
                         L"DisplayName", REG_SZ, regSz(name), KEY_WOW64_64KEY),
            0);
}

std::vector<std::wstring> Query(PluginBench& bench, const std::wstring& sql) {
  DataTable table;
  EXPECT_TRUE(bench.store().ExecuteQuery(sql, table));
  std::vector<std::wstring> values;
  for (size_t i = 0; i < table.RowCount(); ++i) {
    std::wstring value;
    table.Row(i).GetString(table.Column(0).name, value);
    if (value.empty()) {
      int32_t number = 0;
      table.Row(i).GetInt(table.Column(0).name, number);
      value = std::to_wstring(number);
    }
    values.push_back(value);
  }
  return values;
}

TEST(ProductsInProcess, SecondCollectAddsTheNamesTheTableLacks) {
  ResetProductLists();
  PluginBench bench;
  AddProgram(bench.machine().registry(), L"A", L"Acme Editor");
  EXPECT_EQ(bench.Call("Products", "collect")["errorcode"].asInt(), 0);
  AddProgram(bench.machine().registry(), L"B", L"Beta App");
  EXPECT_EQ(bench.Call("Products", "collect")["errorcode"].asInt(), 0);
  EXPECT_EQ(Query(bench, L"select NAME from PRODUCT_COLLECTION_TABLE order by NAME"),
            (std::vector<std::wstring>{L"Acme Editor", L"Beta App"}));
  EXPECT_EQ(Query(bench, L"select COLLECTION_TYPE from COLLECTION_TABLE"),
            (std::vector<std::wstring>{L"8", L"8"}));
}

TEST(ProductsInProcess, FailedDetectionIsNoAnswer) {
  ResetProductLists();
  PluginBench bench;
  setCurrentMachine(nullptr);  // nothing can be read at all
  struct Case {
    const char* method;
    std::vector<std::wstring> args;
    int32_t code;
  };
  const Case cases[] = {
      {"isAnyOlvaneProductInstalled", {}, 20030},
      {"getOlvaneProducts", {}, 20030},
      {"isAnyOlvaneProductInstalled", {}, 20030},
      {"isOlvaneProductInstalled", {L"Olvane Harbor Suite"}, 20030},
      {"isOlvaneProductInstalled", {L""}, 4312},
      {"isNonOlvaneProductInstalled", {L"Acme Editor"}, 20016},
      {"getNonOlvaneProducts", {}, 20016},
      {"collect", {}, 20016},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    EXPECT_EQ(bench.Call("Products", c.method, c.args)["errorcode"].asInt(), c.code);
  }
  EXPECT_NE(bench.LogSinceCall().find("Failed to collect Olvane products, Error: 20030"),
            std::string::npos);
}

// The enumeration errors a walk reports.
class FailureLog : public UninstallScanObserver {
 public:
  void EnumerationFailed(WinError e) override { failures.push_back(e); }
  std::vector<WinError> failures;
};

TEST(ProductsInProcess, WalkOfADeletedKeyEnds) {
  PluginBench bench;
  IRegistry& registry = bench.machine().registry();
  for (const wchar_t* sub : {L"A", L"B", L"C"}) AddProgram(registry, sub, std::wstring(L"Program ") + sub);
  std::vector<UninstallEntry> entries;
  FailureLog observer;
  // The key goes when the walk reads its first entry's details.
  const auto deleteKey = [&](const std::wstring&) {
    RegKey parent = kRegNoKey;
    EXPECT_EQ(registry.openKey(kHkeyLocalMachine, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                               0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &parent),
              0);
    EXPECT_EQ(registry.deleteTree(parent, L"Uninstall"), 0);
    registry.closeKey(parent);
    return true;
  };
  EXPECT_EQ(ReadUninstallKey(registry, kUninstallKey, entries, deleteKey, &observer), 0);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].displayName, L"Program A");
  EXPECT_EQ(observer.failures, std::vector<WinError>{ERROR_KEY_DELETED});
}

}  // namespace
}  // namespace zorel
