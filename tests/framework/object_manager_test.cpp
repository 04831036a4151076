// CObjectManager: instance names, call routing, failures, the result store
// of instances made before and after it was handed over.

#include "zorel/framework/cobject_manager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "probe_plugin.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

std::string LogText() {
  std::ifstream in(FrameworkLog::Instance().path());
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ObjectManagerTest : public ::testing::Test {
 protected:
  ObjectManagerTest() : factory_(test::TestPluginTable()), manager_(factory_) {}
  CPluginFactory factory_;
  CObjectManager manager_;
};

TEST_F(ObjectManagerTest, NamesAreNumberThenComponentAndUnique) {
  StackFrame none;
  std::string a = manager_.CreateObject("Probe", none);
  std::string b = manager_.CreateObject("Probe", none);
  std::string c = manager_.CreateObject("OS", none);
  EXPECT_NE(a, b);
  for (const auto& [name, component] :
       {std::pair{a, std::string("Probe")}, {b, "Probe"}, {c, "OS"}}) {
    ASSERT_GT(name.size(), component.size());
    EXPECT_EQ(name.substr(name.size() - component.size()), component);
    std::string number = name.substr(0, name.size() - component.size());
    EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << name;
  }
  EXPECT_EQ(manager_.InstanceCount(), 3u);
}

TEST_F(ObjectManagerTest, UnknownComponentInstanceOrMethodGiveEmptyText) {
  StackFrame none;
  EXPECT_EQ(manager_.CreateObject("Foo", none), "");
  EXPECT_EQ(manager_.InstanceCount(), 0u);
  std::string probe = manager_.CreateObject("Probe", none);
  EXPECT_EQ(manager_.InvokeMethod("1Nobody", "echo", none), "");
  EXPECT_EQ(manager_.InvokeMethod(probe, "absent", none), "");
  EXPECT_EQ(manager_.InvokeMethod(probe, "nothing", none), "");  // method gave null
  manager_.SetProperty("1Nobody", "filename", L"x");              // nothing happens
}

TEST_F(ObjectManagerTest, MethodAnswerIsTheStyledJsonText) {
  StackFrame none;
  std::string probe = manager_.CreateObject("Probe", none);
  StackFrame args;
  args.Push(L"a");
  args.Push(L"b");
  EXPECT_EQ(manager_.InvokeMethod(probe, "echo", args),
            "{\n   \"errorcode\" : 0,\n   \"return\" : false,\n   \"status\" : true,\n"
            "   \"value\" : \"a|b\"\n}\n");
}

TEST_F(ObjectManagerTest, AnEscapingExceptionIsLoggedAndGivesEmptyText) {
  StackFrame none;
  std::string probe = manager_.CreateObject("Probe", none);
  StackFrame args;
  args.Push(L"abc");
  EXPECT_EQ(manager_.InvokeMethod(probe, "intArg", args), "");
  EXPECT_NE(LogText().find("Exception occured during  invoking intArg with error code --: "),
            std::string::npos);
  StackFrame missing;  // IntAt(0) with no argument at all
  EXPECT_EQ(manager_.InvokeMethod(probe, "intArg", missing), "");
}

TEST_F(ObjectManagerTest, FailedPropertyConversionIsLoggedAndLeavesTheMember) {
  StackFrame none;
  std::string name = manager_.CreateObject("Probe", none);
  auto* probe = static_cast<test::ProbePlugin*>(manager_.Find(name));
  manager_.SetProperty(name, "count", L"17");
  EXPECT_EQ(probe->count, 17);
  manager_.SetProperty(name, "count", L"many");
  EXPECT_EQ(probe->count, 17);
  EXPECT_NE(LogText().find("Exception occured during  assigning values with error code --: "),
            std::string::npos);
}

class ObjectManagerStoreTest : public ObjectManagerTest {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("zorel_om_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ASSERT_TRUE(store_.Open(folder_.wstring()));
  }
  void TearDown() override {
    store_.Close(true);
    std::filesystem::remove_all(folder_);
  }
  size_t OperationRows() {
    DataTable rows;
    EXPECT_TRUE(store_.ExecuteQuery(L"select * from OPERATION_TABLE", rows));
    return rows.RowCount();
  }
  std::filesystem::path folder_;
  ResultStore store_;
};

TEST_F(ObjectManagerStoreTest, EveryInstanceWritesRecordsOnceTheStoreIsHandedOver) {
  StackFrame none;
  std::string early = manager_.CreateObject("Probe", none);
  StackFrame a1;
  manager_.InvokeMethod(early, "echo", a1);
  EXPECT_EQ(OperationRows(), 0u);  // no store yet: nothing recorded

  manager_.SetResultStore(&store_);
  StackFrame a2;
  manager_.InvokeMethod(early, "echo", a2);
  EXPECT_EQ(OperationRows(), 1u);

  // An instance made later, as a stage function makes it, records as well.
  std::string late = manager_.CreateObject("Probe", none);
  EXPECT_EQ(manager_.Find(late)->GetResultStore(), &store_);
  StackFrame a3;
  manager_.InvokeMethod(late, "echo", a3);
  EXPECT_EQ(OperationRows(), 2u);
}

}  // namespace
}  // namespace zorel
