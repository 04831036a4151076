// zorel machine init [--image NAME] | reset [--image NAME] | info | images
//              | regacl KEY [--grant|--deny ACCOUNT:RIGHTS [--inherit]] [--revoke ACCOUNT]
//              | eventlog import FILE
//
// init creates the machine root from an image unless it holds a machine;
// reset replaces it with a fresh one; info describes it (creating it from
// the default image first, like any other use of the machine); images
// lists the image folders one line each; regacl
// prints a registry key's DACL (its own entries, then the inherited ones)
// and changes its own entries by SetEntriesInAclW's rules; eventlog import
// appends the records of a JSON-lines file (eventlog/event_import.h) in one
// transaction, or none of them.


#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/eventlog/event_import.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/machine/accounts.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::cli {
namespace {

using namespace zorel::platform;

void fail(const char* what, WinError code, const std::wstring& message) {
  std::string reason = message.empty() ? toUtf8(systemErrorMessage(static_cast<uint32_t>(code)))
                                       : toUtf8(message);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  std::fprintf(stderr, "zorel machine %s: %s (error %d)\n", what, reason.c_str(), code);
}

std::string describeVersion(const IVersionInfo& v) {
  OsVersionInfoEx info;
  if (v.getVersionEx(info) != ERROR_SUCCESS) return "unknown";
  std::string text = std::to_string(info.majorVersion) + "." + std::to_string(info.minorVersion) +
                     "." + std::to_string(info.buildNumber);
  if (!info.csdVersion.empty()) text += " " + toUtf8(info.csdVersion);
  return text;
}

uint64_t fileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<uint64_t>(size);
}

int printInfo(IMachine& m) {
  const IVersionInfo& v = m.versionInfo();
  const ISpecialFolders& f = m.specialFolders();
  std::wstring locale;
  lcidToLocaleName(v.systemDefaultUILanguage(), locale);
  uint32_t product = 0;
  v.getProductInfo(6, 2, 0, 0, product);
  std::wstring computer, user, temp, appdata;
  m.environment().getVariable(L"COMPUTERNAME", computer);
  m.environment().getVariable(L"USERNAME", user);
  m.environment().getVariable(L"TEMP", temp);
  m.environment().getVariable(L"APPDATA", appdata);
  std::wstring programFiles, programFilesX86, profile;
  f.getFolderPath(CSIDL_PROGRAM_FILES, programFiles);
  f.getFolderPath(CSIDL_PROGRAM_FILESX86, programFilesX86);
  f.getFolderPath(CSIDL_PROFILE, profile);
  const std::string db = m.hostRoot() + "/registry.db";
  const uint64_t regBytes = fileSize(db) + fileSize(db + "-wal");

  std::printf("%-21s%s\n", "Machine root:", m.hostRoot().c_str());
  std::printf("%-21s%s\n", "Image:", toUtf8(machineImageName(m.hostRoot())).c_str());
  std::printf("%-21s%s\n", "Windows:", toUtf8(v.productName()).c_str());
  std::printf("%-21s%s (product type %u)\n", "Edition:", toUtf8(v.editionId()).c_str(), product);
  std::printf("%-21s%s\n", "Version:", describeVersion(v).c_str());
  std::printf("%-21s%s\n", "Architecture:", v.is64BitOperatingSystem() ? "64-bit" : "32-bit");
  std::printf("%-21s%s\n", "Language:", toUtf8(locale).c_str());
  std::printf("%-21s%s\n", "Computer name:", toUtf8(computer).c_str());
  std::printf("%-21s%s\n", "User:", toUtf8(user).c_str());
  std::printf("%-21s%s\n", "Windows folder:", toUtf8(f.windowsDirectory()).c_str());
  std::printf("%-21s%s\n", "System folder:", toUtf8(f.systemDirectory()).c_str());
  std::printf("%-21s%s\n", "Program Files:", toUtf8(programFiles).c_str());
  std::printf("%-21s%s\n", "Program Files (x86):", toUtf8(programFilesX86).c_str());
  std::printf("%-21s%s\n", "User profile:", toUtf8(profile).c_str());
  std::printf("%-21s%s\n", "AppData:", toUtf8(appdata).c_str());
  std::printf("%-21s%s\n", "Temp:", toUtf8(temp).c_str());
  std::printf("%-21s%llu bytes\n", "Registry size:", static_cast<unsigned long long>(regBytes));
  return 0;
}

// One line per image: its name and what Windows it is.
int printImages() {
  const std::vector<MachineImage> images = listMachineImages();
  if (images.empty()) {
    std::fprintf(stderr, "zorel machine images: no images in %s\n", imagesFolder().c_str());
    return 1;
  }
  for (const MachineImage& image : images) {
    std::printf("%-12s %s\n", toUtf8(image.name).c_str(),
                image.description.empty() ? "(no about.txt)" : toUtf8(image.description).c_str());
  }
  return 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: zorel machine init [--image NAME] | reset [--image NAME] | info | images\n"
               "       zorel machine regacl KEY [--grant|--deny ACCOUNT:read|write|full|0xMASK "
               "[--inherit]] [--revoke ACCOUNT]\n"
               "       zorel machine eventlog import FILE.jsonl\n");
  return 1;
}

// zorel machine eventlog import FILE: "FILE:LINE: reason" and exit 1 on a
// bad line, nothing imported.
int runEventlog(const Args& args) {
  if (args.size() != 3 || args[1] != "import") return usage();
  const std::string root = machineRootFromEnvironment();
  std::wstring message;
  std::unique_ptr<IMachine> machine;
  if (openMachine(root, MachineOpenOptions{}, &machine, &message) != ERROR_SUCCESS) {
    std::fprintf(stderr, "zorel machine eventlog: %s\n", toUtf8(message).c_str());
    return 1;
  }
  std::wstring computer;
  machine->environment().getVariable(L"COMPUTERNAME", computer);
  size_t count = 0;
  std::string why;
  if (importEventLines(machine->eventLog(), args[2], args[2], computer, &count, &why) !=
      ERROR_SUCCESS) {
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  std::printf("Imported %zu record%s from %s\n", count, count == 1 ? "" : "s", args[2].c_str());
  return 0;
}

// "CI,OI" for the inheritance flags set, "-" for none.
std::string aceFlags(uint32_t flags) {
  static const struct {
    uint32_t bit;
    const char* name;
  } kFlags[] = {{CONTAINER_INHERIT_ACE, "CI"}, {OBJECT_INHERIT_ACE, "OI"},
                {NO_PROPAGATE_INHERIT_ACE, "NP"}, {INHERIT_ONLY_ACE, "IO"}, {INHERITED_ACE, "ID"}};
  std::string text;
  for (const auto& f : kFlags) {
    if (!(flags & f.bit)) continue;
    if (!text.empty()) text += ",";
    text += f.name;
  }
  return text.empty() ? "-" : text;
}

int regaclFail(const std::string& what) {
  std::fprintf(stderr, "zorel machine regacl: %s\n", what.c_str());
  return 1;
}

std::string errorText(WinError code) {
  std::string text = toUtf8(systemErrorMessage(static_cast<uint32_t>(code)));
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text + " (error " + std::to_string(code) + ")";
}

// read, write, full or a hexadecimal mask.
bool parseRights(const std::string& text, uint32_t* mask) {
  if (text == "read") *mask = KEY_READ;
  else if (text == "write") *mask = KEY_WRITE;
  else if (text == "full") *mask = KEY_ALL_ACCESS;
  else if (text.size() > 2 && text.size() <= 10 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
           text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos)
    *mask = static_cast<uint32_t>(std::stoul(text.substr(2), nullptr, 16));
  else return false;
  return true;
}

int runRegacl(const Args& args) {
  if (args.size() < 2) return usage();
  struct Change {
    int mode;
    std::string account;
    uint32_t mask;
    uint32_t inheritance;
  };
  std::vector<Change> changes;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if ((a == "--grant" || a == "--deny") && i + 1 < args.size()) {
      const std::string entry = args[++i];
      const size_t colon = entry.rfind(':');
      uint32_t mask = 0;
      if (colon == std::string::npos || colon == 0 || !parseRights(entry.substr(colon + 1), &mask))
        return regaclFail("expected ACCOUNT:read|write|full|0xMASK, got '" + entry + "'");
      changes.push_back({a == "--grant" ? GRANT_ACCESS : DENY_ACCESS, entry.substr(0, colon), mask, 0});
    } else if (a == "--inherit" && !changes.empty() && changes.back().mode != REVOKE_ACCESS) {
      changes.back().inheritance = CONTAINER_INHERIT_ACE;
    } else if (a == "--revoke" && i + 1 < args.size()) {
      changes.push_back({REVOKE_ACCESS, args[++i], 0, 0});
    } else {
      return usage();
    }
  }
  const std::string root = machineRootFromEnvironment();
  std::wstring message;
  if (!machineIsInitialised(root) &&
      initMachine(root, L"default", nullptr, &message) != ERROR_SUCCESS)
    return regaclFail(toUtf8(message));
  // The machine is opened (and so started) as any use does; the key's
  // security is read and written with backup and restore rights, so a DACL
  // that locks everyone out can still be shown and mended.
  std::unique_ptr<IMachine> machine;
  if (openMachine(root, MachineOpenOptions{}, &machine, &message) != ERROR_SUCCESS)
    return regaclFail(toUtf8(message));
  RegistryOptions options;
  options.backupRestore = true;
  std::unique_ptr<IRegistry> opened;
  WinError openError = openRegistry(root + "/registry.db", options, &opened);
  if (openError != ERROR_SUCCESS) return regaclFail(errorText(openError));
  IRegistry& registry = *opened;
  RegKey rootKey;
  std::wstring subKey;
  if (parseKeyPath(fromUtf8(args[1]), &rootKey, &subKey) != ERROR_SUCCESS)
    return regaclFail("not a registry key: " + args[1]);
  RegKey key;
  WinError e = registry.openKey(rootKey, subKey, 0,
                                READ_CONTROL | (changes.empty() ? 0 : WRITE_DAC), &key);
  if (e != ERROR_SUCCESS) return regaclFail(args[1] + ": " + errorText(e));
  KeySecurity security;
  e = registry.getKeySecurity(key, &security);
  for (const Change& c : changes) {
    if (e != ERROR_SUCCESS) break;
    AccountInfo account;
    if (lookupAccountName(registry, fromUtf8(c.account), &account) != ERROR_SUCCESS) {
      registry.closeKey(key);
      return regaclFail("unknown account: " + c.account);
    }
    e = mergeAclEntry(&security, c.mode, account.name, c.mask, c.inheritance);
  }
  if (e == ERROR_SUCCESS && !changes.empty()) {
    e = registry.setKeySecurity(key, security);
    if (e == ERROR_SUCCESS) e = registry.getKeySecurity(key, &security);
  }
  registry.closeKey(key);
  if (e != ERROR_SUCCESS) return regaclFail(args[1] + ": " + errorText(e));
  if (!security.hasDacl) {
    std::printf("no DACL\n");
    return 0;
  }
  if (security.dacl.empty()) std::printf("empty DACL\n");
  // Own entries first, then the inherited ones.
  for (bool inherited : {false, true}) {
    for (const RegAce& ace : security.dacl) {
      if (((ace.flags & INHERITED_ACE) != 0) != inherited) continue;
      std::printf("%s 0x%08X %s %s\n", ace.allow ? "allow" : "deny", ace.mask,
                  aceFlags(ace.flags).c_str(), toUtf8(ace.account).c_str());
    }
  }
  return 0;
}

}  // namespace

int runMachine(const Args& args) {
  if (args.empty()) return usage();
  const std::string& verb = args[0];
  if (verb == "regacl") return runRegacl(args);
  if (verb == "eventlog") return runEventlog(args);
  if (verb == "images") return args.size() == 1 ? printImages() : usage();
  std::wstring image = L"default";
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--image" && i + 1 < args.size()) {
      image = fromUtf8(args[++i]);
    } else {
      return usage();
    }
  }
  const std::string root = machineRootFromEnvironment();
  std::wstring message;
  if (verb == "init") {
    bool created = false;
    WinError e = initMachine(root, image, &created, &message);
    if (e != ERROR_SUCCESS) {
      fail("init", e, message);
      return 1;
    }
    if (created) {
      std::printf("Created machine %s from image %s\n", root.c_str(), toUtf8(image).c_str());
    } else {
      std::printf("Machine %s already exists (image %s); nothing changed\n", root.c_str(),
                  toUtf8(machineImageName(root)).c_str());
    }
    return 0;
  }
  if (verb == "reset") {
    WinError e = resetMachine(root, image, &message);
    if (e != ERROR_SUCCESS) {
      fail("reset", e, message);
      return 1;
    }
    std::printf("Reset machine %s from image %s\n", root.c_str(), toUtf8(image).c_str());
    return 0;
  }
  if (verb == "info") {
    if (!machineIsInitialised(root)) {
      WinError e = initMachine(root, image, nullptr, &message);
      if (e != ERROR_SUCCESS) {
        fail("info", e, message);
        return 1;
      }
    }
    std::unique_ptr<IMachine> machine;
    WinError e = openMachine(root, MachineOpenOptions{}, &machine, &message);
    if (e != ERROR_SUCCESS) {
      fail("info", e, message);
      return 1;
    }
    return printInfo(*machine);
  }
  return usage();
}

}  // namespace zorel::cli
