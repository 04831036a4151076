// Version-argument format, UAC level, edition names and the OS description.

#include "zorel/plugins/os/os_texts.h"

#include <boost/regex.hpp>

namespace zorel::os_texts {

namespace {

using namespace zorel::platform;

// The argument format the version checks accept, alternatives as written.
const boost::regex& VersionPattern() {
  static const boost::regex pattern(
      "([0-9])|([0-9][0-9])|([0-9][.][0-9])|([0-9][0-9][.][0-9])|([0-9][0-9][.][0-9][0-9])");
  return pattern;
}

struct EditionEntry {
  uint32_t type;
  const wchar_t* name;
};

const EditionEntry kEditions[] = {
    {1, L"Ultimate Edition"},
    {2, L"Home Basic Edition"},
    {3, L"Home Premium Edition"},
    {4, L"Enterprise Edition"},
    {5, L"Home Basic Edition N"},
    {6, L"Business Edition"},
    {7, L"Server Standard Edition"},
    {8, L"Server Datacenter Edition"},
    {9, L"Small Business Server"},
    {10, L"Server Enterprise Edition"},
    {11, L"Starter Edition"},
    {12, L"Server Datacenter Edition (Server Core)"},
    {13, L"Server Standard Edition (Server Core)"},
    {14, L"Server Enterprise Edition (Server Core)"},
    {15, L"Server Enterprise Edition for Itanium-based Systems"},
    {16, L"Business Edition N"},
    {17, L"Web Edition"},
    {18, L"HPC Edition"},
    {20, L"Storage Server Express Edition"},
    {21, L"Storage Server Standard Edition"},
    {22, L"Storage Server Workgroup Edition"},
    {23, L"Storage Server Enterprise Edition"},
    {24, L"for Windows Essential Server Solutions"},
    {26, L"Home Premium Edition N"},
    {27, L"Enterprise Edition N"},
    {28, L"Ultimate Edition N"},
    {29, L"Web Edition (Server Core)"},
    {30, L"Essential Business Server Management Server"},
    {31, L"Essential Business Server Security Server"},
    {32, L"Essential Business Server Messaging Server"},
    {33, L"Server Foundation Edition"},
    {35, L"without Hyper-V for Windows Essential Server Solutions"},
    {36, L"Server Standard Edition without Hyper-V"},
    {37, L"Server Datacenter Edition without Hyper-V"},
    {38, L"Server Enterprise Edition without Hyper-V"},
    {39, L"Server Datacenter Edition without Hyper-V (Server Core)"},
    {40, L"Server Standard Edition without Hyper-V (Server Core)"},
    {41, L"Server Enterprise Edition without Hyper-V (Server Core)"},
    {42, L"Hyper-V Server Edition"},
    {47, L"Starter Edition N"},
    {48, L"Professional Edition"},
    {49, L"Professional Edition N"},
    {66, L"Starter Edition E"},
    {67, L"Home Basic Edition E"},
    {68, L"Home Premium Edition E"},
    {69, L"Professional Edition E"},
    {70, L"Enterprise Edition E"},
    {71, L"Ultimate Edition E"},
    {74, L"Consumer Preview"},
};

bool Has(uint16_t suiteMask, uint16_t bit) { return (suiteMask & bit) != 0; }

// The edition words Windows Server 2003 (5.2) adds for a server.
std::wstring ServerEdition2003(const OsDetailFacts& facts) {
  const uint16_t suite = facts.version.suiteMask;
  const uint16_t arch = facts.nativeArchitecture;
  if (arch == PROCESSOR_ARCHITECTURE_IA64) {
    if (Has(suite, VER_SUITE_DATACENTER)) return L"Datacenter Edition for Itanium-based Systems ";
    if (Has(suite, VER_SUITE_ENTERPRISE)) return L"Enterprise Edition for Itanium-based Systems ";
    return L"";
  }
  if (arch == PROCESSOR_ARCHITECTURE_AMD64) {
    if (Has(suite, VER_SUITE_DATACENTER)) return L"Datacenter x64 Edition ";
    if (Has(suite, VER_SUITE_ENTERPRISE)) return L"Enterprise x64 Edition ";
    return L"Standard x64 Edition ";
  }
  if (Has(suite, VER_SUITE_COMPUTE_SERVER)) return L"Compute Cluster Edition ";
  if (Has(suite, VER_SUITE_DATACENTER)) return L"Datacenter Edition ";
  if (Has(suite, VER_SUITE_ENTERPRISE)) return L"Enterprise Edition ";
  if (Has(suite, VER_SUITE_BLADE)) return L"Web Edition ";
  return L"Standard Edition ";
}

std::wstring Windows2003Text(const OsDetailFacts& facts) {
  const OsVersionInfoEx& v = facts.version;
  const bool workstation = v.productType == VER_NT_WORKSTATION;
  // Without GetNativeSystemInfo the architecture is unknown, as a zeroed
  // SYSTEM_INFO reads: x86.
  const uint16_t arch = facts.haveNativeInfo ? facts.nativeArchitecture
                                             : PROCESSOR_ARCHITECTURE_INTEL;
  OsDetailFacts local = facts;
  local.nativeArchitecture = arch;
  std::wstring text;
  if (facts.serverR2 != 0) {
    text = L"Microsoft Windows Server 2003 R2 ";
  } else if (Has(v.suiteMask, VER_SUITE_STORAGE_SERVER)) {
    text = L"Microsoft Windows Storage Server 2003 ";
  } else if (Has(v.suiteMask, VER_SUITE_WH_SERVER)) {
    text = L"Microsoft Windows Home Server ";
  } else if (workstation && arch == PROCESSOR_ARCHITECTURE_AMD64) {
    text = L"Microsoft Windows XP Professional x64 Edition ";
  } else {
    text = L"Microsoft Windows XP Server 2003 ";
  }
  if (!workstation) text += ServerEdition2003(local);
  return text;
}

std::wstring NtText(const OsDetailFacts& facts) {
  const OsVersionInfoEx& v = facts.version;
  const bool workstation = v.productType == VER_NT_WORKSTATION;
  std::wstring text;
  const wchar_t* base = nullptr;
  if (v.majorVersion == 10 && v.minorVersion == 0) {
    base = workstation ? L"Windows 10 " : L"Windows 10 Server ";
  } else if (v.majorVersion == 6 && v.minorVersion == 3) {
    base = workstation ? L"Microsoft Windows 8.1 " : L"Microsoft Windows Server 2012 R2 ";
  } else if (v.majorVersion == 6 && v.minorVersion == 2) {
    base = workstation ? L"Microsoft Windows 8 " : L"Microsoft Windows Server 2012 ";
  } else if (v.majorVersion == 6 && v.minorVersion == 1) {
    base = workstation ? L"Microsoft Windows 7 " : L"Microsoft Windows Server 2008 R2 ";
  } else if (v.majorVersion == 6 && v.minorVersion == 0) {
    base = workstation ? L"Microsoft Windows Vista " : L"Microsoft Windows Server 2008 ";
  }
  if (base) {
    text = base;
    if (facts.productType) text += EditionName(*facts.productType);
  } else if (v.majorVersion == 5 && v.minorVersion == 2) {
    text = Windows2003Text(facts);
  } else if (v.majorVersion == 5 && v.minorVersion == 1) {
    text = L"Microsoft Windows XP ";
    if (facts.mediaCenter != 0) text += L"Media Center Edition ";
    else if (facts.starter != 0) text += L"Starter Edition ";
    else if (facts.tabletPc != 0) text += L"Tablet PC Edition ";
    else if (Has(v.suiteMask, VER_SUITE_PERSONAL)) text += L"Home Edition ";
    else text += L"Professional Edition ";
  } else if (v.majorVersion == 5 && v.minorVersion == 0) {
    text = L"Microsoft Windows 2000 ";
    if (workstation) text += L"Professional ";
    else if (Has(v.suiteMask, VER_SUITE_DATACENTER)) text += L"Datacenter Server ";
    else if (Has(v.suiteMask, VER_SUITE_ENTERPRISE)) text += L"Advanced Server ";
    else text += L"Server ";
  } else if (v.majorVersion <= 4) {
    text = L"Microsoft Windows NT ";
  }
  // Versions this table does not know (a newer minor, majors 7 to 9, ...)
  // still get the build number.
  text += L"(Build " + std::to_wstring(v.buildNumber & 0xFFFF) + L")";
  return text;
}

std::wstring Win9xText(const OsVersionInfoEx& v) {
  if (v.majorVersion != 4) return L"";
  const wchar_t letter = v.csdVersion.size() > 1 ? v.csdVersion[1] : L'\0';
  switch (v.minorVersion) {
    case 0:
      return (letter == L'B' || letter == L'C') ? L"Microsoft Windows 95 OSR2 "
                                                : L"Microsoft Windows 95 ";
    case 10:
      return (letter == L'A' || letter == L'B') ? L"Microsoft Windows 98 SE "
                                                : L"Microsoft Windows 98 ";
    case 90:
      return L"Microsoft Windows Millennium Edition";
    default:
      return L"";
  }
}

}  // namespace

bool ParseVersionText(const std::string& text, int32_t& major, int32_t& minor) {
  if (!boost::regex_match(text, VersionPattern())) return false;
  // The pattern allows at most two digits on either side of the point.
  const size_t dot = text.find('.');
  major = std::stoi(text.substr(0, dot));
  minor = dot == std::string::npos ? 0 : std::stoi(text.substr(dot + 1));
  return true;
}

int32_t UacStatus(uint32_t consentPromptBehaviorAdmin,
                  std::optional<uint32_t> promptOnSecureDesktop) {
  if (consentPromptBehaviorAdmin == 0) return 1;
  if (!promptOnSecureDesktop) return 0;
  if (consentPromptBehaviorAdmin == 2) return 4;
  if (consentPromptBehaviorAdmin == 5 && *promptOnSecureDesktop == 1) return 3;
  if (consentPromptBehaviorAdmin == 5 && *promptOnSecureDesktop == 0) return 2;
  return 0;
}

std::wstring EditionName(uint32_t productType) {
  for (const EditionEntry& e : kEditions)
    if (e.type == productType) return e.name;
  return L"";
}

std::wstring OsDetailText(const OsDetailFacts& facts) {
  if (!facts.haveVersion) return L"";
  switch (facts.version.platformId) {
    case 0: return L"Microsoft Win32s";
    case 1: return Win9xText(facts.version);
    case VER_PLATFORM_WIN32_NT: return NtText(facts);
    default: return L"";
  }
}

}  // namespace zorel::os_texts
