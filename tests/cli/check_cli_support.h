#pragma once
// Running `zorel check` on a fresh machine root and reading what it left:
// the result database (through SQLite itself) and FrameWork.log.

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorel::testing {

struct CheckRun {
  int status = -1;  // exit code; -1 when the process did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

using Rows = std::vector<std::vector<std::string>>;

class CheckCli : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs "zorel check ARGS" with ZOREL_MACHINE set to this test's root.
  CheckRun Check(const std::string& args);
  // Runs "zorel ARGS" so, with the host variables of `environment`
  // ("NAME='value' ...") set as well.
  CheckRun Zorel(const std::string& args, const std::string& environment = "");
  // Runs a script of tests/data/checks with --store on this test's store
  // folder, plus `extra` options.
  CheckRun CheckScript(const std::string& name, const std::string& extra = "");

  // The rows of `sql` on the store's database, every value as text (NULL
  // as "NULL").
  Rows Query(const std::string& sql) const;
  // FrameWork.log of the machine, empty when there is none.
  std::string Log() const;

  static std::string DataScript(const std::string& name);

  std::string base_;   // removed after the test
  std::string root_;   // machine root
  std::string store_;  // --store folder
};

// Column `column` of every row.
std::vector<std::string> Column(const Rows& rows, size_t column = 0);

}  // namespace zorel::testing
