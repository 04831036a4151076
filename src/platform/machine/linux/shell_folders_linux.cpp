// SHGetFolderPathW over the machine's registry (see shell_folders.h).

#include "zorel/platform/machine/environment.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/machine/shell_folders.h"

namespace zorel::platform {
namespace {

const wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

enum class Source {
  Virtual,       // no file-system path
  User,          // HKCU User Shell Folders value, default below %USERPROFILE%
  Common,        // HKLM User Shell Folders value, default below its variable
  Windows,       // below %SystemRoot%
  ProgramFiles,  // HKLM CurrentVersion value
  Profile,       // %USERPROFILE%
};

struct Folder {
  int csidl;
  Source source;
  const wchar_t* value;       // registry value name (User, Common, ProgramFiles)
  const wchar_t* fallback;    // used when the value is missing: an expandable path
};

// What Windows 7 and later answer. CSIDL_MYDOCUMENTS and CSIDL_COMMON_FAVORITES
// are mapped onto the user's Documents and Favorites by the shell itself.
const Folder kFolders[] = {
    {CSIDL_DESKTOP, Source::User, L"Desktop", L"%USERPROFILE%\\Desktop"},
    {CSIDL_INTERNET, Source::Virtual, nullptr, nullptr},
    {CSIDL_PROGRAMS, Source::User, L"Programs", L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_CONTROLS, Source::Virtual, nullptr, nullptr},
    {CSIDL_PRINTERS, Source::Virtual, nullptr, nullptr},
    {CSIDL_PERSONAL, Source::User, L"Personal", L"%USERPROFILE%\\Documents"},
    {CSIDL_FAVORITES, Source::User, L"Favorites", L"%USERPROFILE%\\Favorites"},
    {CSIDL_STARTUP, Source::User, L"Startup",
     L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {CSIDL_RECENT, Source::User, L"Recent", L"%APPDATA%\\Microsoft\\Windows\\Recent"},
    {CSIDL_SENDTO, Source::User, L"SendTo", L"%APPDATA%\\Microsoft\\Windows\\SendTo"},
    {CSIDL_BITBUCKET, Source::Virtual, nullptr, nullptr},
    {CSIDL_STARTMENU, Source::User, L"Start Menu", L"%APPDATA%\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_MYDOCUMENTS, Source::User, L"Personal", L"%USERPROFILE%\\Documents"},
    {CSIDL_MYMUSIC, Source::User, L"My Music", L"%USERPROFILE%\\Music"},
    {CSIDL_MYVIDEO, Source::User, L"My Video", L"%USERPROFILE%\\Videos"},
    {CSIDL_DESKTOPDIRECTORY, Source::User, L"Desktop", L"%USERPROFILE%\\Desktop"},
    {CSIDL_DRIVES, Source::Virtual, nullptr, nullptr},
    {CSIDL_NETWORK, Source::Virtual, nullptr, nullptr},
    {CSIDL_NETHOOD, Source::User, L"NetHood", L"%APPDATA%\\Microsoft\\Windows\\Network Shortcuts"},
    {CSIDL_FONTS, Source::Windows, nullptr, L"Fonts"},
    {CSIDL_TEMPLATES, Source::User, L"Templates", L"%APPDATA%\\Microsoft\\Windows\\Templates"},
    {CSIDL_COMMON_STARTMENU, Source::Common, L"Common Start Menu",
     L"%ProgramData%\\Microsoft\\Windows\\Start Menu"},
    {CSIDL_COMMON_PROGRAMS, Source::Common, L"Common Programs",
     L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs"},
    {CSIDL_COMMON_STARTUP, Source::Common, L"Common Startup",
     L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, Source::Common, L"Common Desktop", L"%PUBLIC%\\Desktop"},
    {CSIDL_APPDATA, Source::User, L"AppData", L"%USERPROFILE%\\AppData\\Roaming"},
    {CSIDL_PRINTHOOD, Source::User, L"PrintHood", L"%APPDATA%\\Microsoft\\Windows\\Printer Shortcuts"},
    {CSIDL_LOCAL_APPDATA, Source::User, L"Local AppData", L"%USERPROFILE%\\AppData\\Local"},
    // The shell maps the two alternate start-up folders onto nothing since Vista.
    {CSIDL_ALTSTARTUP, Source::Virtual, nullptr, nullptr},
    {CSIDL_COMMON_ALTSTARTUP, Source::Virtual, nullptr, nullptr},
    {CSIDL_COMMON_FAVORITES, Source::User, L"Favorites", L"%USERPROFILE%\\Favorites"},
    {CSIDL_INTERNET_CACHE, Source::User, L"Cache",
     L"%LOCALAPPDATA%\\Microsoft\\Windows\\INetCache"},
    {CSIDL_COOKIES, Source::User, L"Cookies", L"%LOCALAPPDATA%\\Microsoft\\Windows\\INetCookies"},
    {CSIDL_HISTORY, Source::User, L"History", L"%LOCALAPPDATA%\\Microsoft\\Windows\\History"},
    {CSIDL_COMMON_APPDATA, Source::Common, L"Common AppData", L"%ProgramData%"},
    {CSIDL_WINDOWS, Source::Windows, nullptr, L""},
    {CSIDL_SYSTEM, Source::Windows, nullptr, L"System32"},
    {CSIDL_PROGRAM_FILES, Source::ProgramFiles, L"ProgramFilesDir", L"%SystemDrive%\\Program Files"},
    {CSIDL_MYPICTURES, Source::User, L"My Pictures", L"%USERPROFILE%\\Pictures"},
    {CSIDL_PROFILE, Source::Profile, nullptr, nullptr},
    {CSIDL_SYSTEMX86, Source::Windows, nullptr, L"SysWOW64"},
    {CSIDL_PROGRAM_FILESX86, Source::ProgramFiles, L"ProgramFilesDir (x86)",
     L"%SystemDrive%\\Program Files (x86)"},
    {CSIDL_PROGRAM_FILES_COMMON, Source::ProgramFiles, L"CommonFilesDir",
     L"%SystemDrive%\\Program Files\\Common Files"},
    {CSIDL_PROGRAM_FILES_COMMONX86, Source::ProgramFiles, L"CommonFilesDir (x86)",
     L"%SystemDrive%\\Program Files (x86)\\Common Files"},
    {CSIDL_COMMON_TEMPLATES, Source::Common, L"Common Templates",
     L"%ProgramData%\\Microsoft\\Windows\\Templates"},
    {CSIDL_COMMON_DOCUMENTS, Source::Common, L"Common Documents", L"%PUBLIC%\\Documents"},
    {CSIDL_COMMON_ADMINTOOLS, Source::Common, L"Common Administrative Tools",
     L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools"},
    {CSIDL_ADMINTOOLS, Source::User, L"Administrative Tools",
     L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools"},
    {CSIDL_COMMON_MUSIC, Source::Common, L"CommonMusic", L"%PUBLIC%\\Music"},
    {CSIDL_COMMON_PICTURES, Source::Common, L"CommonPictures", L"%PUBLIC%\\Pictures"},
    {CSIDL_COMMON_VIDEO, Source::Common, L"CommonVideo", L"%PUBLIC%\\Videos"},
    {CSIDL_CDBURN_AREA, Source::User, L"CD Burning",
     L"%LOCALAPPDATA%\\Microsoft\\Windows\\Burn\\Burn"},
};

class RegistrySpecialFolders final : public ISpecialFolders {
 public:
  RegistrySpecialFolders(IRegistry& registry, const IEnvironment& environment)
      : registry_(registry), environment_(environment) {}

  int32_t getFolderPath(int csidl, std::wstring& path) const override {
    int number = csidl & 0xFF;
    // A 32-bit Windows has no separate x86 folders: they are the native ones.
    if (is32BitMachine()) {
      if (number == CSIDL_SYSTEMX86) number = CSIDL_SYSTEM;
      if (number == CSIDL_PROGRAM_FILESX86) number = CSIDL_PROGRAM_FILES;
      if (number == CSIDL_PROGRAM_FILES_COMMONX86) number = CSIDL_PROGRAM_FILES_COMMON;
    }
    for (const Folder& f : kFolders) {
      if (f.csidl != number) continue;
      std::wstring found;
      if (!resolve(f, found) || found.empty()) return kEInvalidArg;
      path = found;
      return kSOk;
    }
    return kEInvalidArg;
  }

  std::wstring windowsDirectory() const override {
    std::wstring root;
    if (environment_.getVariable(L"SystemRoot", root) != ERROR_SUCCESS || root.empty())
      root = L"C:\\Windows";
    return root;
  }
  std::wstring systemDirectory() const override { return windowsDirectory() + L"\\System32"; }
  std::wstring systemWow64Directory() const override {
    return is32BitMachine() ? std::wstring() : windowsDirectory() + L"\\SysWOW64";
  }

 private:
  bool is32BitMachine() const {
    std::wstring architecture;
    return environment_.getVariable(L"PROCESSOR_ARCHITECTURE", architecture) == ERROR_SUCCESS &&
           (architecture == L"x86" || architecture == L"X86");
  }

  bool resolve(const Folder& f, std::wstring& out) const {
    std::wstring text;
    switch (f.source) {
      case Source::Virtual:
        return false;
      case Source::Profile:
        return environment_.getVariable(L"USERPROFILE", out) == ERROR_SUCCESS;
      case Source::Windows:
        out = windowsDirectory();
        if (*f.fallback) out += std::wstring(L"\\") + f.fallback;
        return true;
      case Source::ProgramFiles:
        // The 64-bit program's view: no WOW6432Node redirection.
        if (readString(registry_, kHkeyLocalMachine, kCurrentVersion, f.value, &text,
                       KEY_WOW64_64KEY) != ERROR_SUCCESS || text.empty())
          text = f.fallback;
        break;
      case Source::User:
        if (readString(registry_, kHkeyCurrentUser, kUserShellFolders, f.value, &text) !=
                ERROR_SUCCESS || text.empty()) {
          if (readString(registry_, kHkeyCurrentUser, kShellFolders, f.value, &text) !=
                  ERROR_SUCCESS || text.empty())
            text = f.fallback;
        }
        break;
      case Source::Common:
        if (readString(registry_, kHkeyLocalMachine, kUserShellFolders, f.value, &text) !=
                ERROR_SUCCESS || text.empty())
          text = f.fallback;
        break;
    }
    out = environment_.expand(text);
    // A folder whose variables are not set has no path.
    return out.find(L'%') == std::wstring::npos || text.find(L'%') == std::wstring::npos;
  }

  IRegistry& registry_;
  const IEnvironment& environment_;
};

}  // namespace

std::unique_ptr<ISpecialFolders> createSpecialFolders(IRegistry& registry,
                                                      const IEnvironment& environment) {
  return std::make_unique<RegistrySpecialFolders>(registry, environment);
}

}  // namespace zorel::platform
