// The machine root: where it is, how it is made from an image, and the
// process-wide machine (see machine.h for the layout).

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "machine/linux/machine_image_linux.h"
#include "machine/linux/machine_internal.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/host_file.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/platform/system/version_info.h"

#ifndef ZOREL_IMAGES_DIR
#define ZOREL_IMAGES_DIR ""
#endif

namespace zorel::platform {
namespace fs = std::filesystem;

namespace {

const char kMarker[] = ".zorel-machine";
const wchar_t kDefaultImage[] = L"default";

std::string envOr(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool validImageName(const std::wstring& name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  for (wchar_t c : name)
    if (!(iswalnum(c) || c == L'-' || c == L'_' || c == L'.')) return false;
  return true;
}

bool folderIsEmpty(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec) && fs::directory_iterator(path, ec) == fs::directory_iterator();
}

// Sibling work folders: ".<name>.<kind>-<pid>-<n>". Stale ones (their process
// is gone) are left by an interrupted init or reset and are removed.
std::string siblingFolder(const fs::path& root, const char* kind) {
  static int counter = 0;
  return (root.parent_path() / ("." + root.filename().string() + "." + kind + "-" +
                                std::to_string(::getpid()) + "-" + std::to_string(++counter)))
      .string();
}

void removeStaleSiblings(const fs::path& root) {
  std::error_code ec;
  const std::string prefix = "." + root.filename().string() + ".";
  for (const auto& entry : fs::directory_iterator(root.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0) continue;
    const size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos) continue;
    const long pid = std::strtol(name.c_str() + dash + 1, nullptr, 10);
    if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
    std::error_code rmEc;
    fs::remove_all(entry.path(), rmEc);
  }
}

fs::path normalRoot(const std::string& root) {
  std::error_code ec;
  fs::path p = fs::absolute(root, ec).lexically_normal();
  if (p.has_filename() == false) p = p.parent_path();
  return p;
}

// Builds a complete machine in a fresh sibling folder and returns it.
WinError buildMachine(const fs::path& root, const std::wstring& image, std::string* built,
                      std::wstring* message) {
  const std::string images = imagesFolder();
  const std::string imageDir = images + "/" + toUtf8(image);
  const std::string defaultDir = images + "/" + toUtf8(kDefaultImage);
  std::error_code ec;
  if (!validImageName(image) || !fs::is_directory(imageDir, ec)) {
    if (message) *message = L"no machine image '" + image + L"' in " + fromUtf8(images);
    return ERROR_FILE_NOT_FOUND;
  }
  if (!fs::is_directory(defaultDir, ec)) {
    if (message) *message = L"the default machine image is missing from " + fromUtf8(images);
    return ERROR_FILE_NOT_FOUND;
  }
  fs::create_directories(root.parent_path(), ec);
  removeStaleSiblings(root);
  const std::string work = siblingFolder(root, "init");
  if (!fs::create_directory(work, ec)) {
    if (message) *message = L"cannot create " + fromUtf8(work) + L": " + fromUtf8(ec.message());
    return ERROR_CANTWRITE;
  }
  fs::create_directories(work + "/drive_c", ec);
  fs::create_directories(work + "/run", ec);
  WinError e = detail::applyImage(work, defaultDir, message);
  if (e == ERROR_SUCCESS && image != kDefaultImage) e = detail::applyImage(work, imageDir, message);
  if (e == ERROR_SUCCESS) detail::installProgramFiles(work);
  if (e == ERROR_SUCCESS) {
    if (replaceFile(work + "/" + kMarker, "image=" + toUtf8(image) + "\n") != ERROR_SUCCESS)
      e = ERROR_CANTWRITE;
  }
  if (e != ERROR_SUCCESS) {
    fs::remove_all(work, ec);
    return e;
  }
  *built = work;
  return ERROR_SUCCESS;
}

class Machine final : public IMachine {
 public:
  Machine(std::string root, std::unique_ptr<IRegistry> registry)
      : root_(std::move(root)), registry_(std::move(registry)) {
    paths_ = std::shared_ptr<const IPathMapper>(createPathMapper(root_));
    environment_ = createEnvironment(*registry_);
    folders_ = createSpecialFolders(*registry_, *environment_);
    version_ = createVersionInfo(*registry_);
    system_ = createSystemInfo(paths_);
    eventLog_ = openEventLogStore(root_ + "/eventlog.db", *registry_);
  }
  IRegistry& registry() override { return *registry_; }
  const IPathMapper& paths() const override { return *paths_; }
  IEnvironment& environment() override { return *environment_; }
  const ISpecialFolders& specialFolders() const override { return *folders_; }
  const IVersionInfo& versionInfo() const override { return *version_; }
  const ISystemInfo& systemInfo() const override { return *system_; }
  const std::string& hostRoot() const override { return root_; }
  IEventLog& eventLog() override { return *eventLog_; }

 private:
  std::string root_;
  std::unique_ptr<IRegistry> registry_;
  std::shared_ptr<const IPathMapper> paths_;
  std::unique_ptr<IEnvironment> environment_;
  std::unique_ptr<ISpecialFolders> folders_;
  std::unique_ptr<IVersionInfo> version_;
  std::unique_ptr<ISystemInfo> system_;
  std::unique_ptr<IEventLog> eventLog_;
};

std::mutex gCurrentLock;
std::unique_ptr<IMachine> gCurrent;  // guarded by gCurrentLock
bool gCurrentTried = false;          // a failed open is not retried on every call

}  // namespace

std::string machineRootFromEnvironment() {
  std::string root = envOr("ZOREL_MACHINE");
  if (!root.empty()) return root;
  std::string data = envOr("XDG_DATA_HOME");
  if (data.empty()) {
    const std::string home = envOr("HOME");
    if (home.empty()) return {};
    data = home + "/.local/share";
  }
  return data + "/zorel/machine";
}

std::string imagesFolder() {
  std::string images = envOr("ZOREL_IMAGES");
  return images.empty() ? std::string(ZOREL_IMAGES_DIR) : images;
}

std::vector<MachineImage> listMachineImages() {
  std::vector<MachineImage> images;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(imagesFolder(), ec)) {
    std::error_code typeEc;
    if (!entry.is_directory(typeEc)) continue;
    MachineImage image;
    image.name = fromUtf8(entry.path().filename().string());
    if (!validImageName(image.name)) continue;
    std::ifstream about(entry.path() / "about.txt");
    std::string line;
    if (std::getline(about, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      image.description = fromUtf8(line);
    }
    images.push_back(std::move(image));
  }
  std::sort(images.begin(), images.end(),
            [](const MachineImage& a, const MachineImage& b) { return a.name < b.name; });
  return images;
}

bool machineIsInitialised(const std::string& root) {
  struct stat st;
  return !root.empty() && ::stat((root + "/" + kMarker).c_str(), &st) == 0;
}

std::wstring machineImageName(const std::string& root) {
  std::ifstream in(root + "/" + kMarker);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("image=", 0) == 0) return fromUtf8(line.substr(6));
  return {};
}

WinError initMachine(const std::string& rootText, const std::wstring& image, bool* created,
                     std::wstring* message) {
  if (created) *created = false;
  if (rootText.empty()) {
    if (message) *message = L"no machine root: set ZOREL_MACHINE or HOME";
    return ERROR_PATH_NOT_FOUND;
  }
  const fs::path root = normalRoot(rootText);
  if (machineIsInitialised(root.string())) return ERROR_SUCCESS;
  std::error_code ec;
  if (fs::exists(root, ec) && !folderIsEmpty(root.string())) {
    if (message)
      *message = fromUtf8(root.string()) + L" exists and is not a machine root; not touched";
    return ERROR_ALREADY_EXISTS;
  }
  std::string built;
  if (WinError e = buildMachine(root, image, &built, message)) return e;
  // rename() replaces a missing or empty folder in one step.
  if (hostCalls().rename(built.c_str(), root.c_str()) != 0) {
    const int err = errno;
    fs::remove_all(built, ec);
    if (machineIsInitialised(root.string())) return ERROR_SUCCESS;  // another process won
    if (message) *message = L"cannot move the new machine into place: " + fromUtf8(std::strerror(err));
    return ERROR_CANTWRITE;
  }
  if (created) *created = true;
  return ERROR_SUCCESS;
}

WinError resetMachine(const std::string& rootText, const std::wstring& image,
                      std::wstring* message) {
  if (rootText.empty()) {
    if (message) *message = L"no machine root: set ZOREL_MACHINE or HOME";
    return ERROR_PATH_NOT_FOUND;
  }
  const fs::path root = normalRoot(rootText);
  std::error_code ec;
  const bool exists = fs::exists(root, ec);
  if (exists && !machineIsInitialised(root.string()) && !folderIsEmpty(root.string())) {
    if (message)
      *message = fromUtf8(root.string()) + L" exists and is not a machine root; not touched";
    return ERROR_ALREADY_EXISTS;
  }
  std::string built;
  if (WinError e = buildMachine(root, image, &built, message)) return e;
  // The old machine is moved aside first, so at every moment the root is
  // either the old machine, missing, or the new one.
  std::string old;
  if (exists) {
    old = siblingFolder(root, "old");
    if (hostCalls().rename(root.c_str(), old.c_str()) != 0) {
      fs::remove_all(built, ec);
      if (message) *message = L"cannot move the old machine aside: " + fromUtf8(std::strerror(errno));
      return ERROR_CANTWRITE;
    }
  }
  if (hostCalls().rename(built.c_str(), root.c_str()) != 0) {
    if (message) *message = L"cannot move the new machine into place: " + fromUtf8(std::strerror(errno));
    fs::remove_all(built, ec);
    if (!old.empty()) hostCalls().rename(old.c_str(), root.c_str());
    return ERROR_CANTWRITE;
  }
  if (!old.empty()) fs::remove_all(old, ec);
  return ERROR_SUCCESS;
}

WinError openMachine(const std::string& rootText, const MachineOpenOptions& options,
                     std::unique_ptr<IMachine>* machine, std::wstring* message) {
  if (WinError e = initMachine(rootText, kDefaultImage, nullptr, message)) return e;
  const std::string root = normalRoot(rootText).string();
  RegistryOptions regOptions;
  regOptions.readOnly = options.readOnlyRegistry;
  std::unique_ptr<IRegistry> registry;
  if (WinError e = openRegistry(root + "/registry.db", regOptions, &registry)) {
    if (message) *message = L"cannot open the registry of " + fromUtf8(root);
    return e;
  }
  if (!options.readOnlyRegistry) {
    detail::startMachine(*registry, *createSystemInfo(std::shared_ptr<const IPathMapper>(
                                        createPathMapper(root))));
    detail::linkSystemTools(root, createVersionInfo(*registry)->is64BitOperatingSystem());
  }
  auto m = std::make_unique<Machine>(root, std::move(registry));
  *machine = std::move(m);
  return ERROR_SUCCESS;
}

IMachine* currentMachine() {
  std::lock_guard<std::mutex> g(gCurrentLock);
  if (!gCurrent && !gCurrentTried) {
    gCurrentTried = true;
    std::unique_ptr<IMachine> m;
    if (openMachine(machineRootFromEnvironment(), MachineOpenOptions{}, &m) == ERROR_SUCCESS)
      gCurrent = std::move(m);
  }
  return gCurrent.get();
}

void setCurrentMachine(std::unique_ptr<IMachine> machine) {
  std::lock_guard<std::mutex> g(gCurrentLock);
  gCurrent = std::move(machine);
  gCurrentTried = true;
}

namespace detail {

std::string lockFolder() {
  const std::string root = machineRootFromEnvironment();
  if (!root.empty() && machineIsInitialised(root)) return root + "/run";
  return hostFallbackTempFolder() + "zorel-run";
}

std::string hostFallbackTempFolder() {
  std::string folder = envOr("TMPDIR");
  if (folder.empty()) folder = "/tmp";
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace detail
}  // namespace zorel::platform
