#pragma once
// Event records from JSON lines: the fixtures of machine images and of
// `zorel machine eventlog import`.
//
// One JSON object per line: "log" (a registered log), "source", "id" (0 to
// 4294967295), optional "type" (0 to 65535, default 4), "category" (0 to
// 65535, default 0), "time" ("YYYY-MM-DDTHH:MM:SSZ", UTC) or "ago" (seconds
// before now; neither: now), "strings" (array of texts), "computer"
// (default: the machine's COMPUTERNAME), "data" (hex). Blank lines are
// skipped. The records go after each log's last record in file order, in
// one transaction; no source is registered. This is the machine's own
// format, not a Windows one.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/eventlog/event_log.h"

namespace zorel::platform {

// Parses one line into *entry. `now` is UTC seconds since 1970.
// RETURNS true; false with *reason (e.g. "\"id\" must be a number from 0
// to 4294967295") for a line that is not one record. The log is not
// checked here.
bool parseEventLine(const std::string& line, const std::wstring& computer, int64_t now,
                    EventLogEntry* entry, std::string* reason);

// Imports the file at hostPath into log. `shownName` names the file in
// messages. On a bad line nothing is imported and *message is
// "FILE:LINE: reason".
// RETURNS 0 with *count records; ERROR_INVALID_DATA for a bad line;
// ERROR_FILE_NOT_FOUND when the file cannot be read; the store's error.
WinError importEventLines(IEventLog& log, const std::string& hostPath,
                          const std::string& shownName, const std::wstring& computer,
                          size_t* count, std::string* message);

}  // namespace zorel::platform
