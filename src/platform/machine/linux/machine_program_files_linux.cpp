// What the program's installer leaves on a new machine: the sealed check
// script at %APPDATA%\prynesecurity\zorel\Resource\Scripts\preinstall.enc.
//
// The sealed sample is found as ZOREL_DEFAULT_SCRIPT, else as preinstall.enc
// beside the running program (the build seals it there), else not at all:
// the machine is then made without it and the session controller reports
// the missing file as it would on Windows.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "machine/linux/machine_internal.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform::detail {
namespace {

namespace fs = std::filesystem;

std::string sealedSample() {
  std::error_code ec;
  if (const char* env = std::getenv("ZOREL_DEFAULT_SCRIPT"); env && *env && fs::is_regular_file(env, ec)) {
    return env;
  }
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = self.parent_path() / "preinstall.enc";
    if (fs::is_regular_file(beside, ec)) return beside.string();
  }
  return {};
}

}  // namespace

void installProgramFiles(const std::string& machineRoot) {
  const std::string sample = sealedSample();
  if (sample.empty()) return;
  std::unique_ptr<IRegistry> registry;
  if (openRegistry(machineRoot + "/registry.db", RegistryOptions{}, &registry) != 0) return;
  std::unique_ptr<IEnvironment> environment = createEnvironment(*registry);
  std::wstring appData;
  if (environment->getVariable(L"APPDATA", appData) != 0) return;
  std::string target;
  if (createPathMapper(machineRoot)->toHostPath(
          appData + L"\\prynesecurity\\zorel\\Resource\\Scripts\\preinstall.enc", target) != 0) {
    return;
  }
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  fs::copy_file(sample, target, fs::copy_options::overwrite_existing, ec);
}

}  // namespace zorel::platform::detail
