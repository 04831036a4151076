#pragma once
// A fresh machine root in a temporary folder for one test, removed after.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "zorel/platform/machine/machine.h"

namespace zorel::testing {

class TempMachine {
 public:
  explicit TempMachine(const std::wstring& image = L"default",
                       platform::MachineOpenOptions options = {}) {
    char pattern[] = "/tmp/zorel-machine-test-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    EXPECT_NE(dir, nullptr);
    base_ = dir ? dir : "/tmp";
    root_ = base_ + "/machine";
    std::wstring message;
    EXPECT_EQ(platform::initMachine(root_, image, nullptr, &message), 0) << std::string(message.begin(), message.end());
    EXPECT_EQ(platform::openMachine(root_, options, &machine_, &message), 0);
  }
  ~TempMachine() {
    machine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(base_, ec);
  }
  platform::IMachine& operator*() { return *machine_; }
  platform::IMachine* operator->() { return machine_.get(); }
  platform::IMachine* get() { return machine_.get(); }
  // Hands the machine over (to setCurrentMachine); the folder stays until
  // this object goes.
  std::unique_ptr<platform::IMachine> release() { return std::move(machine_); }
  const std::string& root() const { return root_; }
  const std::string& base() const { return base_; }

 private:
  std::string base_;
  std::string root_;
  std::unique_ptr<platform::IMachine> machine_;
};

}  // namespace zorel::testing
