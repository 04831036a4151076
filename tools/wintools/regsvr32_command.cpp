// regsvr32: registers a COM server from its registration scripts, every
// resource of the named type "REGISTRY" in resource order, applied as one
// registry batch. No code of the DLL runs (its DllRegisterServer would run
// the same scripts through the registrar): a DLL without such a resource is
// refused with exit code 4 where Windows would call its entry point.
//
// The System32 copy writes x86-64 DLLs to the 64-bit view and hands i386
// ones to the 32-bit view, as the 64-bit regsvr32 starts the 32-bit one;
// the SysWOW64 copy writes the 32-bit view and cannot load x86-64 DLLs.
// Exit codes are regsvr32's: 0 registered; 1 bad arguments; 3 the file is
// missing or not a PE image it can load; 4 no registration script; 5 a
// script that does not parse or cannot be applied (nothing is applied).
// Without /s one line tells the outcome.

#include <cwctype>

#include "registrar.h"
#include "wintools.h"
#include "zorel/platform/fs/pe_resource.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::wintools {

using namespace platform;

namespace {

constexpr int kRegistered = 0, kBadArguments = 1, kLoadFailed = 3, kNoEntryPoint = 4,
              kCallFailed = 5;

struct Outcome {
  bool silent = false;
  int report(int code, const std::wstring& line) const {
    if (!silent) (code == 0 ? out : err)(line + L"\n");
    return code;
  }
};

// Deletes root\key with everything below it in the view; a missing key is
// no error.
WinError deleteInView(IRegistry& reg, RegKey root, const std::wstring& key, uint32_t view) {
  const size_t slash = key.rfind(L'\\');
  const std::wstring parentPath = slash == std::wstring::npos ? L"" : key.substr(0, slash);
  const std::wstring leaf = slash == std::wstring::npos ? key : key.substr(slash + 1);
  RegKey parent;
  WinError e = reg.openKey(root, parentPath, 0, KEY_READ | DELETE | view, &parent);
  if (e == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (e != ERROR_SUCCESS) return e;
  e = reg.deleteTree(parent, leaf);
  reg.closeKey(parent);
  return e == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : e;
}

WinError apply(IRegistry& reg, const RegistrarOp& op, uint32_t view) {
  RegKey root;
  std::wstring rest;
  WinError e = parseKeyPath(op.root, &root, &rest);
  if (e != ERROR_SUCCESS) return e;
  if (op.kind == RegistrarOp::kForceRemoveKey || op.kind == RegistrarOp::kDeleteKey) {
    e = deleteInView(reg, root, op.key, view);
    if (e != ERROR_SUCCESS || op.kind == RegistrarOp::kDeleteKey) return e;
  }
  RegKey key;
  e = reg.createKey(root, op.key, REG_OPTION_NON_VOLATILE, KEY_WRITE | view, &key, nullptr);
  if (e != ERROR_SUCCESS) return e;
  if (op.kind == RegistrarOp::kSetValue) e = writeValue(reg, key, op.name, op.type, op.data);
  reg.closeKey(key);
  return e;
}

}  // namespace

int regsvr32Main(const Args& args) {
  Outcome outcome;
  std::wstring module;
  int paths = 0;
  for (const std::wstring& a : args) {
    if (isOption(a, L"s")) outcome.silent = true;
    else if (a.size() > 1 && (a[0] == L'/' || a[0] == L'-')) return outcome.report(kBadArguments, L"Unrecognized flag: " + a);
    else {
      module = a;
      ++paths;
    }
  }
  if (paths != 1) {
    return outcome.report(kBadArguments,
                          L"Usage: regsvr32 [/s] DLLNAME (registers the DLL's registration scripts)");
  }
  IRegistry* reg = machineRegistry();
  if (reg == nullptr) return kLoadFailed;
  IMachine* machine = currentMachine();
  const std::wstring loadFailed = L"The module \"" + module + L"\" failed to load.";
  std::string host;
  if (machine->paths().toHostPath(module, host) != ERROR_SUCCESS) return outcome.report(kLoadFailed, loadFailed);
  // The script's %MODULE%: the full Windows path of the DLL.
  const std::wstring fullPath =
      module.size() > 2 && module[1] == L':' && (module[2] == L'\\' || module[2] == L'/')
          ? module
          : machine->paths().toWindowsPath(host);

  MappedFile file;
  PeResources image;
  if (file.open(host) != ERROR_SUCCESS || image.open(file.data(), file.size()) == ERROR_BAD_FORMAT)
    return outcome.report(kLoadFailed, loadFailed);
  const uint16_t arch = image.machine();
  if (arch != IMAGE_FILE_MACHINE_I386 && (arch != IMAGE_FILE_MACHINE_AMD64 || g_started32))
    return outcome.report(kLoadFailed, loadFailed + L" It is not a valid image for this regsvr32.");
  const uint32_t view = g_started32 || arch == IMAGE_FILE_MACHINE_I386 ? KEY_WOW64_32KEY
                                                                       : KEY_WOW64_64KEY;

  const std::wstring noEntry = L"The module \"" + module +
                               L"\" was loaded but the entry-point DllRegisterServer was not found.";
  std::vector<ResourceId> names;
  if (image.names(ResourceId::byName(L"REGISTRY"), &names) != ERROR_SUCCESS || names.empty())
    return outcome.report(kNoEntryPoint, noEntry);
  const std::wstring callFailed = L"The module \"" + module +
                                  L"\" was loaded but the call to DllRegisterServer failed with "
                                  L"error code 0x80020009.";
  std::vector<RegistrarOp> ops;
  for (const ResourceId& name : names) {
    ResourceData data;
    if (image.find(ResourceId::byName(L"REGISTRY"), &name, machineLookupLanguages(), &data) !=
        ERROR_SUCCESS)
      return outcome.report(kCallFailed, callFailed);
    std::vector<RegistrarOp> scriptOps;
    std::wstring problem;
    if (!parseRegistrar(registrarText(data.data, data.size), fullPath, &scriptOps, &problem))
      return outcome.report(kCallFailed, callFailed + L" (" + problem + L")");
    ops.insert(ops.end(), scriptOps.begin(), scriptOps.end());
  }
  // One batch: a script that fails half-way leaves nothing behind.
  if (reg->beginBatch() != ERROR_SUCCESS) return outcome.report(kCallFailed, callFailed);
  for (const RegistrarOp& op : ops) {
    if (apply(*reg, op, view) != ERROR_SUCCESS) {
      reg->abortBatch();
      return outcome.report(kCallFailed, callFailed);
    }
  }
  if (reg->commitBatch() != ERROR_SUCCESS) return outcome.report(kCallFailed, callFailed);
  return outcome.report(kRegistered, L"DllRegisterServer in " + module + L" succeeded.");
}

}  // namespace zorel::wintools
