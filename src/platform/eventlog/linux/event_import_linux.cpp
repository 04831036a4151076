// Event records from JSON lines (see event_import.h).

#include "zorel/platform/eventlog/event_import.h"

#include <json/json.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <sstream>

#include "zorel/common/utf8.h"

namespace zorel::platform {
namespace {

bool unsignedIn(const Json::Value& v, uint64_t max, uint64_t* out) {
  if (!v.isIntegral() || !v.isUInt64() || v.asUInt64() > max) return false;
  *out = v.asUInt64();
  return true;
}

bool text(const Json::Value& v, std::wstring* out) {
  if (!v.isString()) return false;
  *out = fromUtf8(v.asString());
  return true;
}

// "YYYY-MM-DDTHH:MM:SSZ" as UTC seconds since 1970 (within 32 bits).
bool parseTime(const std::string& s, int64_t* seconds) {
  int year, month, day, hour, minute, second;
  char tail = 0;
  if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' ||
      s[16] != ':' || s[19] != 'Z')
    return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
    if (s[i] < '0' || s[i] > '9') return false;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &tail) != 7)
    return false;
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 59)
    return false;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const int64_t t = static_cast<int64_t>(::timegm(&tm));
  if (t < 0 || t > UINT32_MAX) return false;
  *seconds = t;
  return true;
}

bool parseHex(const std::string& s, std::vector<uint8_t>* out) {
  if (s.size() % 2) return false;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out->clear();
  for (size_t i = 0; i < s.size(); i += 2) {
    const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

}  // namespace

bool parseEventLine(const std::string& line, const std::wstring& computer, int64_t now,
                    EventLogEntry* entry, std::string* reason) {
  // One reader per thread: building one per line would cost more than the
  // line.
  thread_local const std::unique_ptr<Json::CharReader> reader = [] {
    Json::CharReaderBuilder builder;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    builder["allowSpecialFloats"] = false;
    return std::unique_ptr<Json::CharReader>(builder.newCharReader());
  }();
  Json::Value v;
  std::string errors;
  bool parsed = false;
  try {
    parsed = reader->parse(line.data(), line.data() + line.size(), &v, &errors);
  } catch (const std::exception&) {
    // The reader throws for values nested deeper than it follows.
    *reason = "not a JSON object (nested too deeply)";
    return false;
  }
  if (!parsed || !v.isObject()) {
    *reason = "not a JSON object";
    return false;
  }
  static const std::set<std::string> kKeys = {"log",  "source", "id",      "type",     "category",
                                              "time", "ago",    "strings", "computer", "data"};
  for (const std::string& key : v.getMemberNames()) {
    if (!kKeys.count(key)) {
      *reason = "unknown key \"" + key + "\"";
      return false;
    }
  }
  auto fail = [reason](const std::string& why) {
    *reason = why;
    return false;
  };
  EventLogEntry e;
  EventRecordFields& f = e.fields;
  if (!v.isMember("log") || !text(v["log"], &e.log) || e.log.empty())
    return fail("\"log\" must be the name of a log");
  if (!v.isMember("source") || !text(v["source"], &f.source) || f.source.empty())
    return fail("\"source\" must be a text");
  uint64_t number = 0;
  if (!v.isMember("id") || !unsignedIn(v["id"], UINT32_MAX, &number))
    return fail("\"id\" must be a number from 0 to 4294967295");
  f.eventId = static_cast<uint32_t>(number);
  f.type = EVENTLOG_INFORMATION_TYPE;
  if (v.isMember("type")) {
    if (!unsignedIn(v["type"], 65535, &number)) return fail("\"type\" must be a number from 0 to 65535");
    f.type = static_cast<uint16_t>(number);
  }
  if (v.isMember("category")) {
    if (!unsignedIn(v["category"], 65535, &number))
      return fail("\"category\" must be a number from 0 to 65535");
    f.category = static_cast<uint16_t>(number);
  }
  int64_t time = now;
  if (v.isMember("time") && v.isMember("ago")) return fail("\"time\" and \"ago\" exclude each other");
  if (v.isMember("time") && (!v["time"].isString() || !parseTime(v["time"].asString(), &time)))
    return fail("\"time\" must be YYYY-MM-DDTHH:MM:SSZ");
  if (v.isMember("ago")) {
    if (!unsignedIn(v["ago"], UINT32_MAX, &number) || static_cast<int64_t>(number) > now)
      return fail("\"ago\" must be a number of seconds from 0 to now");
    time = now - static_cast<int64_t>(number);
  }
  if (time < 0 || time > UINT32_MAX) return fail("the time is outside 1970 to 2106");
  f.timeGenerated = f.timeWritten = static_cast<uint32_t>(time);
  if (v.isMember("strings")) {
    const Json::Value& strings = v["strings"];
    if (!strings.isArray() || strings.size() > 65535) return fail("\"strings\" must be an array of texts");
    for (const Json::Value& s : strings) {
      std::wstring one;
      if (!text(s, &one)) return fail("\"strings\" must be an array of texts");
      f.strings.push_back(std::move(one));
    }
  }
  f.computer = computer;
  if (v.isMember("computer") && !text(v["computer"], &f.computer))
    return fail("\"computer\" must be a text");
  if (v.isMember("data") && (!v["data"].isString() || !parseHex(v["data"].asString(), &f.data)))
    return fail("\"data\" must be hexadecimal bytes");
  *entry = std::move(e);
  return true;
}

WinError importEventLines(IEventLog& log, const std::string& hostPath,
                          const std::string& shownName, const std::wstring& computer,
                          size_t* count, std::string* message) {
  if (count) *count = 0;
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    if (message) *message = shownName + ": cannot be read";
    return ERROR_FILE_NOT_FOUND;
  }
  const int64_t now = static_cast<int64_t>(std::time(nullptr));
  std::vector<EventLogEntry> entries;
  std::set<std::wstring> registered;  // the logs met so far, as written
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    EventLogEntry entry;
    std::string reason;
    if (!parseEventLine(line, computer, now, &entry, &reason)) {
      if (message) *message = shownName + ":" + std::to_string(number) + ": " + reason;
      return ERROR_INVALID_DATA;
    }
    if (!registered.count(entry.log) && log.registeredLog(entry.log, nullptr) != ERROR_SUCCESS) {
      if (message)
        *message = shownName + ":" + std::to_string(number) + ": \"" + toUtf8(entry.log) +
                   "\" is not a registered log";
      return ERROR_INVALID_DATA;
    }
    registered.insert(entry.log);
    entries.push_back(std::move(entry));
  }
  const WinError e = log.appendEvents(entries, nullptr);
  if (e != ERROR_SUCCESS) {
    if (message) *message = shownName + ": nothing imported (error " + std::to_string(e) + ")";
    return e;
  }
  if (count) *count = entries.size();
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
