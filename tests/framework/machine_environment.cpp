// Every test of this program runs on a fresh machine made from the default
// image, and the path-variable table is built on it, as start-up does.

#include <gtest/gtest.h>

#include "machine/temp_machine.h"
#include "zorel/pathvars/env_and_csidl_variable.h"

namespace {

class MachineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    machine_ = std::make_unique<zorel::testing::TempMachine>();
    zorel::platform::setCurrentMachine(machine_->release());
    zorel::EnvAndCsidlVariable::Instance().Build();
  }
  void TearDown() override { machine_.reset(); }

 private:
  std::unique_ptr<zorel::testing::TempMachine> machine_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MachineEnvironment);

}  // namespace
