// Random GUIDs from the kernel (getrandom), formatted as UuidToStringW does.

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>

#include "zorel/platform/base/guid.h"

namespace zorel::platform {

int32_t coCreateGuid(Guid& guid) {
  uint8_t bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return static_cast<int32_t>(0x80004005u);  // E_FAIL
    }
    got += static_cast<size_t>(n);
  }
  // Version 4 (random) in data3, variant 10xx in data4[0], as Windows makes them.
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);
  guid.data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
               bytes[3];
  guid.data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid.data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
  return 0;
}

int32_t uuidToString(const Guid& g, std::wstring& text) {
  wchar_t buf[40];
  std::swprintf(buf, 40, L"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", g.data1, g.data2,
                g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                g.data4[6], g.data4[7]);
  text = buf;
  return 0;
}

}  // namespace zorel::platform
