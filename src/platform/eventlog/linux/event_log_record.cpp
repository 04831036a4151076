// EVENTLOGRECORD bytes: building one and reading one back with every
// length and offset checked against the record (see event_log.h).
//
// Layout (little-endian):
//   0 Length  4 "LfLe"  8 RecordNumber  12 TimeGenerated  16 TimeWritten
//   20 EventID  24 EventType  26 NumStrings  28 EventCategory
//   30 ReservedFlags  32 ClosingRecordNumber  36 StringOffset
//   40 UserSidLength  44 UserSidOffset  48 DataLength  52 DataOffset
//   56 SourceName\0 Computername\0, padding to 4 (the SID's place, empty
//   here), the strings (each \0-terminated), the data, padding to 4, Length.

#include <cstring>

#include "zorel/platform/base/utf16.h"
#include "zorel/platform/eventlog/event_log.h"

namespace zorel::platform {
namespace {

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  put16(b, at, static_cast<uint16_t>(v));
  put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}
void appendText(std::vector<uint8_t>& b, const std::wstring& text) {
  appendUtf16(b, text);
  b.push_back(0);
  b.push_back(0);
}
void pad4(std::vector<uint8_t>& b) {
  while (b.size() % 4) b.push_back(0);
}

// Reads a NUL-terminated UTF-16LE text starting at `at` that must end
// before `end`; false when it does not.
bool readText(const uint8_t* record, size_t at, size_t end, std::wstring* text, size_t* next) {
  size_t units = 0;
  for (;;) {
    const size_t here = at + units * 2;
    if (here + 2 > end) return false;
    if (record[here] == 0 && record[here + 1] == 0) break;
    ++units;
  }
  if (text) *text = decodeUtf16(record + at, units);
  *next = at + units * 2 + 2;
  return true;
}

}  // namespace

std::vector<uint8_t> buildEventLogRecord(uint32_t recordNumber, const EventRecordFields& f) {
  std::vector<uint8_t> b(kEventLogRecordHeader, 0);
  appendText(b, f.source);
  appendText(b, f.computer);
  pad4(b);
  const size_t sidOffset = b.size();
  const size_t stringOffset = b.size();
  for (const std::wstring& s : f.strings) appendText(b, s);
  const size_t dataOffset = b.size();
  b.insert(b.end(), f.data.begin(), f.data.end());
  pad4(b);
  const size_t length = b.size() + 4;
  b.resize(length, 0);
  put32(b, 0, static_cast<uint32_t>(length));
  put32(b, 4, kEventLogSignature);
  put32(b, 8, recordNumber);
  put32(b, 12, f.timeGenerated);
  put32(b, 16, f.timeWritten);
  put32(b, 20, f.eventId);
  put16(b, 24, f.type);
  put16(b, 26, static_cast<uint16_t>(f.strings.size()));
  put16(b, 28, f.category);
  put32(b, 36, static_cast<uint32_t>(stringOffset));
  put32(b, 44, static_cast<uint32_t>(sidOffset));
  put32(b, 48, static_cast<uint32_t>(f.data.size()));
  put32(b, 52, static_cast<uint32_t>(dataOffset));
  put32(b, length - 4, static_cast<uint32_t>(length));
  return b;
}

WinError readEventLogRecord(const uint8_t* r, size_t available, EventRecordView* view,
                            bool withTexts) {
  if (available < kEventLogRecordHeader) return ERROR_EVENTLOG_FILE_CORRUPT;
  const uint32_t length = u32(r);
  // The body ends where the trailing Length begins.
  if (length < kEventLogRecordHeader + 4 || length > available || length % 4 != 0 ||
      u32(r + 4) != kEventLogSignature || u32(r + length - 4) != length)
    return ERROR_EVENTLOG_FILE_CORRUPT;
  const size_t end = length - 4;
  const uint32_t stringOffset = u32(r + 36), sidLength = u32(r + 40), sidOffset = u32(r + 44);
  const uint32_t dataLength = u32(r + 48), dataOffset = u32(r + 52);
  const uint16_t stringCount = u16(r + 26);
  auto inside = [end](uint64_t at, uint64_t size) {
    return at >= kEventLogRecordHeader && at <= end && size <= end - at;
  };
  if (!inside(sidOffset, sidLength) || !inside(dataOffset, dataLength) || !inside(stringOffset, 0))
    return ERROR_EVENTLOG_FILE_CORRUPT;
  EventRecordFields fields;
  size_t at = kEventLogRecordHeader;
  const bool texts = view && withTexts;
  if (!readText(r, at, end, view ? &fields.source : nullptr, &at) ||
      !readText(r, at, end, texts ? &fields.computer : nullptr, &at))
    return ERROR_EVENTLOG_FILE_CORRUPT;
  at = stringOffset;
  if (texts) fields.strings.reserve(stringCount);
  for (uint16_t i = 0; i < stringCount; ++i) {
    std::wstring text;
    if (!readText(r, at, end, texts ? &text : nullptr, &at)) return ERROR_EVENTLOG_FILE_CORRUPT;
    if (texts) fields.strings.push_back(std::move(text));
  }
  if (!view) return ERROR_SUCCESS;
  fields.timeGenerated = u32(r + 12);
  fields.timeWritten = u32(r + 16);
  fields.eventId = u32(r + 20);
  fields.type = u16(r + 24);
  fields.category = u16(r + 28);
  if (texts) fields.data.assign(r + dataOffset, r + dataOffset + dataLength);
  view->bytes = r;
  view->length = length;
  view->recordNumber = u32(r + 8);
  view->fields = std::move(fields);
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
