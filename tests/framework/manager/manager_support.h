#pragma once
// A store folder per test and small readers over the manager's store.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/store/data_table.h"
#include "zorel/store/result_store_interface.h"

namespace zorel::test {

class StoreFolder {
 public:
  StoreFolder() {
    char pattern[] = "/tmp/zorel-manager-test-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    path_ = dir ? dir : "/tmp";
  }
  ~StoreFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }
  std::wstring wide() const { return fromUtf8(path_); }
  bool Has(const std::string& name) const { return std::filesystem::exists(path_ + "/" + name); }

 private:
  std::string path_;
};

// The first column of every row of `sql`, as integers.
inline std::vector<int32_t> Ints(IResultStore& store, const std::wstring& sql) {
  DataTable rows;
  EXPECT_TRUE(store.ExecuteQuery(sql, rows)) << toUtf8(sql);
  std::vector<int32_t> values;
  for (size_t i = 0; i < rows.RowCount(); ++i) {
    int32_t v = -999;
    rows.Row(i).GetInt(rows.Column(0).name, v);
    values.push_back(v);
  }
  return values;
}

inline std::vector<std::wstring> Texts(IResultStore& store, const std::wstring& sql) {
  DataTable rows;
  EXPECT_TRUE(store.ExecuteQuery(sql, rows)) << toUtf8(sql);
  std::vector<std::wstring> values;
  for (size_t i = 0; i < rows.RowCount(); ++i) {
    std::wstring v;
    rows.Row(i).GetString(rows.Column(0).name, v);
    values.push_back(v);
  }
  return values;
}

// The log written so far.
inline std::string LogText() {
  std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace zorel::test
