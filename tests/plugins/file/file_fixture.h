#pragma once
// A File plug-in on a fresh machine, writing to a real result store in a
// temporary folder, with helpers to read its operation rows and the log.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <json/reader.h>
#include <memory>
#include <string>

#include "../../platform/machine/temp_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/plugins/file/file.h"
#include "zorel/store/current_run.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store.h"

namespace zorel::test {

// The operation row of one call, as stored.
struct OperationRow {
  std::wstring api, component, input, errorString;
  int32_t type = -1, status = -1, code = -1, problem = -1, stage = -1, id = -1;
};

class FilePluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // What earlier tests left in the folders tests write to.
    for (const wchar_t* folder : kScratchFolders) {
      std::error_code ec;
      std::string host = Host(folder);
      std::filesystem::permissions(host, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
      std::filesystem::remove_all(host, ec);
    }
    MakeFolder(L"C:\\Users\\User\\Documents");
    MakeFolder(L"C:\\Users\\User\\Downloads");
    char pattern[] = "/tmp/zorel-file-store-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    base_ = dir;
    storeFolder_ = base_ + "/store";
    std::filesystem::create_directories(storeFolder_);
    ASSERT_TRUE(store_.Open(fromUtf8(storeFolder_)));
    CurrentRun::Instance().Set(4, 101);
    StackFrame none;
    file_ = std::make_unique<File>(none);
    file_->SetResultStore(&store_);
    logStart_ = LogSize();
  }
  void TearDown() override {
    file_.reset();
    store_.Close(true);
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }

  // Folders of the machine the tests create files in.
  static constexpr const wchar_t* kScratchFolders[] = {
      L"C:\\Users\\User\\Documents", L"C:\\Users\\User\\Downloads", L"C:\\ProgramData\\Vendor",
      L"C:\\ProgramData\\copy.bin", L"C:\\Keep", L"C:\\Win", L"C:\\Pack", L"C:\\Temp",
      L"C:\\Out", L"C:\\Out2", L"C:\\Out3", L"C:\\Share", L"C:\\Data", L"C:\\Users\\Empty"};

  // The host path of a Windows path on the test machine.
  static std::string Host(const std::wstring& windows) {
    std::string host;
    EXPECT_EQ(platform::currentMachine()->paths().toHostPath(windows, host), 0);
    return host;
  }
  static void Write(const std::wstring& windows, const std::string& bytes) {
    std::string host = Host(windows);
    std::filesystem::create_directories(std::filesystem::path(host).parent_path());
    std::ofstream(host, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Read(const std::wstring& windows) {
    std::ifstream in(Host(windows), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static bool Exists(const std::wstring& windows) { return std::filesystem::exists(Host(windows)); }
  static void MakeFolder(const std::wstring& windows) {
    std::filesystem::create_directories(Host(windows));
  }

  void Use(const std::wstring& folder, const std::wstring& name = L"") {
    file_->foldername = folder;
    file_->filename = name;
  }

  // Calls a method by name with text arguments, as the script does, and
  // parses the JSON answer.
  Json::Value Call(const std::string& method, std::initializer_list<std::wstring> args = {}) {
    StackFrame frame;
    for (const auto& a : args) frame.Push(a);
    auto result = file_->Call(method, frame);
    if (!result) return Json::Value();
    Json::Value parsed;
    std::string text = result->ToString();
    EXPECT_TRUE(Json::Reader().parse(text, parsed)) << text;
    return parsed;
  }

  std::vector<OperationRow> Rows() {
    DataTable t;
    EXPECT_TRUE(store_.ExecuteQuery(
        L"select ID, PROBLEM_ID, STAGE_ID, OPERATION_TYPE, COMPONENT_NAME, API_NAME, INPUT_DETAILS,"
        L" EXECUTION_STATUS, ERROR_CODE, ERROR_STRING from OPERATION_TABLE order by ID", t));
    std::vector<OperationRow> rows;
    for (size_t i = 0; i < t.RowCount(); ++i) {
      const DataRow& r = t.Row(i);
      OperationRow o;
      r.GetInt(L"ID", o.id);
      r.GetInt(L"PROBLEM_ID", o.problem);
      r.GetInt(L"STAGE_ID", o.stage);
      r.GetInt(L"OPERATION_TYPE", o.type);
      r.GetString(L"COMPONENT_NAME", o.component);
      r.GetString(L"API_NAME", o.api);
      r.GetString(L"INPUT_DETAILS", o.input);
      r.GetInt(L"EXECUTION_STATUS", o.status);
      r.GetInt(L"ERROR_CODE", o.code);
      r.GetString(L"ERROR_STRING", o.errorString);
      rows.push_back(o);
    }
    return rows;
  }
  OperationRow LastRow() {
    auto rows = Rows();
    EXPECT_FALSE(rows.empty());
    return rows.empty() ? OperationRow{} : rows.back();
  }

  static size_t LogSize() {
    std::error_code ec;
    auto size = std::filesystem::file_size(FrameworkLog::Instance().path(), ec);
    return ec ? 0 : static_cast<size_t>(size);
  }
  // What the log gained since the test started.
  std::string NewLog() const {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), {});
    return all.size() > logStart_ ? all.substr(logStart_) : std::string();
  }
  bool Logged(const std::string& text) const { return NewLog().find(text) != std::string::npos; }

  std::string base_;
  std::string storeFolder_;
  ResultStore store_;
  std::unique_ptr<File> file_;
  size_t logStart_ = 0;
};

}  // namespace zorel::test
