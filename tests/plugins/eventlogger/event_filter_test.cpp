// The record walk on reads whose records lie about their size or offsets
// (it must end with 1500, never loop or read past the buffer), and the
// filter of calls with fewer than five arguments.

#include <gtest/gtest.h>

#include "zorel/framework/stack_frame.h"
#include "zorel/plugins/eventlogger/event_filter.h"

namespace {

using namespace zorel;
using namespace zorel::platform;

std::vector<uint8_t> Record(uint32_t number) {
  EventRecordFields f;
  f.source = L"S";
  f.strings = {L"x"};
  return buildEventLogRecord(number, f);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

TEST(RecordWalk, DamagedRecordsEndTheWalkWith1500) {
  const std::vector<uint8_t> good = Record(1);
  struct Case {
    const char* what;
    size_t at;       // field of the second record to overwrite
    uint32_t value;
  };
  const Case cases[] = {
      {"Length 0", 0, 0},
      {"Length past the buffer", 0, 0x10000},
      {"Length below the header", 0, 40},
      {"trailing Length differs", good.size() - 4, 8},
      {"strings outside", 36, 0xFFFFFF00u},
      {"data outside", 52, uint32_t(good.size())},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> read = good;
    std::vector<uint8_t> second = Record(2);
    Put32(second, c.at, c.value);
    read.insert(read.end(), second.begin(), second.end());
    std::vector<uint32_t> seen;
    EXPECT_EQ(eventlogger::WalkRecords(read.data(), read.size(),
                                       [&](const EventRecordView& r) {
                                         seen.push_back(r.recordNumber);
                                         return true;
                                       }),
              ERROR_EVENTLOG_FILE_CORRUPT)
        << c.what;
    EXPECT_EQ(seen, std::vector<uint32_t>{1}) << c.what;
  }
  // Cut inside the second record.
  std::vector<uint8_t> cut = good;
  const std::vector<uint8_t> second = Record(2);
  cut.insert(cut.end(), second.begin(), second.begin() + 60);
  EXPECT_EQ(eventlogger::WalkRecords(cut.data(), cut.size(), [](const EventRecordView&) { return true; }),
            ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(eventlogger::WalkRecords(good.data(), good.size(), [](const EventRecordView&) { return true; }),
            ERROR_SUCCESS);
}

TEST(Filter, MissingPositionsStayUnsetAndBadNumbersThrow) {
  StackFrame two;
  two.Push(L"");
  two.Push(L"24856");
  const eventlogger::EventFilter f = eventlogger::BuildFilter(two);
  EXPECT_EQ(f.days, 24856);
  EXPECT_EQ(f.eventId, -1);
  EXPECT_TRUE(f.source.empty() && f.message.empty());
  ASSERT_EQ(f.inputs.size(), 1u);
  // 24 856 days reach back past 1970: every record is young enough.
  EventRecordFields old;
  old.timeGenerated = 1;
  EXPECT_TRUE(eventlogger::MatchesCheapFields(f, old, 1800000000));
  for (const wchar_t* type : {L"abc", L"70000", L"4x"}) {
    StackFrame args;
    args.Push(type);
    EXPECT_ANY_THROW(eventlogger::BuildFilter(args)) << type;
  }
}

}  // namespace
