// regedit: the console forms of the registry editor, /S FILE (import
// silently) and /E FILE [KEY] (export). Lines of the file that cannot be
// read are reported on stderr with their numbers; the rest is applied.

#include <fstream>

#include "wintools.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::wintools {

using namespace platform;

namespace {

std::string hostFile(const std::wstring& path) {
  if (!path.empty() && path[0] == L'/') return toUtf8(path);
  IMachine* machine = currentMachine();
  std::string host;
  if (machine && machine->paths().toHostPath(path, host) == ERROR_SUCCESS) return host;
  return toUtf8(path);
}

int importFile(const std::wstring& file) {
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  RegImportResult result;
  WinError rc = importRegFile(*reg, hostFile(file), &result);
  if (rc == ERROR_FILE_NOT_FOUND) {
    err(L"regedit: Cannot import " + file + L": Error opening the file.\n");
    return 1;
  }
  if (rc == ERROR_BAD_FORMAT) {
    err(L"regedit: Cannot import " + file + L": The specified file is not a registry script.\n");
    return 1;
  }
  if (rc != ERROR_SUCCESS) {
    err(L"regedit: Cannot import " + file + L": error " + std::to_wstring(rc) + L".\n");
    return 1;
  }
  for (const RegFileProblem& p : result.problems) {
    err(L"regedit: " + file + L": line " + std::to_wstring(p.line) + L": " + p.message + L"\n");
  }
  return 0;
}

int exportFile(const std::wstring& file, const std::wstring& key) {
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return 1;
  std::string bytes;
  WinError rc = exportRegKey(*reg, key, RegFileFormat::Version5, &bytes);
  if (rc != ERROR_SUCCESS) {
    err(L"regedit: Cannot export " + key + L": " +
        (rc == ERROR_FILE_NOT_FOUND ? std::wstring(L"the key does not exist.")
         : rc == ERROR_INVALID_PARAMETER ? std::wstring(L"invalid key name.")
                                         : L"error " + std::to_wstring(rc) + L".") + L"\n");
    return 1;
  }
  std::ofstream out(hostFile(file), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    err(L"regedit: Cannot write " + file + L".\n");
    return 1;
  }
  return 0;
}

}  // namespace

int regeditMain(const Args& args) {
  bool silent = false, exporting = false;
  std::vector<std::wstring> rest;
  for (const std::wstring& a : args) {
    if (isOption(a, L"s")) silent = true;
    else if (isOption(a, L"e")) exporting = true;
    else if (a.size() == 2 && (a[0] == L'/' || a[0] == L'-')) continue;  // /V /L:... ignored
    else rest.push_back(a);
  }
  if (exporting) {
    if (rest.empty() || rest.size() > 2) {
      err(L"regedit: /E needs a file name and at most one key.\n");
      return 1;
    }
    return exportFile(rest[0], rest.size() == 2 ? rest[1] : L"");
  }
  if (rest.empty()) {
    err(L"regedit: no file to import (regedit /S FILE, regedit /E FILE [KEY]).\n");
    return 1;
  }
  (void)silent;  // there is no window to ask in: every import is silent
  int exit = 0;
  for (const std::wstring& file : rest) exit |= importFile(file);
  return exit;
}

}  // namespace zorel::wintools
