// Applies image folders (tree.txt and .reg files) to a new machine folder.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "machine/linux/machine_image_linux.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/eventlog/event_import.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/reg_file.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform::detail {
namespace fs = std::filesystem;

namespace {

std::string trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

WinError applyRegFiles(const std::string& dir, const std::string& imageDir, std::wstring* message);

WinError applyTree(const std::string& dir, const std::string& treeFile, std::wstring* message) {
  std::ifstream in(treeFile);
  if (!in) return ERROR_SUCCESS;  // an image may add no folders
  auto mapper = createPathMapper(dir);
  std::string driveC;
  if (mapper->toHostPath(L"C:\\", driveC) != ERROR_SUCCESS) return ERROR_PATH_NOT_FOUND;
  if (driveC.empty() || driveC.back() != '/') driveC.push_back('/');
  std::string line;
  size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    bool isFile = false, remove = false;
    if (line.rfind("file ", 0) == 0) {
      isFile = true;
      line = trim(line.substr(5));
    } else if (line[0] == '-') {
      remove = true;
      line = trim(line.substr(1));
    }
    std::string host;
    WinError bad = line.empty() ? ERROR_BAD_PATHNAME : ERROR_SUCCESS;
    if (!bad) bad = mapper->toHostPath(L"C:\\" + fromUtf8(line), host);
    // Every line names something below C:\, never the drive itself.
    if (!bad && host.compare(0, driveC.size(), driveC) != 0) bad = ERROR_BAD_PATHNAME;
    if (bad) {
      if (message) *message = L"tree.txt line " + std::to_wstring(number) + L": bad path";
      return bad;
    }
    std::error_code ec;
    if (remove) {
      // An image layered over another takes away what that one made.
      fs::remove_all(host, ec);
    } else if (isFile) {
      fs::create_directories(fs::path(host).parent_path(), ec);
      if (!fs::exists(host)) std::ofstream(host, std::ios::binary);
    } else {
      fs::create_directories(host, ec);
    }
    if (ec) {
      if (message) *message = L"cannot create " + fromUtf8(host) + L": " + fromUtf8(ec.message());
      return ERROR_CANTWRITE;
    }
  }
  return ERROR_SUCCESS;
}

// Imports the image's eventlog/*.jsonl in name order, each file whole or
// not at all; the computer name is the machine's as the .reg files left it.
WinError importImageEvents(const std::string& dir, const std::string& imageDir,
                           std::wstring* message) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(imageDir + "/eventlog", ec))
    if (entry.path().extension() == ".jsonl") files.push_back(entry.path().string());
  if (files.empty()) return ERROR_SUCCESS;
  std::sort(files.begin(), files.end());
  std::unique_ptr<IRegistry> registry;
  if (WinError e = openRegistry(dir + "/registry.db", RegistryOptions{}, &registry)) {
    if (message) *message = L"cannot open the registry in " + fromUtf8(dir);
    return e;
  }
  std::wstring computer;
  createEnvironment(*registry)->getVariable(L"COMPUTERNAME", computer);
  std::unique_ptr<IEventLog> log = openEventLogStore(dir + "/eventlog.db", *registry);
  for (const std::string& file : files) {
    std::string why;
    if (WinError e = importEventLines(*log, file, file, computer, nullptr, &why)) {
      if (message) *message = fromUtf8(why);
      return e;
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace

WinError applyImage(const std::string& dir, const std::string& imageDir, std::wstring* message) {
  if (WinError e = applyTree(dir, imageDir + "/tree.txt", message)) return e;
  if (WinError e = applyRegFiles(dir, imageDir, message)) return e;
  return importImageEvents(dir, imageDir, message);
}

namespace {

WinError applyRegFiles(const std::string& dir, const std::string& imageDir, std::wstring* message) {

  std::vector<std::string> regFiles;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(imageDir, ec))
    if (entry.path().extension() == ".reg") regFiles.push_back(entry.path().string());
  std::sort(regFiles.begin(), regFiles.end());
  if (regFiles.empty()) return ERROR_SUCCESS;

  std::unique_ptr<IRegistry> registry;
  if (WinError e = openRegistry(dir + "/registry.db", RegistryOptions{}, &registry)) {
    if (message) *message = L"cannot open the registry in " + fromUtf8(dir);
    return e;
  }
  for (const std::string& file : regFiles) {
    RegImportResult result;
    WinError e = importRegFile(*registry, file, &result);
    if (e == ERROR_SUCCESS && !result.problems.empty()) {
      // An image is ours: a line regedit would skip is a mistake in it.
      const RegFileProblem& p = result.problems.front();
      if (message)
        *message = fromUtf8(file) + L" line " + std::to_wstring(p.line) + L": " + p.message;
      return ERROR_BAD_FORMAT;
    }
    if (e != ERROR_SUCCESS) {
      if (message) *message = L"cannot import " + fromUtf8(file);
      return e;
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace zorel::platform::detail
