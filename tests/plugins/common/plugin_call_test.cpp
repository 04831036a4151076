// The method skeleton against a real result store.

#include "zorel/plugins/common/plugin_call.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "zorel/store/current_run.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

class PluginCallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("zorel_plugincall_" + std::string(::testing::UnitTest::GetInstance()
                                                     ->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    ASSERT_TRUE(store_.Open(folder_.wstring()));
    CurrentRun::Instance().Set(7, 101);
  }
  void TearDown() override {
    store_.Close(true);
    std::filesystem::remove_all(folder_);
  }
  // One method with one required argument, as plug-ins write them.
  std::unique_ptr<CJSONReturn> Method(IResultStore* store, const std::wstring* arg,
                                      bool throws = false) {
    PluginCall call(store, errorcode_, 0, L"plugins\\win\\env\\OS", L"OS::isOfType");
    auto result = std::make_unique<CJSONReturn>();
    if (!arg) {
      call.ArgumentError(87, L"Invalid Parameters.");
    } else {
      call.Input(L"type", *arg);
      call.Run([&] {
        if (throws) throw std::runtime_error("x");
        result->returnValue = true;
        result->status = true;
      }, L"Exception occured while checking the type.");
    }
    return call.Finish(std::move(result));
  }
  DataTable Rows() {
    DataTable rows;
    EXPECT_TRUE(store_.ExecuteQuery(
        L"select PROBLEM_ID, STAGE_ID, COMPONENT_NAME, API_NAME, INPUT_DETAILS, "
        L"EXECUTION_STATUS, ERROR_CODE, ERROR_STRING from OPERATION_TABLE", rows));
    return rows;
  }

  std::filesystem::path folder_;
  ResultStore store_;
  int32_t errorcode_ = -5;
};

TEST_F(PluginCallTest, SuccessWritesOneCompleteRecord) {
  std::wstring arg = L"6.1";
  auto result = Method(&store_, &arg);
  EXPECT_EQ(result->errorcode, 0);
  EXPECT_EQ(errorcode_, 0);
  DataTable rows = Rows();
  ASSERT_EQ(rows.RowCount(), 1u);
  const DataRow& row = rows.Row(0);
  int32_t problem = 0, stage = 0, status = -1, code = -1;
  std::wstring component, api, input, error = L"preset";
  row.GetInt(L"PROBLEM_ID", problem);
  row.GetInt(L"STAGE_ID", stage);
  row.GetString(L"COMPONENT_NAME", component);
  row.GetString(L"API_NAME", api);
  row.GetString(L"INPUT_DETAILS", input);
  row.GetInt(L"EXECUTION_STATUS", status);
  row.GetInt(L"ERROR_CODE", code);
  row.GetString(L"ERROR_STRING", error);
  EXPECT_EQ(problem, 7);
  EXPECT_EQ(stage, 101);
  EXPECT_EQ(component, L"OS");
  EXPECT_EQ(api, L"OS::isOfType");
  EXPECT_EQ(input, L"{\"type\":\"6.1\"}");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(error, L"");  // no message for success
}

TEST_F(PluginCallTest, MissingArgumentGives87WithTheSystemText) {
  auto result = Method(&store_, nullptr);
  EXPECT_EQ(result->errorcode, 87);
  EXPECT_FALSE(result->status);
  EXPECT_FALSE(result->returnValue);
  DataTable rows = Rows();
  ASSERT_EQ(rows.RowCount(), 1u);
  int32_t status = -1;
  std::wstring error, input = L"preset";
  rows.Row(0).GetInt(L"EXECUTION_STATUS", status);
  rows.Row(0).GetString(L"ERROR_STRING", error);
  rows.Row(0).GetString(L"INPUT_DETAILS", input);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(error, L"The parameter is incorrect.\r\n");
  EXPECT_EQ(input, L"");  // no input was used
}

TEST_F(PluginCallTest, ExceptionInTheWorkGivesApiFailed) {
  std::wstring arg = L"x";
  auto result = Method(&store_, &arg, true);
  EXPECT_EQ(result->errorcode, 20016);
  EXPECT_FALSE(result->returnValue);
  std::wstring error;
  DataTable rows = Rows();
  ASSERT_EQ(rows.RowCount(), 1u);
  rows.Row(0).GetString(L"ERROR_STRING", error);
  EXPECT_EQ(error, L"API failed");
}

TEST_F(PluginCallTest, WithoutAStoreTheMethodRunsAndRecordsNothing) {
  std::wstring arg = L"6.1";
  auto result = Method(nullptr, &arg);
  EXPECT_TRUE(result->returnValue);
  EXPECT_EQ(result->errorcode, 0);
  EXPECT_EQ(Rows().RowCount(), 0u);
}

// A method's row gives its record the operation type, COMPONENT_NAME,
// API_NAME and the keys its input values are written under, in row order.
TEST_F(PluginCallTest, RowGivesTheRecordItsTypeNamesAndInputKeys) {
  static const PluginMethod kRows[] = {
      {"check", nullptr, OperationType::kQuery, {L"expected", L"actual"}},
      {"change", nullptr, OperationType::kChange, {L"SourcePath"}},
      {"collect", nullptr, OperationType::kCollect},
  };
  static const PluginSurface kSurface{"Probe", L"plugins\\win\\ProbeAPI", kRows};
  struct Case {
    const char* method;
    std::vector<std::wstring> values;  // given with Input(value), in order
    int32_t type;
    const wchar_t* input;
  };
  const Case cases[] = {
      {"check", {L"$GEN1003$ 2 GHz", L""}, 0, L"{\"expected\":\"$GEN1003$ 2 GHz\",\"actual\":\"\"}"},
      // A value beyond the row's keys is left out.
      {"change", {L"C:\\a", L"extra"}, 1, L"{\"SourcePath\":\"C:\\a\"}"},
      {"collect", {}, 2, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    DataTable scratch;
    ASSERT_TRUE(store_.ExecuteQuery(L"delete from OPERATION_TABLE", scratch));
    PluginCall call(&store_, errorcode_, kSurface, *kSurface.Find(c.method));
    for (const std::wstring& value : c.values) call.Input(value);
    call.Finish(std::make_unique<CJSONReturn>());
    DataTable rows;
    ASSERT_TRUE(store_.ExecuteQuery(
        L"select OPERATION_TYPE, COMPONENT_NAME, API_NAME, INPUT_DETAILS from OPERATION_TABLE",
        rows));
    ASSERT_EQ(rows.RowCount(), 1u);
    int32_t type = -1;
    std::wstring component, api, input = L"preset";
    rows.Row(0).GetInt(L"OPERATION_TYPE", type);
    rows.Row(0).GetString(L"COMPONENT_NAME", component);
    rows.Row(0).GetString(L"API_NAME", api);
    rows.Row(0).GetString(L"INPUT_DETAILS", input);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(component, L"ProbeAPI");
    EXPECT_EQ(api, L"Probe::" + std::wstring(c.method, c.method + std::strlen(c.method)));
    EXPECT_EQ(input, c.input);
  }
  EXPECT_EQ(kSurface.Find("missing"), nullptr);
}

}  // namespace
}  // namespace zorel
