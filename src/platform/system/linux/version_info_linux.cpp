// Version and edition facts read from the machine's registry (see
// version_info.h for where each comes from).

#include <cwctype>
#include <iterator>
#include <memory>
#include <mutex>

#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/version_info.h"

namespace zorel::platform {
namespace {

const wchar_t kNtCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kControlWindows[] = L"SYSTEM\\CurrentControlSet\\Control\\Windows";
const wchar_t kProductOptions[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
const wchar_t kLanguage[] = L"SYSTEM\\CurrentControlSet\\Control\\Nls\\Language";
const wchar_t kSessionEnvironment[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

bool sameText(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

// EditionID to the PRODUCT_* number GetProductInfo answers.
struct Edition {
  const wchar_t* id;
  uint32_t product;
};
const Edition kEditions[] = {
    {L"Ultimate", 0x01},          {L"HomeBasic", 0x02},       {L"HomePremium", 0x03},
    {L"Enterprise", 0x04},        {L"HomeBasicN", 0x05},      {L"Business", 0x06},
    {L"ServerStandard", 0x07},    {L"ServerDatacenter", 0x08}, {L"ServerSBSStandard", 0x09},
    {L"ServerEnterprise", 0x0A},  {L"Starter", 0x0B},         {L"BusinessN", 0x10},
    {L"ServerWeb", 0x11},         {L"HomePremiumN", 0x1A},    {L"EnterpriseN", 0x1B},
    {L"UltimateN", 0x1C},         {L"StarterN", 0x2F},        {L"Professional", 0x30},
    {L"ProfessionalN", 0x31},     {L"StarterE", 0x42},        {L"HomeBasicE", 0x43},
    {L"HomePremiumE", 0x44},      {L"ProfessionalE", 0x45},   {L"EnterpriseE", 0x46},
    {L"UltimateE", 0x47},         {L"CoreN", 0x62},           {L"CoreCountrySpecific", 0x63},
    {L"CoreSingleLanguage", 0x64}, {L"Core", 0x65},           {L"Education", 0x79},
    {L"EducationN", 0x7A},        {L"EnterpriseS", 0x7D},     {L"EnterpriseSN", 0x7E},
    {L"ProfessionalWorkstation", 0xA1}, {L"ProfessionalWorkstationN", 0xA2},
    {L"ProfessionalEducation", 0xA4},   {L"ProfessionalEducationN", 0xA5},
};

struct Locale {
  uint32_t lcid;
  const wchar_t* name;
};
const Locale kLocales[] = {
    {0x0401, L"ar-SA"}, {0x0402, L"bg-BG"}, {0x0403, L"ca-ES"}, {0x0404, L"zh-TW"},
    {0x0405, L"cs-CZ"}, {0x0406, L"da-DK"}, {0x0407, L"de-DE"}, {0x0408, L"el-GR"},
    {0x0409, L"en-US"}, {0x040B, L"fi-FI"}, {0x040C, L"fr-FR"}, {0x040D, L"he-IL"},
    {0x040E, L"hu-HU"}, {0x0410, L"it-IT"}, {0x0411, L"ja-JP"}, {0x0412, L"ko-KR"},
    {0x0413, L"nl-NL"}, {0x0414, L"nb-NO"}, {0x0415, L"pl-PL"}, {0x0416, L"pt-BR"},
    {0x0418, L"ro-RO"}, {0x0419, L"ru-RU"}, {0x041A, L"hr-HR"}, {0x041B, L"sk-SK"},
    {0x041D, L"sv-SE"}, {0x041E, L"th-TH"}, {0x041F, L"tr-TR"}, {0x0422, L"uk-UA"},
    {0x0424, L"sl-SI"}, {0x0425, L"et-EE"}, {0x0426, L"lv-LV"}, {0x0427, L"lt-LT"},
    {0x042A, L"vi-VN"}, {0x0804, L"zh-CN"}, {0x0809, L"en-GB"}, {0x080A, L"es-MX"},
    {0x0816, L"pt-PT"}, {0x0C0A, L"es-ES"}, {0x0C0C, L"fr-CA"}, {0x0C04, L"zh-HK"},
    {0x081A, L"sr-Latn-CS"}, {0x0C09, L"en-AU"}, {0x1009, L"en-CA"},
};

// Everything the version calls answer from, read in one go.
struct VersionFacts {
  WinError versionError = ERROR_SUCCESS;
  OsVersionInfoEx version;
  std::wstring editionId;
  std::wstring productName;
  uint16_t language = 0x0409;
  uint16_t architecture = PROCESSOR_ARCHITECTURE_AMD64;
};

class RegistryVersionInfo final : public IVersionInfo {
 public:
  explicit RegistryVersionInfo(IRegistry& registry) : registry_(registry) {}

  WinError getVersionEx(OsVersionInfoEx& info) const override {
    const Snapshot facts = current();
    if (facts->versionError != ERROR_SUCCESS) return facts->versionError;
    info = facts->version;
    return ERROR_SUCCESS;
  }

 private:
  using Snapshot = std::shared_ptr<const VersionFacts>;

  // The facts as the registry holds them now. A check script asks these
  // questions thousands of times and each answer took a dozen registry
  // reads, so the facts are kept until the registry file changes (a write
  // here or by another process, such as a .reg import).
  Snapshot current() const {
    const int64_t stamp = registry_.changeStamp();
    std::lock_guard lock(mutex_);
    if (!cached_ || stamp < 0 || stamp != cachedStamp_) {
      auto facts = std::make_shared<VersionFacts>();
      facts->editionId = readEditionId();
      facts->versionError = readVersionEx(facts->version, facts->editionId);
      facts->productName = readProductName();
      facts->language = readLanguage();
      facts->architecture = readArchitecture();
      cached_ = std::move(facts);
      cachedStamp_ = stamp;
    }
    return cached_;
  }

  WinError readVersionEx(OsVersionInfoEx& info, const std::wstring& edition) const {
    OsVersionInfoEx v;
    uint32_t major = 0, minor = 0;
    std::wstring text;
    if (readDword(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"CurrentMajorVersionNumber",
                  &major) == ERROR_SUCCESS) {
      readDword(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"CurrentMinorVersionNumber",
                &minor);
    } else {
      // Before Windows 10 the version is the CurrentVersion text ("6.1").
      WinError e = readString(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"CurrentVersion",
                              &text);
      if (e != ERROR_SUCCESS) return e;
      major = static_cast<uint32_t>(std::wcstoul(text.c_str(), nullptr, 10));
      const size_t dot = text.find(L'.');
      minor = dot == std::wstring::npos
                  ? 0
                  : static_cast<uint32_t>(std::wcstoul(text.c_str() + dot + 1, nullptr, 10));
    }
    v.majorVersion = major;
    v.minorVersion = minor;
    v.platformId = VER_PLATFORM_WIN32_NT;
    if (readString(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"CurrentBuildNumber",
                   &text) == ERROR_SUCCESS)
      v.buildNumber = static_cast<uint32_t>(std::wcstoul(text.c_str(), nullptr, 10));
    if (readString(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"CSDVersion", &text) ==
        ERROR_SUCCESS)
      v.csdVersion = text.substr(0, 127);
    uint32_t sp = 0;
    if (readDword(registry_, kHkeyLocalMachine, kControlWindows, L"CSDVersion", &sp) ==
        ERROR_SUCCESS) {
      v.servicePackMajor = static_cast<uint16_t>((sp >> 8) & 0xFF);
      v.servicePackMinor = static_cast<uint16_t>(sp & 0xFF);
    }
    v.productType = VER_NT_WORKSTATION;
    if (readString(registry_, kHkeyLocalMachine, kProductOptions, L"ProductType", &text) ==
        ERROR_SUCCESS) {
      if (sameText(text, L"ServerNT")) v.productType = VER_NT_SERVER;
      if (sameText(text, L"LanmanNT")) v.productType = VER_NT_DOMAIN_CONTROLLER;
    }
    v.suiteMask = suiteMask(v.productType, edition);
    info = v;
    return ERROR_SUCCESS;
  }

 public:

  WinError verifyVersionInfo(const OsVersionInfoEx& wanted, uint32_t typeMask,
                             uint64_t conditionMask) const override {
    if (typeMask == 0) return ERROR_INVALID_PARAMETER;
    auto condition = [&](uint32_t bit) -> uint8_t {
      int index = 0;
      while (index < 8 && !(bit & (1u << index))) ++index;
      return static_cast<uint8_t>((conditionMask >> (index * 3)) & 7);
    };
    for (uint32_t bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1)
      if ((typeMask & bit) && condition(bit) == 0) return ERROR_INVALID_PARAMETER;

    const Snapshot facts = current();
    if (facts->versionError != ERROR_SUCCESS) return facts->versionError;
    const OsVersionInfoEx& have = facts->version;
    auto compare = [](uint64_t a, uint64_t b, uint8_t cond) {
      switch (cond) {
        case VER_EQUAL: return a == b;
        case VER_GREATER: return a > b;
        case VER_GREATER_EQUAL: return a >= b;
        case VER_LESS: return a < b;
        case VER_LESS_EQUAL: return a <= b;
        default: return false;
      }
    };
    // Major, minor and service pack form one number; the condition of the
    // most significant member asked for applies to all of them.
    const uint32_t versionBits =
        VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR;
    if (typeMask & versionBits) {
      uint64_t a = 0, b = 0;
      uint8_t cond = 0;
      const struct {
        uint32_t bit;
        uint64_t have, want;
      } parts[] = {{VER_MAJORVERSION, have.majorVersion, wanted.majorVersion},
                   {VER_MINORVERSION, have.minorVersion, wanted.minorVersion},
                   {VER_SERVICEPACKMAJOR, have.servicePackMajor, wanted.servicePackMajor},
                   {VER_SERVICEPACKMINOR, have.servicePackMinor, wanted.servicePackMinor}};
      for (const auto& p : parts) {
        a = (a << 16) | ((typeMask & p.bit) ? (p.have & 0xFFFF) : 0);
        b = (b << 16) | ((typeMask & p.bit) ? (p.want & 0xFFFF) : 0);
        if ((typeMask & p.bit) && cond == 0) cond = condition(p.bit);
      }
      if (!compare(a, b, cond)) return ERROR_OLD_WIN_VERSION;
    }
    if ((typeMask & VER_BUILDNUMBER) &&
        !compare(have.buildNumber, wanted.buildNumber, condition(VER_BUILDNUMBER)))
      return ERROR_OLD_WIN_VERSION;
    if ((typeMask & VER_PLATFORMID) &&
        !compare(have.platformId, wanted.platformId, condition(VER_PLATFORMID)))
      return ERROR_OLD_WIN_VERSION;
    if ((typeMask & VER_PRODUCT_TYPE) &&
        !compare(have.productType, wanted.productType, condition(VER_PRODUCT_TYPE)))
      return ERROR_OLD_WIN_VERSION;
    if (typeMask & VER_SUITENAME) {
      const uint8_t cond = condition(VER_SUITENAME);
      const bool ok = cond == VER_OR ? (have.suiteMask & wanted.suiteMask) != 0
                                     : (have.suiteMask & wanted.suiteMask) == wanted.suiteMask;
      if (!ok) return ERROR_OLD_WIN_VERSION;
    }
    return ERROR_SUCCESS;
  }

  WinError getProductInfo(uint32_t, uint32_t, uint32_t, uint32_t,
                          uint32_t& productType) const override {
    const Snapshot facts = current();
    const std::wstring& id = facts->editionId;
    for (const Edition& e : kEditions) {
      if (sameText(id, e.id)) {
        productType = e.product;
        return ERROR_SUCCESS;
      }
    }
    productType = 0;  // PRODUCT_UNDEFINED
    return ERROR_NOT_SUPPORTED;
  }

  uint16_t systemDefaultUILanguage() const override { return current()->language; }

  uint16_t nativeProcessorArchitecture() const override { return current()->architecture; }

  bool is64BitOperatingSystem() const override {
    return nativeProcessorArchitecture() != PROCESSOR_ARCHITECTURE_INTEL;
  }

  bool isWow64Process() const override { return false; }

  int systemMetrics(int index) const override {
    const Snapshot facts = current();
    const std::wstring& id = facts->editionId;
    switch (index) {
      case SM_STARTER: return id.rfind(L"Starter", 0) == 0 ? 1 : 0;
      case SM_MEDIACENTER:
        // Media Center shipped with Home Premium and Ultimate of Windows 7.
        return (sameText(id, L"HomePremium") || sameText(id, L"Ultimate")) ? 1 : 0;
      default: return 0;
    }
  }

  std::wstring productName() const override { return current()->productName; }

  std::wstring editionId() const override { return current()->editionId; }

 private:
  uint16_t readLanguage() const {
    std::wstring text;
    if (readString(registry_, kHkeyLocalMachine, kLanguage, L"InstallLanguage", &text) !=
            ERROR_SUCCESS &&
        readString(registry_, kHkeyLocalMachine, kLanguage, L"Default", &text) != ERROR_SUCCESS)
      return 0x0409;
    return static_cast<uint16_t>(std::wcstoul(text.c_str(), nullptr, 16));
  }

  uint16_t readArchitecture() const {
    std::wstring arch;
    readString(registry_, kHkeyLocalMachine, kSessionEnvironment, L"PROCESSOR_ARCHITECTURE", &arch);
    if (sameText(arch, L"x86")) return PROCESSOR_ARCHITECTURE_INTEL;
    if (sameText(arch, L"IA64")) return PROCESSOR_ARCHITECTURE_IA64;
    if (sameText(arch, L"ARM64")) return PROCESSOR_ARCHITECTURE_ARM64;
    return PROCESSOR_ARCHITECTURE_AMD64;
  }

  std::wstring readProductName() const {
    std::wstring text;
    readString(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"ProductName", &text);
    return text;
  }

  std::wstring readEditionId() const {
    std::wstring text;
    readString(registry_, kHkeyLocalMachine, kNtCurrentVersion, L"EditionID", &text);
    return text;
  }

  // Windows derives the suite mask from ProductSuite and the edition: every
  // client has single-user terminal services, Home editions are "personal".
  uint16_t suiteMask(uint8_t productType, const std::wstring& id) const {
    uint16_t mask = 0;
    RegValue suite;
    RegKey key = kRegNoKey;
    if (registry_.openKey(kHkeyLocalMachine, kProductOptions, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      if (readValue(registry_, key, L"ProductSuite", &suite) == ERROR_SUCCESS) {
        for (const std::wstring& s : regMultiText(suite.data)) {
          if (sameText(s, L"Terminal Server")) mask |= VER_SUITE_TERMINAL;
          if (sameText(s, L"Enterprise")) mask |= VER_SUITE_ENTERPRISE;
          if (sameText(s, L"DataCenter")) mask |= VER_SUITE_DATACENTER;
          if (sameText(s, L"Personal")) mask |= VER_SUITE_PERSONAL;
          if (sameText(s, L"Blade")) mask |= VER_SUITE_BLADE;
          if (sameText(s, L"Small Business")) mask |= VER_SUITE_SMALLBUSINESS;
        }
      }
      registry_.closeKey(key);
    }
    if (productType == VER_NT_WORKSTATION) {
      mask |= VER_SUITE_SINGLEUSERTS;
      if (id.rfind(L"Home", 0) == 0 || id.rfind(L"Core", 0) == 0 || id.rfind(L"Starter", 0) == 0)
        mask |= VER_SUITE_PERSONAL;
    }
    return mask;
  }

  IRegistry& registry_;
  mutable std::mutex mutex_;
  mutable Snapshot cached_;
  mutable int64_t cachedStamp_ = -1;
};

}  // namespace

uint64_t verSetConditionMask(uint64_t conditionMask, uint32_t typeBit, uint8_t condition) {
  if (typeBit == 0 || condition == 0) return conditionMask;
  condition &= 7;
  for (int index = 0; index < 8; ++index) {
    if (typeBit & (1u << index)) {
      conditionMask &= ~(uint64_t(7) << (index * 3));
      conditionMask |= uint64_t(condition) << (index * 3);
    }
  }
  return conditionMask;
}

WinError lcidToLocaleName(uint32_t lcid, std::wstring& name) {
  if (lcid == 0x0400 || lcid == 0x0800) lcid = 0x0409;  // LOCALE_USER/SYSTEM_DEFAULT
  for (const Locale& l : kLocales) {
    if (l.lcid == lcid) {
      name = l.name;
      return ERROR_SUCCESS;
    }
  }
  return ERROR_INVALID_PARAMETER;
}

std::unique_ptr<IVersionInfo> createVersionInfo(IRegistry& registry) {
  return std::make_unique<RegistryVersionInfo>(registry);
}

}  // namespace zorel::platform
