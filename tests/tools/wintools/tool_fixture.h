#pragma once
// Runs zorel-wintools as a real process on a fresh machine root and reads
// the machine's registry file afterwards.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "zorel/platform/registry/registry.h"

namespace zorel::wintools::test {

struct ToolRun {
  int exit = -1;
  std::string out;
  std::string err;
};

class ToolTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::random_device rd;
    root_ = new std::filesystem::path(std::filesystem::temp_directory_path() /
                                      ("zorel-wintools-" + std::to_string(rd())));
    std::filesystem::create_directories(*root_);
    setenv("ZOREL_MACHINE", (*root_ / "machine").c_str(), 1);
  }
  static void TearDownTestSuite() {
    std::filesystem::remove_all(*root_);
    delete root_;
  }

  // Runs program (default: the tool itself) with a shell-quoted argument
  // string; input is fed to stdin.
  ToolRun run(const std::string& args, const std::string& input = "",
          const std::string& program = WINTOOLS_BINARY) {
    std::string outFile = (*root_ / "out.txt").string(), errFile = (*root_ / "err.txt").string();
    std::string inFile = (*root_ / "in.txt").string();
    std::ofstream(inFile) << input;
    std::string command = "'" + program + "' " + args + " <'" + inFile + "' >'" + outFile +
                          "' 2>'" + errFile + "'";
    int status = std::system(command.c_str());
    ToolRun r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    return r;
  }

  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The machine's registry, opened beside the tool's processes.
  std::unique_ptr<platform::IRegistry> registry() {
    std::unique_ptr<platform::IRegistry> reg;
    EXPECT_EQ(platform::ERROR_SUCCESS,
              platform::openRegistry((*root_ / "machine" / "registry.db").string(),
                                     platform::RegistryOptions{}, &reg));
    return reg;
  }

  static std::filesystem::path* root_;
};

inline std::filesystem::path* ToolTest::root_ = nullptr;

}  // namespace zorel::wintools::test
