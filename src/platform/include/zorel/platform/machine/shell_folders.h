#pragma once
// Shell special folders (CSIDL) and the Windows and system directories.
//
// Windows: SHGetFolderPathW, GetWindowsDirectoryW, GetSystemDirectoryW,
// GetSystemWow64DirectoryW.
// Linux emulation: the paths come from the machine's registry where Windows
// keeps them: "User Shell Folders" of HKCU (per user) and HKLM (common,
// Public and ProgramData folders), expanded with the environment block;
// SystemRoot; the ProgramFilesDir / CommonFilesDir values of
// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion. Virtual folders (Control
// Panel, Printers, Recycle Bin, Computer, Network, Internet) have no path.
// The answers are Windows paths.

#include <cstdint>
#include <memory>
#include <string>

namespace zorel::platform {

class IRegistry;
class IEnvironment;

inline constexpr int CSIDL_DESKTOP = 0x0000;
inline constexpr int CSIDL_INTERNET = 0x0001;
inline constexpr int CSIDL_PROGRAMS = 0x0002;
inline constexpr int CSIDL_CONTROLS = 0x0003;
inline constexpr int CSIDL_PRINTERS = 0x0004;
inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_FAVORITES = 0x0006;
inline constexpr int CSIDL_STARTUP = 0x0007;
inline constexpr int CSIDL_RECENT = 0x0008;
inline constexpr int CSIDL_SENDTO = 0x0009;
inline constexpr int CSIDL_BITBUCKET = 0x000a;
inline constexpr int CSIDL_STARTMENU = 0x000b;
inline constexpr int CSIDL_MYDOCUMENTS = 0x000c;
inline constexpr int CSIDL_MYMUSIC = 0x000d;
inline constexpr int CSIDL_MYVIDEO = 0x000e;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_DRIVES = 0x0011;
inline constexpr int CSIDL_NETWORK = 0x0012;
inline constexpr int CSIDL_NETHOOD = 0x0013;
inline constexpr int CSIDL_FONTS = 0x0014;
inline constexpr int CSIDL_TEMPLATES = 0x0015;
inline constexpr int CSIDL_COMMON_STARTMENU = 0x0016;
inline constexpr int CSIDL_COMMON_PROGRAMS = 0x0017;
inline constexpr int CSIDL_COMMON_STARTUP = 0x0018;
inline constexpr int CSIDL_COMMON_DESKTOPDIRECTORY = 0x0019;
inline constexpr int CSIDL_APPDATA = 0x001a;
inline constexpr int CSIDL_PRINTHOOD = 0x001b;
inline constexpr int CSIDL_LOCAL_APPDATA = 0x001c;
inline constexpr int CSIDL_ALTSTARTUP = 0x001d;
inline constexpr int CSIDL_COMMON_ALTSTARTUP = 0x001e;
inline constexpr int CSIDL_COMMON_FAVORITES = 0x001f;
inline constexpr int CSIDL_INTERNET_CACHE = 0x0020;
inline constexpr int CSIDL_COOKIES = 0x0021;
inline constexpr int CSIDL_HISTORY = 0x0022;
inline constexpr int CSIDL_COMMON_APPDATA = 0x0023;
inline constexpr int CSIDL_WINDOWS = 0x0024;
inline constexpr int CSIDL_SYSTEM = 0x0025;
inline constexpr int CSIDL_PROGRAM_FILES = 0x0026;
inline constexpr int CSIDL_MYPICTURES = 0x0027;
inline constexpr int CSIDL_PROFILE = 0x0028;
inline constexpr int CSIDL_SYSTEMX86 = 0x0029;
inline constexpr int CSIDL_PROGRAM_FILESX86 = 0x002a;
inline constexpr int CSIDL_PROGRAM_FILES_COMMON = 0x002b;
inline constexpr int CSIDL_PROGRAM_FILES_COMMONX86 = 0x002c;
inline constexpr int CSIDL_COMMON_TEMPLATES = 0x002d;
inline constexpr int CSIDL_COMMON_DOCUMENTS = 0x002e;
inline constexpr int CSIDL_COMMON_ADMINTOOLS = 0x002f;
inline constexpr int CSIDL_ADMINTOOLS = 0x0030;
inline constexpr int CSIDL_COMMON_MUSIC = 0x0035;
inline constexpr int CSIDL_COMMON_PICTURES = 0x0036;
inline constexpr int CSIDL_COMMON_VIDEO = 0x0037;
inline constexpr int CSIDL_CDBURN_AREA = 0x003b;
inline constexpr int CSIDL_FLAG_CREATE = 0x8000;

inline constexpr int32_t kSOk = 0;
inline constexpr int32_t kEInvalidArg = static_cast<int32_t>(0x80070057u);  // E_INVALIDARG

class ISpecialFolders {
 public:
  virtual ~ISpecialFolders() = default;

  // SHGetFolderPathW(no window, csidl, no token, SHGFP_TYPE_CURRENT).
  // Flag bits in csidl (CSIDL_FLAG_CREATE, ...) are ignored: the machine's
  // folders exist from its image on.
  // RETURNS S_OK and the path; E_INVALIDARG for a virtual folder or an
  // unknown number (path untouched).
  virtual int32_t getFolderPath(int csidl, std::wstring& path) const = 0;

  // GetWindowsDirectoryW / GetSystemDirectoryW / GetSystemWow64DirectoryW
  // (empty on a 32-bit machine, which has no SysWOW64; there the x86 CSIDLs
  // name the native System32 and Program Files folders).
  virtual std::wstring windowsDirectory() const = 0;
  virtual std::wstring systemDirectory() const = 0;
  virtual std::wstring systemWow64Directory() const = 0;
};

std::unique_ptr<ISpecialFolders> createSpecialFolders(IRegistry& registry,
                                                      const IEnvironment& environment);

}  // namespace zorel::platform
