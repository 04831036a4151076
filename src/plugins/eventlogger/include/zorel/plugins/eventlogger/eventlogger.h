#pragma once
// CEventLoggerPlugin: the script's "EventLogger" object. It searches one
// classic event log (the property "eventgroup", copied from the
// construction argument of that key) newest first for records matching a
// filter (event_filter.h): IsEventPresent answers through "return",
// CollectEvent appends the matching records to
// <store>\collection\eventLog\<group>.csv and records a collection row of
// type 7. The plug-in publishes no "errorcode" property.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class PluginCall;

namespace eventlogger {
struct EventFilter;
}

class CEventLoggerPlugin : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\EventLogger";
  static const PluginSurface kSurface;

  explicit CEventLoggerPlugin(StackFrame& args);

  // Filter in positions 0 to 4. "return" true when a record matches; 87
  // when no filter is set; else the reading's outcome (0, the open or read
  // error, 1500 for a damaged record, 20016 for an exception).
  std::unique_ptr<CJSONReturn> IsEventPresent(StackFrame& args);
  // Filter in positions 0 to 4. 0 when the CSV file was produced (matching
  // records or not); 87 when no filter is set; else the error.
  std::unique_ptr<CJSONReturn> CollectEvent(StackFrame& args);

  const std::wstring& EventGroup() const { return eventgroup_; }

 private:
  // Reads the log newest first and calls `matched` for every matching
  // record until it returns false; the outcome goes into `call`. True when
  // at least one record matched.
  // Each matching record is handed over with its formatted message (formatted
  // only when needMessage or the filter tests it).
  bool Search(PluginCall& call, const eventlogger::EventFilter& filter, bool needMessage,
              const std::function<bool(const platform::EventRecordFields& record,
                                       const std::wstring& message)>& matched);

  std::wstring eventgroup_;  // the property "eventgroup"
  int32_t errorcode_ = 0;    // the plug-in's error code (not published)
};

// The factory's creation function for "EventLogger".
std::unique_ptr<CMethodDispatcher> CreateEventLoggerPlugin(StackFrame& args);

}  // namespace zorel
