#pragma once
// A plug-in test bench: a fresh machine made from an image as the
// process-wide machine, a real result store in a temporary folder, and an
// object manager over the program's factory that hands the store to every
// instance. Calls go in as the script engine makes them (InvokeMethod) and
// the answers, the OPERATION_TABLE rows and the framework log are read back.
//
// Arguments must not contain '%': the path-variable table is built on the
// first machine of the process and is not rebuilt for each new machine.

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../platform/machine/temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/store/current_run.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace zorel::testing {

// One OPERATION_TABLE row, as text and numbers.
struct OperationRow {
  int32_t problemId = 0, stageId = 0, operationType = -1, executionStatus = -1, errorCode = -1;
  std::wstring component, api, input, errorString, startTime, endTime;
};

// The log file stays in the first machine's temporary folder, which lives
// for the whole test program.
class LogHome : public ::testing::Environment {
 public:
  void SetUp() override {
    machine_ = std::make_unique<TempMachine>();
    platform::setCurrentMachine(machine_->release());
    FrameworkLog::Instance();
  }

 private:
  std::unique_ptr<TempMachine> machine_;
};

class PluginBench {
 public:
  explicit PluginBench(const std::wstring& image = L"default") : machine_(image) {
    machine_ptr_ = machine_.get();
    platform::setCurrentMachine(machine_.release());
    folder_ = machine_.base() + "/store";
    std::filesystem::create_directories(folder_);
    EXPECT_TRUE(store_.Open(fromUtf8(folder_)));
    manager_.SetResultStore(&store_);
    CurrentRun::Instance().Set(7, 101);
  }
  ~PluginBench() { store_.Close(true); }

  platform::IMachine& machine() { return *machine_ptr_; }
  const std::string& hostRoot() const { return machine_.root(); }
  ResultStore& store() { return store_; }
  CObjectManager& manager() { return manager_; }

  // The JSON text InvokeMethod answers (empty when the call failed).
  std::string Invoke(const std::string& component, const std::string& method,
                     const std::vector<std::wstring>& args = {}) {
    std::string& instance = instances_[component];
    if (instance.empty()) {
      StackFrame none;
      instance = manager_.CreateObject(component, none);
      EXPECT_FALSE(instance.empty()) << component;
    }
    StackFrame frame;
    for (const std::wstring& a : args) frame.Push(a);
    logOffset_ = LogSize();
    return manager_.InvokeMethod(instance, method, frame);
  }
  // The answer parsed; a null value when it was not JSON.
  Json::Value Call(const std::string& component, const std::string& method,
                   const std::vector<std::wstring>& args = {}) {
    const std::string text = Invoke(component, method, args);
    Json::Value value;
    std::istringstream in(text);
    std::string errors;
    Json::CharReaderBuilder builder;
    if (!Json::parseFromStream(builder, in, &value, &errors)) return Json::Value();
    return value;
  }

  std::vector<OperationRow> Rows() {
    DataTable table;
    EXPECT_TRUE(store_.ExecuteQuery(
        L"select PROBLEM_ID, STAGE_ID, OPERATION_TYPE, COMPONENT_NAME, API_NAME, INPUT_DETAILS, "
        L"EXECUTION_STATUS, ERROR_CODE, ERROR_STRING, START_TIME, END_TIME from OPERATION_TABLE",
        table));
    std::vector<OperationRow> rows;
    for (size_t i = 0; i < table.RowCount(); ++i) {
      const DataRow& r = table.Row(i);
      OperationRow row;
      r.GetInt(L"PROBLEM_ID", row.problemId);
      r.GetInt(L"STAGE_ID", row.stageId);
      r.GetInt(L"OPERATION_TYPE", row.operationType);
      r.GetString(L"COMPONENT_NAME", row.component);
      r.GetString(L"API_NAME", row.api);
      r.GetString(L"INPUT_DETAILS", row.input);
      r.GetInt(L"EXECUTION_STATUS", row.executionStatus);
      r.GetInt(L"ERROR_CODE", row.errorCode);
      r.GetString(L"ERROR_STRING", row.errorString);
      r.GetString(L"START_TIME", row.startTime);
      r.GetString(L"END_TIME", row.endTime);
      rows.push_back(row);
    }
    return rows;
  }
  // The one row the last call should have left; fails the test otherwise.
  OperationRow LastRow(size_t expectedCount) {
    std::vector<OperationRow> rows = Rows();
    EXPECT_EQ(rows.size(), expectedCount);
    return rows.empty() ? OperationRow{} : rows.back();
  }

  // What the framework log gained since the last Invoke.
  std::string LogSinceCall() const {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(logOffset_));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static size_t LogSize() {
    std::error_code ec;
    const auto size = std::filesystem::file_size(FrameworkLog::Instance().path(), ec);
    return ec ? 0 : static_cast<size_t>(size);
  }
  TempMachine machine_;
  platform::IMachine* machine_ptr_ = nullptr;
  std::string folder_;
  ResultStore store_;
  CObjectManager manager_{CPluginFactory::Instance()};
  std::map<std::string, std::string> instances_;
  size_t logOffset_ = 0;
};

}  // namespace zorel::testing
