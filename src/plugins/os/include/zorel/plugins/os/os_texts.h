#pragma once
// The OS plug-in's texts that follow from facts alone: the version-argument
// format, the UAC prompt level, edition names and the detailed description.
// No machine is needed, so each rule can be checked on its own.

#include <cstdint>
#include <optional>
#include <string>

#include "zorel/platform/system/version_info.h"

namespace zorel::os_texts {

// A required-version argument: one or two digits, optionally followed by a
// point and one digit, or by a point and two digits after two digits (6,
// 10, 6.1, 10.0, 10.10; not 6.10, 6.1.2, " 6" or ""). The whole text must
// match. On a match sets major and minor (0 without a point).
bool ParseVersionText(const std::string& text, int32_t& major, int32_t& minor);

// The UAC prompt level from ConsentPromptBehaviorAdmin and, when it was
// read, PromptOnSecureDesktop: 1 never notify, 2 notify without dimming,
// 3 notify with dimming (the default), 4 always notify, 0 anything else.
int32_t UacStatus(uint32_t consentPromptBehaviorAdmin,
                  std::optional<uint32_t> promptOnSecureDesktop);

// The edition text of a GetProductInfo product type, or the empty text for
// a type without one.
std::wstring EditionName(uint32_t productType);

// Everything the detailed description is made of.
struct OsDetailFacts {
  bool haveVersion = false;            // GetVersionExW succeeded
  platform::OsVersionInfoEx version;
  std::optional<uint32_t> productType; // GetProductInfo's answer, when it gave one
  bool haveNativeInfo = true;          // GetNativeSystemInfo exists
  uint16_t nativeArchitecture = platform::PROCESSOR_ARCHITECTURE_AMD64;
  int serverR2 = 0;                    // GetSystemMetrics(SM_SERVERR2)
  int mediaCenter = 0;                 // SM_MEDIACENTER
  int starter = 0;                     // SM_STARTER
  int tabletPc = 0;                    // SM_TABLETPC
};

// The getOSDetail text: base name, edition and "(Build N)" for NT, the 9x
// names, "Microsoft Win32s"; empty without version facts.
std::wstring OsDetailText(const OsDetailFacts& facts);

}  // namespace zorel::os_texts
