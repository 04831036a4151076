#pragma once
// The EventLogger object's pure parts: the filter built from a call's
// arguments, the walk over the records one read returned, the match of one
// record, and the CSV text of the collection file. Nothing here touches
// the machine.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "zorel/platform/eventlog/event_log.h"

namespace zorel {

class StackFrame;

namespace eventlogger {

// One call's filter; an empty argument leaves its field unset.
struct EventFilter {
  int32_t type = -1;       // position 0, "eventLogType": a 16-bit number
  int32_t days = -1;       // position 1, "numberOfDays": above 0 to filter
  std::wstring source;     // position 2, "sourceName": compared without case
  std::wstring message;    // position 3, "message": looked for in the text, case as written
  int32_t eventId = -1;    // position 4, "eventId": the low 16 bits of EventID
  // The input-details pairs, one per recorded position, in position order.
  std::vector<std::pair<std::wstring, std::wstring>> inputs;

  // A filter is set when the type, days or id is above 0, or the source or
  // message is not empty.
  bool IsSet() const;
};

// Reads positions 0 to 4 that the call has (a missing one stays unset).
// Throws when the type is not a 16-bit number or the days or id have no
// digits or do not fit in 32 bits: the call then fails as a whole.
EventFilter BuildFilter(const StackFrame& args);

// The type, source, age and id tests, in that order. `now` and the record's
// TimeGenerated are UTC seconds since 1970; the age limit is computed in
// 64 bits, so 24 856 days and more do not wrap.
bool MatchesCheapFields(const EventFilter& filter, const platform::EventRecordFields& record,
                        int64_t now);
// The message test on the formatted text.
bool MatchesMessage(const EventFilter& filter, const std::wstring& formatted);

// Walks the records of one read, buffer[0, size), in order. Each record is
// checked before it is read (platform::readEventLogRecord): Length below
// the header, past the bytes left or not repeated at its end, or an offset
// outside it ends the walk with ERROR_EVENTLOG_FILE_CORRUPT. `visit`
// returns false to stop early. Without `withTexts` the views hold the header
// and the source only (readEventLogRecord reads the rest from view.bytes).
// RETURNS 0; 1500.
platform::WinError WalkRecords(const uint8_t* buffer, size_t size,
                               const std::function<bool(const platform::EventRecordView&)>& visit,
                               bool withTexts = true);

// The formatted message as the CSV and the filter use it: line feeds,
// carriage returns and commas become blanks.
std::wstring CleanMessage(std::wstring text);

// M\D\YYYY H:M:S in the host's local zone, without leading zeros.
std::wstring CsvTime(uint32_t timeGenerated);

// One quoted CSV line, UTF-8: a double quote, the text with every double
// quote and "&" preceded by "&", a double quote, a line feed.
std::string QuotedLine(const std::wstring& text);

// The row of a record: EventID (the full value), source, time and, when
// not empty, the message, joined by ", ".
std::wstring CsvRow(const platform::EventRecordFields& record, const std::wstring& message);

// The collection file's name for an event group: \ / : * ? " < > | and
// characters below 32 become "_", so the file stays in its folder; ".csv"
// added.
std::wstring CsvFileName(const std::wstring& eventgroup);

}  // namespace eventlogger
}  // namespace zorel
