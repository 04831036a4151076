// The EventLogger object's pure parts (see event_filter.h).

#include "zorel/plugins/eventlogger/event_filter.h"

#include <boost/lexical_cast.hpp>

#include <ctime>
#include <cwctype>

#include "zorel/common/utf8.h"
#include "zorel/framework/stack_frame.h"

namespace zorel::eventlogger {

namespace {

bool SameNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

}  // namespace

bool EventFilter::IsSet() const {
  return type > 0 || days > 0 || eventId > 0 || !source.empty() || !message.empty();
}

EventFilter BuildFilter(const StackFrame& args) {
  EventFilter f;
  // Only the positions the call has: a shorter call leaves the rest unset.
  auto present = [&](int32_t i) { return i < args.Count() && !args.TextAt(i).empty(); };
  if (present(0)) {
    f.type = boost::lexical_cast<int16_t>(args.TextAt(0));
    f.inputs.emplace_back(L"eventLogType", std::to_wstring(f.type));
  }
  if (present(1)) {
    const int32_t days = args.IntAt(1);
    if (days > 0) {
      f.days = days;
      f.inputs.emplace_back(L"numberOfDays", std::to_wstring(days));
    }
  }
  if (present(2)) {
    f.source = args.TextAt(2);
    f.inputs.emplace_back(L"sourceName", f.source);
  }
  if (present(3)) {
    f.message = args.TextAt(3);
    f.inputs.emplace_back(L"message", f.message);
  }
  if (present(4)) {
    f.eventId = args.IntAt(4);
    f.inputs.emplace_back(L"eventId", std::to_wstring(f.eventId));
  }
  return f;
}

bool MatchesCheapFields(const EventFilter& f, const platform::EventRecordFields& r, int64_t now) {
  if (f.type > 0 && r.type != f.type) return false;
  if (!f.source.empty() && !SameNoCase(r.source, f.source)) return false;
  if (f.days > 0 && int64_t{r.timeGenerated} <= now - int64_t{f.days} * 86400) return false;
  if (f.eventId > 0 && (r.eventId & 0xFFFFu) != static_cast<uint32_t>(f.eventId)) return false;
  return true;
}

bool MatchesMessage(const EventFilter& f, const std::wstring& formatted) {
  return f.message.empty() || formatted.find(f.message) != std::wstring::npos;
}

platform::WinError WalkRecords(const uint8_t* buffer, size_t size,
                               const std::function<bool(const platform::EventRecordView&)>& visit,
                               bool withTexts) {
  size_t at = 0;
  while (at < size) {
    platform::EventRecordView view;
    if (platform::WinError e =
            platform::readEventLogRecord(buffer + at, size - at, &view, withTexts))
      return e;
    if (!visit(view)) break;
    at += view.length;  // at least the header: the walk always moves on
  }
  return platform::ERROR_SUCCESS;
}

std::wstring CleanMessage(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'\n' || c == L'\r' || c == L',') c = L' ';
  return text;
}

std::wstring CsvTime(uint32_t timeGenerated) {
  const time_t t = static_cast<time_t>(timeGenerated);
  std::tm local{};
  if (!localtime_r(&t, &local)) return {};
  return std::to_wstring(local.tm_mon + 1) + L"\\" + std::to_wstring(local.tm_mday) + L"\\" +
         std::to_wstring(local.tm_year + 1900) + L" " + std::to_wstring(local.tm_hour) + L":" +
         std::to_wstring(local.tm_min) + L":" + std::to_wstring(local.tm_sec);
}

std::string QuotedLine(const std::wstring& text) {
  std::wstring quoted = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'&') quoted.push_back(L'&');
    quoted.push_back(c);
  }
  quoted += L"\"\n";
  return toUtf8(quoted);
}

std::wstring CsvRow(const platform::EventRecordFields& r, const std::wstring& message) {
  std::wstring row = std::to_wstring(r.eventId) + L", " + r.source + L", " + CsvTime(r.timeGenerated);
  if (!message.empty()) row += L", " + message;
  return row;
}

std::wstring CsvFileName(const std::wstring& eventgroup) {
  std::wstring name = eventgroup;
  for (wchar_t& c : name)
    if (c < 32 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) c = L'_';
  return name + L".csv";
}

}  // namespace zorel::eventlogger
