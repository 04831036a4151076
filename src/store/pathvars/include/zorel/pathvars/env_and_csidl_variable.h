#pragma once
// Expansion of %NAME% variables in the texts check scripts hand to plug-ins:
// environment variables of the machine and the shell's special-folder names
// (%CSIDL_SYSTEM%, %CSIDL_PROGRAM_FILESX86%, ...), plus four names of our own
// for the program-files folders of a given registry view.

#include <map>
#include <string>

namespace zorel::platform {
class IMachine;
}

namespace zorel {

class EnvAndCsidlVariable {
 public:
  // The process-wide expander. It follows the process-wide machine: when
  // that machine is replaced, its folder map is rebuilt on next use, so it
  // never holds on to a machine that is gone.
  static EnvAndCsidlVariable& Instance();

  // An expander on an explicit machine (null: no machine, nothing expands).
  // The process uses Instance(); this is for tools and tests.
  explicit EnvAndCsidlVariable(platform::IMachine* machine);
  virtual ~EnvAndCsidlVariable();

  // Fills the folder map from the special-folder table; runs once at
  // start-up, before other threads use Expand.
  void Build();

  // The machine this expander answers from (the current one for Instance).
  platform::IMachine* machine() const;

  // Expands environment variables, then %CSIDL_...% names (exact case, no
  // blanks inside the percent signs). RETURNS false, text unchanged, when the
  // text holds no '%'; true otherwise, even when nothing was replaced.
  bool Expand(std::wstring& text) const;

  // The folder map as Build left it (name to path).
  const std::map<std::wstring, std::wstring>& folders() const { return folders_; }

 private:
  struct FollowCurrent {};
  explicit EnvAndCsidlVariable(FollowCurrent);
  void buildFor(platform::IMachine* machine) const;

  platform::IMachine* machine_ = nullptr;
  bool followCurrent_ = false;  // Instance(): answer from currentMachine()
  // Written by Build, or by Expand when the current machine changed since.
  mutable std::map<std::wstring, std::wstring> folders_;
  mutable platform::IMachine* builtFor_ = nullptr;
};

}  // namespace zorel
