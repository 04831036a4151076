#pragma once
// Classic event logs: OpenEventLogW, ReadEventLogW, CloseEventLog, a
// writer with ReportEventW's fields, and the EVENTLOGRECORD layout.
//
// Windows: advapi32's event-log calls on the local machine.
// Linux emulation: one SQLite file, <root>/eventlog.db, owned by the
// backend (eventlog/linux/event_log_sqlite.cpp documents its format). A log
// exists where HKLM\SYSTEM\CurrentControlSet\Services\EventLog\<log> does.
// Every stored record is the EVENTLOGRECORD exactly as ReadEventLogW hands
// it out; a record that is not one, or a file that is not a store, answers
// ERROR_EVENTLOG_FILE_CORRUPT and is never repaired or replaced.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IRegistry;

inline constexpr WinError ERROR_EVENTLOG_FILE_CORRUPT = 1500;

// ReadEventLogW flags.
inline constexpr uint32_t EVENTLOG_SEQUENTIAL_READ = 0x0001;
inline constexpr uint32_t EVENTLOG_SEEK_READ = 0x0002;
inline constexpr uint32_t EVENTLOG_FORWARDS_READ = 0x0004;
inline constexpr uint32_t EVENTLOG_BACKWARDS_READ = 0x0008;

// EventType values.
inline constexpr uint16_t EVENTLOG_SUCCESS = 0x0000;
inline constexpr uint16_t EVENTLOG_ERROR_TYPE = 0x0001;
inline constexpr uint16_t EVENTLOG_WARNING_TYPE = 0x0002;
inline constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 0x0004;
inline constexpr uint16_t EVENTLOG_AUDIT_SUCCESS = 0x0008;
inline constexpr uint16_t EVENTLOG_AUDIT_FAILURE = 0x0010;

// The registry key under which logs and their sources are registered.
inline constexpr const wchar_t* kEventLogKey = L"SYSTEM\\CurrentControlSet\\Services\\EventLog";

// EVENTLOGRECORD: a 56-byte header ("LfLe" at 4), then SourceName and
// Computername (NUL-terminated UTF-16LE), the user SID (none here), the
// insertion strings, the data, padding to 4 bytes and Length once more.
inline constexpr size_t kEventLogRecordHeader = 56;
inline constexpr uint32_t kEventLogSignature = 0x654C664C;  // "LfLe"

// One record's content as ReportEventW takes it, plus its time.
struct EventRecordFields {
  std::wstring source;
  std::wstring computer;
  uint16_t type = EVENTLOG_INFORMATION_TYPE;
  uint16_t category = 0;
  uint32_t eventId = 0;           // the full 32-bit value
  uint32_t timeGenerated = 0;     // UTC seconds since 1970
  uint32_t timeWritten = 0;       // UTC seconds since 1970
  std::vector<std::wstring> strings;
  std::vector<uint8_t> data;
};

// The bytes of an EVENTLOGRECORD with the given number.
std::vector<uint8_t> buildEventLogRecord(uint32_t recordNumber, const EventRecordFields& fields);

// A record read back: its header fields and texts.
struct EventRecordView {
  const uint8_t* bytes = nullptr;  // the record itself (in the caller's buffer)
  uint32_t length = 0;
  uint32_t recordNumber = 0;
  EventRecordFields fields;  // computer, strings and data only when asked for
};

// Checks and reads the record at the start of bytes[0, available).
// RETURNS 0; ERROR_EVENTLOG_FILE_CORRUPT when Length is below the header,
// past `available`, not a multiple of 4 or not repeated at the record's
// end, the signature is missing, or a name, string, SID or the data lies
// outside the record.
// `view` may be null (only the checks); withTexts false leaves its
// computer, strings and data empty (they are still checked).
WinError readEventLogRecord(const uint8_t* bytes, size_t available, EventRecordView* view,
                            bool withTexts = true);

// An open log (OpenEventLogW's handle; CloseEventLog is its destruction).
// It remembers the last record a sequential read returned, so reads go on
// from there: a reading is one index seek and then one step per record,
// whatever the log's size.
class IEventLogHandle {
 public:
  virtual ~IEventLogHandle() = default;
  // ReadEventLogW with EVENTLOG_SEQUENTIAL_READ and one direction
  // (EVENTLOG_SEEK_READ reads the record numbered `offset`, then goes on
  // from it). As many whole records as fit go into buffer.
  //   [O] bytesRead  bytes written; [O] needed  on 122, the size of the
  //   next record.
  // RETURNS 0; ERROR_INSUFFICIENT_BUFFER (122) when the next record does
  // not fit; ERROR_HANDLE_EOF (38) past the last record;
  // ERROR_INVALID_PARAMETER for bad flags; ERROR_EVENTLOG_FILE_CORRUPT for
  // a damaged record or store.
  virtual WinError read(uint32_t flags, uint32_t offset, uint8_t* buffer, uint32_t size,
                        uint32_t* bytesRead, uint32_t* needed) = 0;
  // The log's name as its registry key spells it.
  virtual const std::wstring& logName() const = 0;
};

// One record for appendEvents.
struct EventLogEntry {
  std::wstring log;  // a registered log, any case
  EventRecordFields fields;
};

// The machine's event logs.
class IEventLog {
 public:
  virtual ~IEventLog() = default;
  // OpenEventLogW on the local machine. The name is compared without case;
  // a name that is not registered (the empty one, one holding a backslash)
  // opens Application, as Windows does.
  // RETURNS 0; ERROR_EVENTLOG_FILE_CORRUPT when the store cannot be read.
  virtual WinError open(std::wstring_view name, std::unique_ptr<IEventLogHandle>* handle) = 0;
  // Writes one record after the log's last one; [O] number (may be null).
  // RETURNS 0; ERROR_FILE_NOT_FOUND for a log that is not registered;
  // ERROR_EVENTLOG_FILE_CORRUPT; a store error.
  virtual WinError report(std::wstring_view log, const EventRecordFields& fields,
                          uint32_t* number) = 0;
  // Appends every entry, in order, in one transaction: all or none.
  // RETURNS as report; *failedIndex (may be null) names the entry refused.
  virtual WinError appendEvents(const std::vector<EventLogEntry>& entries,
                                size_t* failedIndex) = 0;
  // The registered log `name` matches without case, in its key's spelling.
  // RETURNS 0; ERROR_FILE_NOT_FOUND.
  virtual WinError registeredLog(std::wstring_view name, std::wstring* spelled) = 0;
};

// Opens the store at hostPath (created when missing) for the machine whose
// registry registers the logs. The store is opened on first use, so a
// damaged file only fails the event-log calls.
std::unique_ptr<IEventLog> openEventLogStore(const std::string& hostPath, IRegistry& registry);

}  // namespace zorel::platform
