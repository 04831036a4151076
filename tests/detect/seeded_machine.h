#pragma once
// A fresh machine (`zorel machine init`) in a temporary folder, filled
// through the real tools:
// registry content imported with `zorel-wintools regedit /S`, files written
// into drive_c. Removed with the object.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "zorel_process.h"

namespace zorel::testing {

class SeededMachine {
 public:
  SeededMachine() {
    char pattern[] = "/tmp/zorel-products-test-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    base_ = dir ? dir : "/tmp";
    root_ = base_ + "/machine";
    const ZorelRun run = RunZorel({"machine", "init"}, root_);
    EXPECT_EQ(run.status, 0) << run.err;
  }
  ~SeededMachine() {
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }
  SeededMachine(const SeededMachine&) = delete;
  SeededMachine& operator=(const SeededMachine&) = delete;

  // Imports `body` (the .reg text after its header line) into the machine,
  // creating the machine first when needed.
  void Seed(const std::string& body) {
    const std::string file = base_ + "/seed.reg";
    std::ofstream(file, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n" << body;
    const ZorelRun run = RunWintools({"regedit", "/S", file}, root_);
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(run.err, "");
  }

  // The host path of C:\<relative> (relative written with '/').
  std::string Host(const std::string& relative) const { return root_ + "/drive_c/" + relative; }
  void Put(const std::string& relative, const std::string& bytes) const {
    const std::filesystem::path path = Host(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string Get(const std::string& relative) const {
    std::ifstream in(Host(relative), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // FrameWork.log of the machine's temporary folder.
  std::string Log() const { return Get("Users/User/AppData/Local/Temp/FrameWork.log"); }
  static constexpr const char* kFinalList =
      "Users/User/AppData/Local/Temp/PRODUCTDETECT/xml/FinalList.json";

  const std::string& root() const { return root_; }
  const std::string& base() const { return base_; }

 private:
  std::string base_;
  std::string root_;
};

}  // namespace zorel::testing
