// Message tables of PE data files (see message_table.h).

#include "zorel/platform/fs/message_table.h"

#include "zorel/platform/base/utf16.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

constexpr uint16_t kMessageTableName = 1;
constexpr uint16_t kUnicodeEntry = 0x0001;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Code page 1252 at 0x80..0x9F (the rest is Latin-1); undefined bytes keep
// their value, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::wstring fromCp1252(const uint8_t* p, size_t size) {
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size && p[i] != 0; ++i)
    text.push_back(p[i] >= 0x80 && p[i] < 0xA0 ? static_cast<wchar_t>(kCp1252High[p[i] - 0x80])
                                               : static_cast<wchar_t>(p[i]));
  return text;
}

}  // namespace

WinError findMessageInTable(const uint8_t* table, size_t size, uint32_t id, std::wstring* text) {
  if (!table || size < 4) return ERROR_MR_MID_NOT_FOUND;
  // Each block header is 12 bytes: a count whose headers run past the
  // table (2^31 blocks, say) is damage, not a reason to read on.
  const uint64_t blocks = u32(table);
  if (blocks > (size - 4) / 12) return ERROR_MR_MID_NOT_FOUND;
  for (uint64_t b = 0; b < blocks; ++b) {
    const uint8_t* block = table + 4 + b * 12;
    const uint32_t low = u32(block), high = u32(block + 4), offset = u32(block + 8);
    if (id < low || id > high) continue;
    size_t at = offset;
    for (uint32_t current = low;; ++current) {
      if (at > size || size - at < 4) return ERROR_MR_MID_NOT_FOUND;
      const uint16_t length = u16(table + at), flags = u16(table + at + 2);
      if (length < 4 || length > size - at) return ERROR_MR_MID_NOT_FOUND;
      if (current == id) {
        const uint8_t* body = table + at + 4;
        const size_t bytes = length - 4u;
        if (flags & kUnicodeEntry) {
          size_t units = 0;
          while (units < bytes / 2 && (body[units * 2] | body[units * 2 + 1]) != 0) ++units;
          *text = decodeUtf16(body, units);
        } else {
          *text = fromCp1252(body, bytes);
        }
        return ERROR_SUCCESS;
      }
      at += length;
    }
  }
  return ERROR_MR_MID_NOT_FOUND;
}

WinError MessageModule::load(std::wstring_view windowsPath) {
  IMachine* machine = currentMachine();
  std::string host;
  if (!machine) return ERROR_PATH_NOT_FOUND;
  if (WinError e = machine->paths().toHostPath(windowsPath, host)) return e;
  return loadHost(host);
}

WinError MessageModule::loadHost(const std::string& hostPath) {
  loaded_ = false;
  found_.clear();
  if (WinError e = file_.open(hostPath)) return e;
  const WinError e = resources_.open(file_.data(), file_.size());
  if (e == ERROR_BAD_FORMAT) return ERROR_BAD_EXE_FORMAT;
  // An image without resources loads; its lookups find no table.
  loaded_ = true;
  return ERROR_SUCCESS;
}

WinError MessageModule::findMessage(uint32_t id, uint16_t language, std::wstring* text) const {
  if (!loaded_) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  const uint64_t key = (uint64_t{language} << 32) | id;
  if (auto known = found_.find(key); known != found_.end()) {
    if (known->second.first == ERROR_SUCCESS) *text = known->second.second;
    return known->second.first;
  }
  std::wstring found;
  const WinError e = lookup(id, language, &found);
  found_.emplace(key, std::make_pair(e, found));
  if (e == ERROR_SUCCESS) *text = std::move(found);
  return e;
}

WinError MessageModule::lookup(uint32_t id, uint16_t language, std::wstring* text) const {
  const ResourceId type = ResourceId::byNumber(RT_MESSAGETABLE);
  const ResourceId name = ResourceId::byNumber(kMessageTableName);
  ResourceData data;
  WinError e = language == 0
                   ? resources_.find(type, &name, machineLookupLanguages(), &data)
                   : resources_.findExact(type, &name, {language, 0}, &data);
  if (e == ERROR_RESOURCE_NAME_NOT_FOUND || e == ERROR_RESOURCE_DATA_NOT_FOUND ||
      e == ERROR_INVALID_DATA)
    e = ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (e != ERROR_SUCCESS) return e;
  return findMessageInTable(data.data, data.size, id, text);
}

}  // namespace zorel::platform
