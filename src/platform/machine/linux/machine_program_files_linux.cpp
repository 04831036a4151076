// What the program's installer leaves on a new machine, below
// %APPDATA%\prynesecurity\zorel\Resource\:
//   Scripts\preinstall.enc  the sealed check script;
//   UI\en-us\*              the window's page (landing.html, landing.css,
//                           landing.js and its icon).
//
// The sealed sample is found as ZOREL_DEFAULT_SCRIPT, else as preinstall.enc
// beside the running program (the build seals it there); the page as the
// files of the ui folder beside the running program (the build copies them
// there). A piece that cannot be found is left out: the machine is then made
// without it, and the session controller or the window reports the missing
// file as it would on Windows.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "machine/linux/machine_internal.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform::detail {
namespace {

namespace fs = std::filesystem;

// Folder of the running program, empty when it cannot be read.
fs::path programFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

std::string sealedSample() {
  std::error_code ec;
  if (const char* env = std::getenv("ZOREL_DEFAULT_SCRIPT"); env && *env && fs::is_regular_file(env, ec)) {
    return env;
  }
  const fs::path folder = programFolder();
  if (folder.empty()) return {};
  const fs::path beside = folder / "preinstall.enc";
  return fs::is_regular_file(beside, ec) ? beside.string() : std::string();
}

// Copies the host file `from` to the machine path `to` (a Windows path),
// making its folders. Failures leave the file out.
void installFile(const IPathMapper& mapper, const fs::path& from, const std::wstring& to) {
  std::string target;
  if (mapper.toHostPath(to, target) != 0) return;
  std::error_code ec;
  fs::create_directories(fs::path(target).parent_path(), ec);
  fs::copy_file(from, target, fs::copy_options::overwrite_existing, ec);
}

}  // namespace

void installProgramFiles(const std::string& machineRoot) {
  std::unique_ptr<IRegistry> registry;
  if (openRegistry(machineRoot + "/registry.db", RegistryOptions{}, &registry) != 0) return;
  std::unique_ptr<IEnvironment> environment = createEnvironment(*registry);
  std::wstring appData;
  if (environment->getVariable(L"APPDATA", appData) != 0) return;
  const std::wstring resource = appData + L"\\prynesecurity\\zorel\\Resource\\";
  const std::unique_ptr<IPathMapper> mapper = createPathMapper(machineRoot);

  if (const std::string sample = sealedSample(); !sample.empty()) {
    installFile(*mapper, sample, resource + L"Scripts\\preinstall.enc");
  }

  // The page's own files only: regular files directly in the ui folder
  // (links and subfolders are not part of it).
  const fs::path page = programFolder() / "ui";
  std::error_code ec;
  if (programFolder().empty() || !fs::is_directory(page, ec)) return;
  for (const fs::directory_entry& entry : fs::directory_iterator(page, ec)) {
    std::error_code typeError;
    if (!entry.is_regular_file(typeError) || entry.is_symlink(typeError)) continue;
    installFile(*mapper, entry.path(), resource + L"UI\\en-us\\" + fromUtf8(entry.path().filename().string()));
  }
}

}  // namespace zorel::platform::detail
