#pragma once
// Shared set-up of the report client tests: a fresh machine as the process's
// machine (its TEMP holds FrameWork.log, its registry the machine ID), a data
// folder for db.cab, and reading of the log lines a test wrote.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../platform/machine/temp_machine.h"
#include "report_server_process.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/report/report_client.h"
#include "zorel/session/machine_id_manager.h"

namespace zorel::test {

// One machine for the whole test program: FrameWork.log stays open in the
// TEMP folder of the first machine in use, so the machine must outlive every
// suite.
class MachineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    machine_ = std::make_unique<zorel::testing::TempMachine>();
    platform::setCurrentMachine(machine_->release());
  }
  void TearDown() override {
    platform::setCurrentMachine(nullptr);
    machine_.reset();
  }

 private:
  std::unique_ptr<zorel::testing::TempMachine> machine_;
};

inline ::testing::Environment* const kMachineEnvironment =
    ::testing::AddGlobalTestEnvironment(new MachineEnvironment);

class ReportClientTest : public ::testing::Test {
 protected:

  void SetUp() override {
    logStart_ = logSize();
    dataFolder_ = DefaultDataFolder();
    ASSERT_FALSE(dataFolder_.empty());
    std::filesystem::create_directories(dataFolder_);
    std::filesystem::remove_all(std::filesystem::path(dataFolder_) / "db.cab");
  }

  // A client of server (trusting its certificate) with the real machine ID.
  ReportServiceClient clientFor(const ReportServerProcess& server,
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    ReportServerSettings settings;
    settings.baseAddress = server.baseAddress();
    settings.extraCaFile = server.certFile();
    settings.timeLimit = limit;
    return client(settings);
  }
  ReportServiceClient client(const ReportServerSettings& settings) {
    return ReportServiceClient(
        settings, [](std::wstring& id) { return CMachineIDManager().GetMachineID(id); },
        dataFolder_);
  }

  static std::string machineId() {
    std::wstring id;
    EXPECT_TRUE(CMachineIDManager().GetMachineID(id));
    return std::string(id.begin(), id.end());
  }

  std::vector<uint8_t> writeCabinet(size_t size, uint32_t seed = 1) {
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    std::ofstream(std::filesystem::path(dataFolder_) / "db.cab", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return bytes;
  }

  static std::streamoff logSize() {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary | std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
  }
  // The log text written since SetUp.
  std::string newLog() const {
    std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
    in.seekg(logStart_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // True when the log has the line "<level text>\t<message>".
  bool logged(const char* level, const std::string& message) const {
    return newLog().find(std::string(" : ") + level + "\t" + message + "\n") != std::string::npos;
  }
  static constexpr const char* kInfo = "Info";
  static constexpr const char* kError = "Error ";
  static constexpr const char* kWarn = "Warn ";

  std::streamoff logStart_ = 0;
  std::string dataFolder_;
};

}  // namespace zorel::test
