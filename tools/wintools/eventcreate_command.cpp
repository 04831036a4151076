// eventcreate: writes one record into the Application or System log.
//
//   eventcreate /T ERROR|WARNING|INFORMATION|SUCCESS /ID 1-1000 /D TEXT
//               [/L APPLICATION|SYSTEM] [/SO SOURCE]
//
// Options in any order and any case; the log defaults to Application, the
// source to "EventCreate". The record holds the description as its only
// insertion string and the time of the call. A source not yet registered
// is registered under the log with the message file the machine keeps in
// System32 (every id 1 to 1000 formats to exactly the description); a
// source registered under another log is refused, as Windows refuses it.
// Exit 0 with a "SUCCESS: ..." line; a missing or invalid option, an ID
// outside 1 to 1000 or a failed write: exit 1 with an "ERROR: ..." line,
// and nothing is written.

#include <ctime>
#include <cwctype>
#include <optional>

#include "wintools.h"
#include "zorel/platform/base/error_message.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::wintools {

using namespace platform;

namespace {

constexpr const wchar_t* kMessageFile = L"%SystemRoot%\\System32\\eventcreate_msg.dll";

std::wstring upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

std::wstring reasonOf(WinError e) {
  std::wstring reason = systemErrorMessage(static_cast<uint32_t>(e));
  while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r')) reason.pop_back();
  return reason.empty() ? L"error " + std::to_wstring(e) : reason;
}

int fail(const std::wstring& line) {
  err(L"ERROR: " + line + L"\nType \"EVENTCREATE /?\" for usage.\n");
  return 1;
}

void usage() {
  out(L"EVENTCREATE /T type /ID id /D description [/L logname] [/SO source]\n\n"
      L"    /T    ERROR, WARNING, INFORMATION or SUCCESS\n"
      L"    /ID   the event id, 1 to 1000\n"
      L"    /D    the description of the event\n"
      L"    /L    APPLICATION (default) or SYSTEM\n"
      L"    /SO   the source (default \"EventCreate\")\n");
}

struct Request {
  std::optional<std::wstring> type, id, description, log, source;
};

// The log under which `source` is registered, or empty.
std::wstring logOfSource(IRegistry& registry, const std::wstring& source) {
  RegKey logs;
  if (registry.openKey(kHkeyLocalMachine, kEventLogKey, 0, KEY_READ, &logs) != ERROR_SUCCESS)
    return {};
  std::wstring found, log;
  for (uint32_t i = 0; found.empty() && readSubKeyAt(registry, logs, i, &log) == ERROR_SUCCESS; ++i) {
    RegKey key;
    if (registry.openKey(logs, log + L"\\" + source, 0, KEY_READ, &key) == ERROR_SUCCESS) {
      found = log;
      registry.closeKey(key);
    }
  }
  registry.closeKey(logs);
  return found;
}

WinError registerSource(IRegistry& registry, const std::wstring& log, const std::wstring& source) {
  RegKey key;
  WinError e = registry.createKey(kHkeyLocalMachine, std::wstring(kEventLogKey) + L"\\" + log +
                                                         L"\\" + source,
                                  0, KEY_WRITE, &key, nullptr);
  if (e != ERROR_SUCCESS) return e;
  e = writeValue(registry, key, L"EventMessageFile", REG_EXPAND_SZ, regSz(kMessageFile));
  if (e == ERROR_SUCCESS) e = writeValue(registry, key, L"TypesSupported", REG_DWORD, regDword(7));
  if (e == ERROR_SUCCESS) e = writeValue(registry, key, L"CustomSource", REG_DWORD, regDword(1));
  registry.closeKey(key);
  return e;
}

}  // namespace

int eventcreateMain(const Args& args) {
  Request r;
  for (size_t i = 0; i < args.size(); ++i) {
    if (isOption(args[i], L"?")) {
      usage();
      return 0;
    }
    std::optional<std::wstring>* slot = nullptr;
    if (isOption(args[i], L"T")) slot = &r.type;
    else if (isOption(args[i], L"ID")) slot = &r.id;
    else if (isOption(args[i], L"D")) slot = &r.description;
    else if (isOption(args[i], L"L")) slot = &r.log;
    else if (isOption(args[i], L"SO")) slot = &r.source;
    else return fail(L"Invalid argument/option - '" + args[i] + L"'.");
    if (slot->has_value()) return fail(L"Invalid syntax. '" + args[i] + L"' option is not allowed more than '1' time(s).");
    if (i + 1 >= args.size()) return fail(L"Invalid syntax. Value expected for '" + args[i] + L"'.");
    *slot = args[++i];
  }
  if (!r.type) return fail(L"Invalid syntax. Mandatory option '/T' is missing.");
  if (!r.id) return fail(L"Invalid syntax. Mandatory option '/ID' is missing.");
  if (!r.description) return fail(L"Invalid syntax. Mandatory option '/D' is missing.");

  const std::wstring type = upper(*r.type);
  uint16_t eventType = 0;
  if (type == L"ERROR") eventType = EVENTLOG_ERROR_TYPE;
  else if (type == L"WARNING") eventType = EVENTLOG_WARNING_TYPE;
  else if (type == L"INFORMATION") eventType = EVENTLOG_INFORMATION_TYPE;
  else if (type == L"SUCCESS") eventType = EVENTLOG_SUCCESS;
  else return fail(L"Invalid value '" + *r.type + L"' for '/T' option.");

  const std::wstring& idText = *r.id;
  uint32_t id = 0;
  bool digits = !idText.empty() && idText.size() <= 4;
  for (wchar_t c : idText) {
    digits = digits && c >= L'0' && c <= L'9';
    if (digits) id = id * 10 + static_cast<uint32_t>(c - L'0');
  }
  if (!digits || id < 1 || id > 1000)
    return fail(L"Invalid ID. ID must be in the range of 1 to 1000.");

  std::wstring log = L"Application";
  if (r.log) {
    const std::wstring asked = upper(*r.log);
    if (asked == L"SYSTEM") log = L"System";
    else if (asked != L"APPLICATION")
      return fail(L"Invalid value '" + *r.log + L"' for '/L' option. Use APPLICATION or SYSTEM.");
  }
  const std::wstring source = r.source ? *r.source : L"EventCreate";
  if (source.empty() || source.find(L'\\') != std::wstring::npos)
    return fail(L"Invalid value '" + source + L"' for '/SO' option.");

  IMachine* machine = currentMachine();
  if (!machine) return fail(L"The machine cannot be opened (is ZOREL_MACHINE a machine root?).");
  IRegistry& registry = machine->registry();
  std::wstring spelled;
  if (machine->eventLog().registeredLog(log, &spelled) != ERROR_SUCCESS)
    return fail(L"The '" + log + L"' log does not exist.");
  const std::wstring owner = logOfSource(registry, source);
  if (!owner.empty() && upper(owner) != upper(spelled))
    return fail(L"Source already exists in '" + owner + L"' log. Source cannot be duplicated.");

  EventRecordFields fields;
  fields.source = source;
  machine->environment().getVariable(L"COMPUTERNAME", fields.computer);
  fields.type = eventType;
  fields.eventId = id;
  fields.timeGenerated = fields.timeWritten = static_cast<uint32_t>(std::time(nullptr));
  fields.strings.push_back(*r.description);
  // The source is registered in the same step as the record is written:
  // when the write fails, the registration is taken back.
  const bool newSource = owner.empty();
  if (newSource) {
    if (WinError e = registerSource(registry, spelled, source))
      return fail(L"The source cannot be registered: " + reasonOf(e));
  }
  if (WinError e = machine->eventLog().report(spelled, fields, nullptr)) {
    if (newSource) {
      RegKey logKey;
      if (registry.openKey(kHkeyLocalMachine, std::wstring(kEventLogKey) + L"\\" + spelled, 0,
                           KEY_ALL_ACCESS, &logKey) == ERROR_SUCCESS) {
        registry.deleteTree(logKey, source);
        registry.closeKey(logKey);
      }
    }
    err(L"ERROR: " + reasonOf(e) + L"\n");
    return 1;
  }
  out(L"SUCCESS: An event of type '" + type + L"' was created in the '" + spelled +
      L"' log with '" + source + L"' as the source.\n");
  return 0;
}

}  // namespace zorel::wintools
