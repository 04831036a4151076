#pragma once
// A fresh registry file in a temporary folder for each test.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "zorel/platform/registry/registry.h"

namespace zorel::platform::test {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() /
           ("zorel-registry-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "registry.db").string();
    ASSERT_EQ(ERROR_SUCCESS, openRegistry(path_, RegistryOptions{}, &reg_));
  }
  void TearDown() override {
    reg_.reset();
    std::filesystem::remove_all(dir_);
  }

  RegKey create(RegKey root, const std::wstring& sub, std::uint32_t sam = KEY_ALL_ACCESS) {
    RegKey k = kRegNoKey;
    EXPECT_EQ(ERROR_SUCCESS, reg_->createKey(root, sub, 0, sam, &k, nullptr)) << sub.size();
    return k;
  }
  void setSz(RegKey k, const std::wstring& name, const std::wstring& text) {
    ASSERT_EQ(ERROR_SUCCESS, writeValue(*reg_, k, name, REG_SZ, regSz(text)));
  }

  std::filesystem::path dir_;
  std::string path_;
  std::unique_ptr<IRegistry> reg_;
};

}  // namespace zorel::platform::test
