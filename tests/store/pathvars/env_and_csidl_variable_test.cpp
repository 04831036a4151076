// Path-variable expansion on the default machine image.

#include <gtest/gtest.h>

#include "../../platform/machine/temp_machine.h"
#include "zorel/pathvars/env_and_csidl_variable.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/registry/registry.h"

namespace zorel {
namespace {

using testing::TempMachine;

class PathVariables : public ::testing::Test {
 protected:
  void SetUp() override { vars_.Build(); }
  std::wstring expand(std::wstring text, bool expectChanged = true) {
    EXPECT_EQ(vars_.Expand(text), expectChanged);
    return text;
  }
  TempMachine machine_;
  EnvAndCsidlVariable vars_{machine_.get()};
};

TEST_F(PathVariables, FolderNameFollowedByAPath) {
  EXPECT_EQ(expand(L"%CSIDL_WINDOWS%\\System32"), L"C:\\Windows\\System32");
  EXPECT_EQ(expand(L"%CSIDL_SYSTEM%\\drivers\\etc\\hosts"), L"C:\\Windows\\System32\\drivers\\etc\\hosts");
  EXPECT_EQ(expand(L"%CSIDL_APPDATA%\\prynesecurity\\zorel"),
            L"C:\\Users\\User\\AppData\\Roaming\\prynesecurity\\zorel");
}

TEST_F(PathVariables, EnvironmentVariables) {
  EXPECT_EQ(expand(L"%WINDIR%\\x"), L"C:\\Windows\\x");
  EXPECT_EQ(expand(L"%ProgramFiles(x86)%"), L"C:\\Program Files (x86)");
  // Environment names ignore case (Windows), folder names do not.
  EXPECT_EQ(expand(L"%windir%"), L"C:\\Windows");
}

TEST_F(PathVariables, ProgramFilesOfBothViewsOn64BitWindows) {
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILESX86%"), L"C:\\Program Files (x86)");
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILES_X64%"), L"C:\\Program Files");
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILES%"), L"C:\\Program Files");
  // A 64-bit process: AUTO reads its own (64-bit) view.
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILES_AUTO%"), L"C:\\Program Files");
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILES_COMMON_X64%"), L"C:\\Program Files\\Common Files");
  EXPECT_EQ(expand(L"%CSIDL_PROGRAM_FILES_COMMONX86%"), L"C:\\Program Files (x86)\\Common Files");
}

TEST_F(PathVariables, LonePercentsStayAsWritten) {
  EXPECT_EQ(expand(L"100%"), L"100%");
  EXPECT_EQ(expand(L"a%b%c"), L"a%b%c");
  EXPECT_EQ(expand(L"%"), L"%");
}

TEST_F(PathVariables, TextWithoutPercentIsUnchangedAndFalse) {
  EXPECT_EQ(expand(L"C:\\Windows", false), L"C:\\Windows");
  EXPECT_EQ(expand(L"", false), L"");
}

TEST_F(PathVariables, VirtualFoldersStayUnexpanded) {
  EXPECT_EQ(expand(L"%CSIDL_DRIVES%"), L"%CSIDL_DRIVES%");
  EXPECT_EQ(expand(L"%CSIDL_BITBUCKET%\\x"), L"%CSIDL_BITBUCKET%\\x");
  EXPECT_EQ(vars_.folders().count(L"CSIDL_DRIVES"), 0u);
  EXPECT_EQ(vars_.folders().count(L"CSIDL_CONTROLS"), 0u);
}

TEST_F(PathVariables, FolderNamesMatchExactlyWithoutBlanks) {
  EXPECT_EQ(expand(L"%csidl_appdata%"), L"%csidl_appdata%");
  EXPECT_EQ(expand(L"% CSIDL_APPDATA %"), L"% CSIDL_APPDATA %");
  // Every occurrence is replaced.
  EXPECT_EQ(expand(L"%CSIDL_WINDOWS%;%CSIDL_WINDOWS%"), L"C:\\Windows;C:\\Windows");
}

TEST_F(PathVariables, AFolderPathHoldingItsOwnNameDoesNotLoop) {
  // A path containing "%CSIDL_WINDOWS%" after replacement must not be
  // replaced again and again.
  const std::wstring value = L"C:\\%CSIDL_WINDOWS%";
  ASSERT_EQ(machine_->environment().setVariable(L"SystemRoot", &value), 0);
  EnvAndCsidlVariable other(machine_.get());
  other.Build();
  std::wstring text = L"%CSIDL_WINDOWS%";
  EXPECT_TRUE(other.Expand(text));
  EXPECT_EQ(text, L"C:\\%CSIDL_WINDOWS%");
}

TEST_F(PathVariables, ExpansionLongerThanTheBufferKeepsTheText) {
  std::wstring big(7000, L'x');
  ASSERT_EQ(machine_->environment().setVariable(L"BIG", &big), 0);
  EXPECT_EQ(expand(L"%BIG%"), L"%BIG%");
  EXPECT_EQ(expand(L"%BIG%%CSIDL_WINDOWS%"), L"%BIG%C:\\Windows");
}

TEST_F(PathVariables, UnreadableProgramFilesValueGivesEmptyPath) {
  platform::RegKey key{};
  ASSERT_EQ(machine_->registry().openKey(platform::kHkeyLocalMachine,
                                         L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                                         platform::KEY_ALL_ACCESS, &key), 0);
  ASSERT_EQ(machine_->registry().deleteValue(key, L"CommonFilesDir"), 0);
  machine_->registry().closeKey(key);
  EnvAndCsidlVariable other(machine_.get());
  other.Build();
  std::wstring text = L"[%CSIDL_PROGRAM_FILES_COMMON_X64%]";
  EXPECT_TRUE(other.Expand(text));
  EXPECT_EQ(text, L"[]");
}

// The process-wide expander answers from whatever machine is current, and
// never from one that was replaced (and freed) since it last expanded.
TEST(PathVariablesOfTheProcess, FollowTheCurrentMachineAcrossReplacement) {
  TempMachine first;
  TempMachine second(L"win7-sp1");
  std::wstring marker = L"first";
  first->environment().setVariable(L"ZOREL_MARK", &marker);
  marker = L"second";
  second->environment().setVariable(L"ZOREL_MARK", &marker);
  const std::wstring secondAppData = [&] {
    EnvAndCsidlVariable v(second.get());
    v.Build();
    return v.folders().at(L"CSIDL_APPDATA");
  }();

  platform::setCurrentMachine(first.release());
  EnvAndCsidlVariable::Instance().Build();
  std::wstring text = L"%ZOREL_MARK%";
  EXPECT_TRUE(EnvAndCsidlVariable::Instance().Expand(text));
  EXPECT_EQ(text, L"first");

  platform::setCurrentMachine(second.release());  // frees the first machine
  text = L"%ZOREL_MARK% %CSIDL_APPDATA%";
  EXPECT_TRUE(EnvAndCsidlVariable::Instance().Expand(text));
  EXPECT_EQ(text, L"second " + secondAppData);
  platform::setCurrentMachine(nullptr);
}

TEST(PathVariablesWithoutMachine, NothingExpandsButPercentStillAnswersTrue) {
  EnvAndCsidlVariable none(nullptr);
  none.Build();
  std::wstring text = L"%WINDIR%";
  EXPECT_TRUE(none.Expand(text));
  EXPECT_EQ(text, L"%WINDIR%");
}

}  // namespace
}  // namespace zorel
