// libFuzzer target: any bytes as event-log records and message inserts.
// An input is a flags byte, a message text (UTF-8) up to the first line
// feed, and then the bytes of one read of records:
//   flags  bit 0: read the records' texts; bits 1-7 as a FormatMessage width
//          (0 keeps line breaks), 0x80 ignores inserts
// The message text is also read as an event import line. Every record the
// walk accepts is expanded into the message text with its strings as
// inserts and made into the collection's CSV row.
// Properties: a record that reads, built again from what was read, reads
// back with the same fields; an expansion without inserts never grows a
// text made only of insert-free characters.

#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/format_message.h"
#include "zorel/platform/eventlog/event_import.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/plugins/eventlogger/event_filter.h"

namespace zorel::fuzz {
namespace {

using platform::EventRecordFields;

bool SameFields(const EventRecordFields& a, const EventRecordFields& b) {
  return a.source == b.source && a.computer == b.computer && a.type == b.type &&
         a.category == b.category && a.eventId == b.eventId &&
         a.timeGenerated == b.timeGenerated && a.timeWritten == b.timeWritten &&
         a.strings == b.strings && a.data == b.data;
}

void CheckRecord(const platform::EventRecordView& view, const std::wstring& message,
                 uint32_t flags, bool withTexts) {
  if (!withTexts) {
    platform::EventRecordView full;
    Require(platform::readEventLogRecord(view.bytes, view.length, &full) == 0,
            "a record the walk accepted does not read");
    return;
  }
  const std::vector<uint8_t> rebuilt = platform::buildEventLogRecord(view.recordNumber, view.fields);
  platform::EventRecordView again;
  Require(platform::readEventLogRecord(rebuilt.data(), rebuilt.size(), &again) == 0 &&
              again.recordNumber == view.recordNumber && SameFields(again.fields, view.fields),
          "a record built from what was read reads otherwise");
  const std::wstring expanded = platform::expandMessage(message, flags, &view.fields.strings);
  const std::wstring row = eventlogger::CsvRow(view.fields, eventlogger::CleanMessage(expanded));
  eventlogger::QuotedLine(row);
  eventlogger::CsvTime(view.fields.timeGenerated);
  eventlogger::CsvFileName(view.fields.source);
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  Parts parts(data, size);
  const uint8_t mode = parts.Byte();
  const std::string_view messageBytes = parts.Next();
  const std::wstring message = fromUtf8(messageBytes);
  const bool withTexts = (mode & 1) != 0;
  const uint32_t flags = ((mode >> 1) & 0x3F) | ((mode & 0x80) ? platform::FORMAT_MESSAGE_IGNORE_INSERTS : 0);

  platform::EventLogEntry entry;
  std::string reason;
  platform::parseEventLine(std::string(messageBytes), L"PC", 1700000000, &entry, &reason);

  const std::vector<std::wstring> none;
  const std::wstring plain = platform::expandMessage(message, flags, nullptr);
  if (message.find(L'%') == std::wstring::npos && (flags & 0xFF) == 0)
    Require(plain == message, "a message without escapes changed");
  platform::expandMessage(message, flags, &none);

  // The records get their own copy, exactly as long, so a read past the
  // end is seen.
  const std::vector<uint8_t> records(parts.Rest().begin(), parts.Rest().end());
  eventlogger::WalkRecords(
      records.data(), records.size(),
      [&](const platform::EventRecordView& view) {
        CheckRecord(view, message, flags, withTexts);
        return true;
      },
      withTexts);
  return 0;
}
