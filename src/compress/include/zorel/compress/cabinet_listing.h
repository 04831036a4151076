#pragma once
// The files a cabinet holds, as its directory lists them, through the
// cabinets it continues into: what `zorel cab list` shows of collection.cab
// and db.cab.

#include <cstdint>
#include <string>
#include <vector>

namespace zorel {

struct CabinetFileInfo {
  std::string name;     // the stored name as written ('\' separators), UTF-8
  uint32_t size = 0;    // bytes once extracted
  int year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;  // DOS date and time
  uint16_t attributes = 0;  // as stored (read-only 0x01, hidden 0x02, system 0x04, archive 0x20)
};

// Lists `cabinet` (a host path) and the cabinets it continues into.
// RETURNS true with `files` in the cabinet's order; false with `reason`
// when the cabinet cannot be read, or when a continuation cabinet is
// missing (`files` then holds what could be read).
bool ListCabinet(const std::wstring& cabinet, std::vector<CabinetFileInfo>& files,
                 std::wstring& reason);

}  // namespace zorel
