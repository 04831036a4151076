#pragma once
// `zorel ui` (and other zorel commands) as child processes of a test, on a
// fresh machine root with the page and a check script installed.

#include <gtest/gtest.h>
#include <json/value.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace zorel::platform {
class IMachine;
}

namespace zorel::testing {

class UiProcess {
 public:
  // Starts `zorel ARGS` with ZOREL_MACHINE=machineRoot, `env` added
  // ("NAME=VALUE") and the variables in `drop` removed; standard error goes
  // to errFile.
  UiProcess(const std::string& machineRoot, const std::vector<std::string>& args, const std::string& errFile,
            const std::vector<std::string>& env = {}, const std::vector<std::string>& drop = {});
  ~UiProcess();
  UiProcess(const UiProcess&) = delete;
  UiProcess& operator=(const UiProcess&) = delete;

  // The exit code, or -1 when it did not exit within timeoutMs (it is then
  // killed) or ended by a signal.
  int Wait(int timeoutMs);
  // True while it has not ended (an ended one is reaped and Wait then
  // returns its code).
  bool Running();
  void Signal(int signal);
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int status_ = -1;  // once reaped
  bool reaped_ = false;
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // `zorel ARGS` to its end (30 s at most); its exit code, stderr in err.
  int Zorel(const std::vector<std::string>& args, std::string* err = nullptr,
            const std::vector<std::string>& drop = {});
  // Starts `zorel ui ARGS` in the background.
  std::unique_ptr<UiProcess> StartUi(const std::vector<std::string>& args,
                                     const std::vector<std::string>& env = {},
                                     const std::vector<std::string>& drop = {});
  // Seals tests/session/data/NAME (or the file NAME when it holds a '/')
  // over the machine's preinstall.enc.
  void InstallScript(const std::string& name);
  // The host folder of the machine's page.
  std::string UiFolder() const;
  std::string Err() const;
  std::string Log() const;
  // HKLM (machine true) or HKCU key paths below ...\Classes that exist, of
  // the program's class, type library and application id.
  std::vector<std::string> ClassKeys(bool machine) const;
  std::vector<std::string> AppIdKeys(bool machine) const;
  // A text value below HKLM\SOFTWARE\Classes ("<missing>" when absent).
  std::string ClassText(const std::wstring& key, const std::wstring& name = L"") const;
  // The framework workers running on this test's machine.
  std::vector<pid_t> Workers() const;
  static Json::Value ReadJson(const std::string& path);

  std::string rootName_ = "machine";  // the root's name below base_
  std::string base_;
  std::string root_;
};

std::string ReadFile(const std::string& path);

}  // namespace zorel::testing
