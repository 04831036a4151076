// The special-folder table and the two-step expansion of path variables.

#include "zorel/pathvars/env_and_csidl_variable.h"

#include <cwctype>
#include <vector>

#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/system/version_info.h"

namespace zorel {
namespace {

using namespace zorel::platform;

struct CsidlRow {
  const wchar_t* name;
  int number;
};

// Table order matters only for the map's contents, not its lookups.
const CsidlRow kCsidlTable[] = {
    {L"CSIDL_ADMINTOOLS", CSIDL_ADMINTOOLS},
    {L"CSIDL_ALTSTARTUP", CSIDL_ALTSTARTUP},
    {L"CSIDL_APPDATA", CSIDL_APPDATA},
    {L"CSIDL_BITBUCKET", CSIDL_BITBUCKET},
    {L"CSIDL_CDBURN_AREA", CSIDL_CDBURN_AREA},
    {L"CSIDL_COMMON_ADMINTOOLS", CSIDL_COMMON_ADMINTOOLS},
    {L"CSIDL_COMMON_ALTSTARTUP", CSIDL_COMMON_ALTSTARTUP},
    {L"CSIDL_COMMON_APPDATA", CSIDL_COMMON_APPDATA},
    {L"CSIDL_COMMON_DESKTOPDIRECTORY", CSIDL_COMMON_DESKTOPDIRECTORY},
    {L"CSIDL_COMMON_DOCUMENTS", CSIDL_COMMON_DOCUMENTS},
    {L"CSIDL_COMMON_FAVORITES", CSIDL_COMMON_FAVORITES},
    {L"CSIDL_COMMON_MUSIC", CSIDL_COMMON_MUSIC},
    {L"CSIDL_COMMON_PICTURES", CSIDL_COMMON_PICTURES},
    {L"CSIDL_COMMON_PROGRAMS", CSIDL_COMMON_PROGRAMS},
    {L"CSIDL_COMMON_STARTMENU", CSIDL_COMMON_STARTMENU},
    {L"CSIDL_COMMON_STARTUP", CSIDL_COMMON_STARTUP},
    {L"CSIDL_COMMON_TEMPLATES", CSIDL_COMMON_TEMPLATES},
    {L"CSIDL_COMMON_VIDEO", CSIDL_COMMON_VIDEO},
    {L"CSIDL_CONTROLS", CSIDL_CONTROLS},
    {L"CSIDL_COOKIES", CSIDL_COOKIES},
    {L"CSIDL_DESKTOP", CSIDL_DESKTOP},
    {L"CSIDL_DESKTOPDIRECTORY", CSIDL_DESKTOPDIRECTORY},
    {L"CSIDL_DRIVES", CSIDL_DRIVES},
    {L"CSIDL_FAVORITES", CSIDL_FAVORITES},
    {L"CSIDL_FONTS", CSIDL_FONTS},
    {L"CSIDL_HISTORY", CSIDL_HISTORY},
    {L"CSIDL_INTERNET", CSIDL_INTERNET},
    {L"CSIDL_INTERNET_CACHE", CSIDL_INTERNET_CACHE},
    {L"CSIDL_LOCAL_APPDATA", CSIDL_LOCAL_APPDATA},
    {L"CSIDL_MYDOCUMENTS", CSIDL_MYDOCUMENTS},
    {L"CSIDL_MYMUSIC", CSIDL_MYMUSIC},
    {L"CSIDL_MYPICTURES", CSIDL_MYPICTURES},
    {L"CSIDL_MYVIDEO", CSIDL_MYVIDEO},
    {L"CSIDL_NETHOOD", CSIDL_NETHOOD},
    {L"CSIDL_NETWORK", CSIDL_NETWORK},
    {L"CSIDL_PERSONAL", CSIDL_PERSONAL},
    {L"CSIDL_PRINTERS", CSIDL_PRINTERS},
    {L"CSIDL_PRINTHOOD", CSIDL_PRINTHOOD},
    {L"CSIDL_PROFILE", CSIDL_PROFILE},
    {L"CSIDL_PROGRAM_FILES", CSIDL_PROGRAM_FILES},
    {L"CSIDL_PROGRAM_FILES_COMMON", CSIDL_PROGRAM_FILES_COMMON},
    {L"CSIDL_PROGRAMS", CSIDL_PROGRAMS},
    {L"CSIDL_RECENT", CSIDL_RECENT},
    {L"CSIDL_SENDTO", CSIDL_SENDTO},
    {L"CSIDL_STARTMENU", CSIDL_STARTMENU},
    {L"CSIDL_STARTUP", CSIDL_STARTUP},
    {L"CSIDL_SYSTEM", CSIDL_SYSTEM},
    {L"CSIDL_TEMPLATES", CSIDL_TEMPLATES},
    {L"CSIDL_WINDOWS", CSIDL_WINDOWS},
    {L"CSIDL_SYSTEMX86", CSIDL_SYSTEMX86},
    {L"CSIDL_PROGRAM_FILESX86", CSIDL_PROGRAM_FILESX86},
    {L"CSIDL_PROGRAM_FILES_COMMONX86", CSIDL_PROGRAM_FILES_COMMONX86},
    // Names Windows does not define: the folders a 32-bit and a 64-bit
    // process see differently.
    {L"CSIDL_PROGRAM_FILES_X64", 400},
    {L"CSIDL_PROGRAM_FILES_AUTO", 401},
    {L"CSIDL_PROGRAM_FILES_COMMON_X64", 402},
    {L"CSIDL_PROGRAM_FILES_COMMON_AUTO", 403},
};

constexpr uint32_t kExpandBufferChars = 6144;
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

bool equalsIgnoreCase(const std::wstring& a, const wchar_t* b) {
  const std::wstring bb(b);
  if (a.size() != bb.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(bb[i])) return false;
  return true;
}

std::wstring trimBlanks(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// A string value read as the registry call reads it into a 1024-byte
// buffer: empty when the key or value cannot be read or does not fit.
std::wstring readProgramFilesValue(IRegistry& registry, const wchar_t* valueName, bool view64) {
  RegKey key = kRegNoKey;
  const uint32_t access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
  if (registry.openKey(kHkeyLocalMachine, kCurrentVersion, 0, access, &key) != ERROR_SUCCESS)
    return {};
  uint8_t buffer[1024] = {};
  uint32_t size = sizeof buffer;
  uint32_t type = 0;
  const WinError e = registry.queryValue(key, valueName, &type, buffer, &size);
  registry.closeKey(key);
  if (e != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  return regText(std::vector<uint8_t>(buffer, buffer + size));
}

}  // namespace

EnvAndCsidlVariable& EnvAndCsidlVariable::Instance() {
  static EnvAndCsidlVariable* instance = new EnvAndCsidlVariable(FollowCurrent{});
  return *instance;
}

EnvAndCsidlVariable::EnvAndCsidlVariable(platform::IMachine* machine) : machine_(machine) {}

EnvAndCsidlVariable::EnvAndCsidlVariable(FollowCurrent) : followCurrent_(true) {}

platform::IMachine* EnvAndCsidlVariable::machine() const {
  return followCurrent_ ? platform::currentMachine() : machine_;
}

EnvAndCsidlVariable::~EnvAndCsidlVariable() = default;

void EnvAndCsidlVariable::Build() { buildFor(machine()); }

void EnvAndCsidlVariable::buildFor(platform::IMachine* m) const {
  folders_.clear();
  builtFor_ = m;
  if (!m) return;
  const bool wow64 = m->versionInfo().isWow64Process();
  for (const CsidlRow& row : kCsidlTable) {
    const std::wstring name = row.name;
    if (equalsIgnoreCase(name, L"CSIDL_PROGRAM_FILES_X64")) {
      folders_[name] = readProgramFilesValue(m->registry(), L"ProgramFilesDir", true);
    } else if (equalsIgnoreCase(name, L"CSIDL_PROGRAM_FILES_AUTO")) {
      folders_[name] = readProgramFilesValue(m->registry(), L"ProgramFilesDir", wow64);
    } else if (equalsIgnoreCase(name, L"CSIDL_PROGRAM_FILES_COMMON_X64")) {
      folders_[name] = readProgramFilesValue(m->registry(), L"CommonFilesDir", true);
    } else if (equalsIgnoreCase(name, L"CSIDL_PROGRAM_FILES_COMMON_AUTO")) {
      folders_[name] = readProgramFilesValue(m->registry(), L"CommonFilesDir", wow64);
    } else {
      std::wstring path;
      if (m->specialFolders().getFolderPath(row.number, path) == kSOk) folders_[name] = path;
    }
  }
}

bool EnvAndCsidlVariable::Expand(std::wstring& text) const {
  if (text.find(L'%') == std::wstring::npos) return false;
  platform::IMachine* m = machine();
  if (followCurrent_ && m != builtFor_) buildFor(m);
  if (m) {
    std::vector<wchar_t> buffer(kExpandBufferChars, L'\0');
    const uint32_t n = m->environment().expandEnvironmentStrings(text.c_str(), buffer.data(),
                                                                         kExpandBufferChars);
    // A result longer than the buffer is not in it: keep the text rather
    // than take a buffer that was never filled.
    if (n != 0 && n <= kExpandBufferChars) text = buffer.data();
  }
  std::vector<std::wstring> pieces;
  size_t start = 0;
  while (true) {
    const size_t pos = text.find(L'%', start);
    pieces.push_back(text.substr(start, pos == std::wstring::npos ? std::wstring::npos : pos - start));
    if (pos == std::wstring::npos) break;
    start = pos + 1;
  }
  for (const std::wstring& raw : pieces) {
    const std::wstring key = trimBlanks(raw);
    if (key.empty()) continue;
    auto it = folders_.find(key);
    if (it == folders_.end()) continue;
    const std::wstring pattern = L"%" + key + L"%";
    for (size_t at = text.find(pattern); at != std::wstring::npos;
         at = text.find(pattern, at + it->second.size()))
      text.replace(at, pattern.size(), it->second);
  }
  return true;
}

}  // namespace zorel
