#pragma once
// The machine identifier: a random GUID kept machine-wide in the registry
// (HKEY_LOCAL_MACHINE\SOFTWARE\Olvane\PreInstall, value PreInstallMachineID),
// created on first use and presented by every later run of any user.

#include <string>

namespace zorel::platform {
class IRegistry;
}

namespace zorel {

class CMachineIDManager {
 public:
  // On the process-wide machine's registry.
  CMachineIDManager();
  // On an explicit registry (tools and tests).
  explicit CMachineIDManager(platform::IRegistry* registry);
  virtual ~CMachineIDManager();

  // The stored ID, creating and storing one when the key or value is
  // missing, empty or too long. RETURNS true with the ID in id; false on any
  // failure (id is then not meaningful), after one error line in the log.
  bool GetMachineID(std::wstring& id);

  // A new GUID as 36 lower-case characters without braces.
  bool GenerateID(std::wstring& id);

 private:
  platform::IRegistry* registry_;  // not owned; null when no machine exists
};

}  // namespace zorel
