// CEventLoggerPlugin: its method table, the log search, IsEventPresent and
// CollectEvent.

#include "zorel/plugins/eventlogger/eventlogger.h"

#include <ctime>
#include <new>
#include <vector>

#include "event_message.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/store_folder.h"
#include "zorel/plugins/eventlogger/event_filter.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

namespace pe = plugin_error;
using eventlogger::EventFilter;

namespace {

using enum ValueType;

// The filter: every argument may be "" to leave it out; at least one must be
// given. Only the given ones are recorded.
constexpr std::array<PluginArgument, kMaxArguments> kFilter = {{
    {"eventType", kText, false, "1 error, 2 warning, 4 information, 8 audit success, 16 audit "
                                "failure"},
    {"days", kText, false, "only events of the last so many days"},
    {"source", kText, false, "the event source (case ignored)"},
    {"message", kText, false, "a text the event's message contains"},
    {"eventId", kText, false, "the event identifier"},
}};
constexpr std::array<const wchar_t*, kMaxInputKeys> kFilterKeys = {
    L"eventLogType", L"numberOfDays", L"sourceName", L"message", L"eventId"};

constinit const PluginMethod kMethods[] = {
    {"IsEventPresent", MethodOf<&CEventLoggerPlugin::IsEventPresent>, OperationType::kQuery,
     kFilterKeys,
     {.summary = "Whether the eventgroup log holds an event matching the filter: \"return\" "
                 "true when it does.",
      .arguments = kFilter,
      .reads = "eventgroup",
      .fills = "return",
      .errors = {87, 20016, kSystemErrors}}},
    {"CollectEvent", MethodOf<&CEventLoggerPlugin::CollectEvent>, OperationType::kCollect,
     kFilterKeys,
     {.summary = "Writes the matching events of the eventgroup log to a CSV file in the run's "
                 "collection.",
      .arguments = kFilter,
      .reads = "eventgroup",
      .errors = {87, 20016, kSystemErrors}}},
};

constinit const PluginProperty kProperties[] = {
    {"eventgroup", kText, "the event log: Application, System, Security, ..."},
};

constexpr const wchar_t* kExceptionMessage = L"Exception Occured during event find process";
// Rows are gathered and appended in pieces of about this size.
constexpr size_t kCsvChunk = 64 * 1024;

void LogError(const wchar_t* message) {
  FrameworkLog::Instance().Write(LogLevel::Error, L"%s", message);
}

// The call's filter with its inputs recorded (a call without any records
// "{}"); false, with 87, when none is set. A type that is not a 16-bit
// number throws out of the whole call here.
bool TakeFilter(PluginCall& call, const StackFrame& args, EventFilter* filter) {
  *filter = eventlogger::BuildFilter(args);
  call.UsesInputs();
  for (const auto& [name, value] : filter->inputs) call.Input(name, value);
  if (filter->IsSet()) return true;
  call.ArgumentError(pe::kInvalidParameter, L"Invalid Parameters.");
  return false;
}

}  // namespace

constinit const PluginSurface CEventLoggerPlugin::kSurface{
    "EventLogger", kComponentPath, kMethods, kProperties,
    "Searches and collects the records of a Windows event log."};

CEventLoggerPlugin::CEventLoggerPlugin(StackFrame& args) {
  RegisterSurface(kSurface);
  BindProperty("eventgroup", eventgroup_);
  args.GetNamedText("eventgroup", eventgroup_);
}

bool CEventLoggerPlugin::Search(
    PluginCall& call, const EventFilter& filter, bool needMessage,
    const std::function<bool(const platform::EventRecordFields&, const std::wstring&)>& matched) {
  platform::IMachine* machine = platform::currentMachine();
  std::unique_ptr<platform::IEventLogHandle> log;
  platform::WinError e =
      machine ? machine->eventLog().open(eventgroup_, &log) : platform::ERROR_PATH_NOT_FOUND;
  if (e != platform::ERROR_SUCCESS) {
    platform::setLastError(e);
    LogError(L"Event Group is not Present");
    call.SetError(e);
    return false;
  }
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(1);
  } catch (const std::bad_alloc&) {
    LogError(L"Failed to allocate initial memory");
    call.SetError(platform::ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  eventlogger::MessageFormatter formatter(*machine, eventgroup_);
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  bool any = false, stop = false;
  while (!stop) {
    uint32_t read = 0, needed = 0;
    e = log->read(platform::EVENTLOG_SEQUENTIAL_READ | platform::EVENTLOG_BACKWARDS_READ, 0,
                  buffer.data(), static_cast<uint32_t>(buffer.size()), &read, &needed);
    if (e == platform::ERROR_INSUFFICIENT_BUFFER) {
      try {
        buffer.resize(needed);
      } catch (const std::bad_alloc&) {
        LogError(L"Failed to allocate the initial memory for the record buffer.");
        e = platform::ERROR_NOT_ENOUGH_MEMORY;
        break;
      }
      continue;
    }
    if (e == platform::ERROR_HANDLE_EOF) {
      e = platform::ERROR_SUCCESS;
      break;
    }
    if (e != platform::ERROR_SUCCESS) break;
    // The walk checks every record against what was read, so a damaged one
    // ends the reading with 1500 instead of a loop or a read past the end.
    e = eventlogger::WalkRecords(
        buffer.data(), std::min<size_t>(read, buffer.size()),
        [&](const platform::EventRecordView& header) {
          if (!eventlogger::MatchesCheapFields(filter, header.fields, now)) return true;
          // Only a record that passed the cheap tests is read whole.
          platform::EventRecordView record;
          platform::readEventLogRecord(header.bytes, header.length, &record);
          std::wstring message;
          if (needMessage || !filter.message.empty()) message = formatter.Format(record.fields);
          if (!eventlogger::MatchesMessage(filter, message)) return true;
          any = true;
          stop = !matched(record.fields, message);
          return !stop;
        },
        false);
    if (e != platform::ERROR_SUCCESS) break;
  }
  call.SetError(e);
  return any;
}

std::unique_ptr<CJSONReturn> CEventLoggerPlugin::IsEventPresent(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  EventFilter filter;
  if (!TakeFilter(call, args, &filter)) return call.Finish(std::move(result));
  call.Run(
      [&] {
        result->returnValue =
            Search(call, filter, false, [](const platform::EventRecordFields&, const std::wstring&) {
              return false;  // the first match answers
            });
      },
      kExceptionMessage);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> CEventLoggerPlugin::CollectEvent(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  EventFilter filter;
  if (!TakeFilter(call, args, &filter)) return call.Finish(std::move(result));
  IResultStore* store = GetResultStore();
  std::wstring folder;
  call.Run(
      [&] {
        if (!store) {
          LogError(L"Failed to get the store folder.");
          call.SetError(pe::kApiFailed);
          return;
        }
        folder = WindowsStoreFolder(*store);
        if (folder.empty()) {
          LogError(L"Failed to get the store folder.");
          call.SetError(pe::kApiFailed);
          return;
        }
        folder += L"collection\\eventLog\\";
        // The group names the file, never its folder (see CsvFileName).
        const std::wstring file = folder + eventlogger::CsvFileName(eventgroup_);
        platform::WinError e = platform::files::createFolders(folder);
        std::string pending = eventlogger::QuotedLine(L"Id , Source, Time, Message") + "\n";
        if (e == platform::ERROR_SUCCESS) e = platform::files::appendToFile(file, pending);
        if (e != platform::ERROR_SUCCESS) {
          LogError(L"Failed to open the event log file.");
          call.SetError(e);
          return;
        }
        pending.clear();
        platform::WinError written = platform::ERROR_SUCCESS;
        const bool any = Search(call, filter, true,
                                [&](const platform::EventRecordFields& record,
                                    const std::wstring& message) {
                                  pending += eventlogger::QuotedLine(
                                      eventlogger::CsvRow(record, message));
                                  if (pending.size() >= kCsvChunk) {
                                    written = platform::files::appendToFile(file, pending);
                                    pending.clear();
                                  }
                                  return written == platform::ERROR_SUCCESS;
                                });
        if (written == platform::ERROR_SUCCESS && !pending.empty())
          written = platform::files::appendToFile(file, pending);
        if (written != platform::ERROR_SUCCESS) call.SetError(written);
        if (!any && call.Succeeded()) LogError(L"ReadEventLog failed.");
      },
      kExceptionMessage);
  const int32_t code = call.ErrorCode();
  result = call.Finish(std::move(result));
  if (code == 0 && store && call.Record().Table().RowCount() == 1) {
    int32_t operationId = 0;
    call.Record().Table().Row(0).GetInt(L"ID", operationId);
    DataTable collection;
    CreateCollectionTable(collection);
    AddCollectionRow(collection, operationId, CollectionType::kEventLog, eventgroup_, folder, 0,
                     false, true);
    store->Insert(collection);
  }
  return result;
}

std::unique_ptr<CMethodDispatcher> CreateEventLoggerPlugin(StackFrame& args) {
  return std::make_unique<CEventLoggerPlugin>(args);
}

}  // namespace zorel
