#pragma once
// GUID creation and its text form.
//
// Windows: CoCreateGuid and UuidToStringW.
// Linux emulation: a version-4 GUID from the kernel's random source.

#include <cstdint>
#include <string>

namespace zorel::platform {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

// RETURNS S_OK (0) and a fresh random GUID, or a failure HRESULT
// (E_FAIL 0x80004005) when no random bytes can be had.
int32_t coCreateGuid(Guid& guid);

// The 36-character lower-case 8-4-4-4-12 text, without braces, as
// UuidToStringW writes it. RETURNS RPC_S_OK (0).
int32_t uuidToString(const Guid& guid, std::wstring& text);

}  // namespace zorel::platform
