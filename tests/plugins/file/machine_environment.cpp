// The test run's machine and log. One fresh machine from the default image
// serves the whole run, because the process-wide path-variable table keeps
// the machine it was built on; each test clears the folders tests write to
// (FilePluginTest::SetUp). FrameWork.log goes to a temporary folder of the
// run, opened before the machine exists so that it is not inside it.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "../../platform/machine/temp_machine.h"
#include "zorel/log/framework_log.h"
#include "zorel/pathvars/env_and_csidl_variable.h"

namespace {

class MachineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/zorel-file-tests-XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    ASSERT_NE(dir, nullptr);
    folder_ = dir;
    ::setenv("TMPDIR", folder_.c_str(), 1);
    zorel::FrameworkLog::Instance();
    machine_ = std::make_unique<zorel::testing::TempMachine>();
    zorel::platform::setCurrentMachine(machine_->release());
    zorel::EnvAndCsidlVariable::Instance().Build();
  }
  void TearDown() override {
    machine_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

 private:
  std::string folder_;
  std::unique_ptr<zorel::testing::TempMachine> machine_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new MachineEnvironment);

}  // namespace
