// Case folding, path splitting and WOW64 redirection for the emulated
// registry.

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

#include "registry/linux/registry_names.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform::reg {

namespace {

// Windows upper-cases names with its own table covering all of Unicode; the
// host's "C.UTF-8" locale gives the same mapping for the letters that have
// one. Without it, only ASCII is folded.
locale_t foldLocale() {
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (l == static_cast<locale_t>(0)) {
      l = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }
    return l;
  }();
  return loc;
}

// Keys below SOFTWARE that the 32-bit and 64-bit views share (Windows 7 and
// later), as folded paths relative to SOFTWARE.
constexpr const wchar_t* kShared[] = {
    L"CLIENTS",
    L"MICROSOFT\\COM3",
    L"MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\CURRENT",
    L"MICROSOFT\\CRYPTOGRAPHY\\CALAIS\\READERS",
    L"MICROSOFT\\CRYPTOGRAPHY\\SERVICES",
    L"MICROSOFT\\CTF\\SYSTEMSHARED",
    L"MICROSOFT\\CTF\\TIP",
    L"MICROSOFT\\DFS",
    L"MICROSOFT\\DRIVER SIGNING",
    L"MICROSOFT\\ENTERPRISECERTIFICATES",
    L"MICROSOFT\\EVENTSYSTEM",
    L"MICROSOFT\\MSMQ",
    L"MICROSOFT\\NON-DRIVER SIGNING",
    L"MICROSOFT\\NOTEPAD\\DEFAULTFONTS",
    L"MICROSOFT\\OLE",
    L"MICROSOFT\\RAS",
    L"MICROSOFT\\RPC",
    L"MICROSOFT\\SHARED TOOLS\\MSINFO",
    L"MICROSOFT\\SYSTEMCERTIFICATES",
    L"MICROSOFT\\TERMSERVLICENSING",
    L"MICROSOFT\\TRANSACTION SERVER",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\CONTROL PANEL\\CURSORS\\SCHEMES",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\AUTOPLAYHANDLERS",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\DRIVEICONS",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\EXPLORER\\KINDMAP",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\GROUP POLICY",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\POLICIES",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\PREVIEWHANDLERS",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\SETUP",
    L"MICROSOFT\\WINDOWS\\CURRENTVERSION\\TELEPHONY\\LOCATIONS",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\CONSOLE",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTDPI",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTLINK",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTMAPPER",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTSUBSTITUTES",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\GRE_INITIALIZE",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\IMAGE FILE EXECUTION OPTIONS",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\LANGUAGEPACK",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\NETWORKCARDS",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PERFLIB",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PORTS",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PRINT",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\PROFILELIST",
    L"MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\TIME ZONES",
    L"POLICIES",
    L"REGISTEREDAPPLICATIONS",
};

// Classes subkeys that do have a 32-bit copy (under Classes\Wow6432Node).
constexpr const wchar_t* kRedirectedClasses[] = {
    L"CLSID", L"DIRECTSHOW", L"INTERFACE", L"MEDIA TYPE", L"MEDIAFOUNDATION",
};

constexpr const wchar_t* kWowNode = L"WOW6432NODE";

// True when path[from..] starts with the backslash-separated folded prefix.
bool startsWith(const std::vector<Component>& path, std::size_t from,
                std::wstring_view prefix) {
  std::size_t i = from;
  while (!prefix.empty()) {
    std::size_t slash = prefix.find(L'\\');
    std::wstring_view part = prefix.substr(0, slash);
    if (i >= path.size() || path[i].fold != part) return false;
    ++i;
    prefix = slash == std::wstring_view::npos ? std::wstring_view() : prefix.substr(slash + 1);
  }
  return true;
}

// Redirection of a Software\Classes tree whose "CLASSES" component is at
// index at; returns the insertion index or -1.
int redirectClasses(std::vector<Component>* path, std::size_t at) {
  std::size_t child = at + 1;
  if (child >= path->size() || (*path)[child].fold == kWowNode) return -1;
  for (const wchar_t* name : kRedirectedClasses) {
    if ((*path)[child].fold == name) {
      path->insert(path->begin() + child, Component{L"WOW6432Node", kWowNode});
      return static_cast<int>(child);
    }
  }
  return -1;
}

}  // namespace

std::wstring foldName(std::wstring_view name) {
  std::wstring out(name);
  locale_t loc = foldLocale();
  for (wchar_t& c : out) {
    if (c < 0x80) {
      if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    } else if (loc != static_cast<locale_t>(0)) {
      c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), loc));
    }
  }
  return out;
}

WinError splitSubKey(std::wstring_view subKey, std::vector<Component>* out) {
  out->clear();
  if (!subKey.empty() && subKey.front() == L'\\') return ERROR_BAD_PATHNAME;
  if (subKey.find(L'\0') != std::wstring_view::npos) return ERROR_INVALID_PARAMETER;
  std::size_t start = 0;
  while (start <= subKey.size()) {
    std::size_t slash = subKey.find(L'\\', start);
    std::size_t end = slash == std::wstring_view::npos ? subKey.size() : slash;
    if (end > start) {
      std::wstring_view part = subKey.substr(start, end - start);
      if (part.size() > kRegMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
      out->push_back(Component{std::wstring(part), foldName(part)});
      if (out->size() > kRegMaxDepth) return ERROR_INVALID_PARAMETER;
    }
    if (slash == std::wstring_view::npos) break;
    start = slash + 1;
  }
  return ERROR_SUCCESS;
}

int redirect32(Hive hive, std::vector<Component>* path) {
  if (hive == Hive::Users) {
    // HKU\<sid>\Software\Classes\CLSID and friends.
    if (path->size() >= 3 && (*path)[1].fold == L"SOFTWARE" &&
        (*path)[2].fold == L"CLASSES") {
      return redirectClasses(path, 2);
    }
    return -1;
  }
  if (path->size() < 2 || (*path)[0].fold != L"SOFTWARE") return -1;
  const std::wstring& first = (*path)[1].fold;
  if (first == kWowNode) return -1;
  if (first == L"CLASSES") return redirectClasses(path, 1);
  for (const wchar_t* shared : kShared) {
    if (startsWith(*path, 1, shared)) return -1;
  }
  path->insert(path->begin() + 1, Component{L"WOW6432Node", kWowNode});
  return 1;
}

}  // namespace zorel::platform::reg
