#pragma once
// The formatted message of an event record, as the EventLogger object
// reads it: the source's EventMessageFile list from the registry, each
// file loaded as a data file once per call, FormatMessageW from the module
// and the system (language 1033, the record's strings as arguments, one
// line), the first file that yields a text winning.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/fs/message_table.h"

namespace zorel::platform {
class IMachine;
}

namespace zorel::eventlogger {

class MessageFormatter {
 public:
  // `eventgroup` as the script gave it: the registry key of the sources is
  // looked up under that name, whichever log the store opened.
  MessageFormatter(platform::IMachine& machine, std::wstring eventgroup);

  // The message with line feeds, carriage returns and commas as blanks;
  // empty when the source has no message file or none yields a text.
  std::wstring Format(const platform::EventRecordFields& record);

 private:
  const std::vector<std::wstring>& FilesOf(const std::wstring& source);
  const platform::MessageModule* Module(const std::wstring& path);

  platform::IMachine& machine_;
  std::wstring eventgroup_;
  std::map<std::wstring, std::vector<std::wstring>> files_;  // by source, upper case
  // By path as listed; null for a file that did not load.
  std::map<std::wstring, std::unique_ptr<platform::MessageModule>> modules_;
};

}  // namespace zorel::eventlogger
