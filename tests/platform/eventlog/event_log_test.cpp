// The event-log store: the stored layout, sequential reads (sizes, ends,
// directions, numbering per log), damaged records and files, the JSON-lines
// import, and a writer in another process beside a backwards reader.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "../machine/temp_machine.h"
#include "zorel/platform/eventlog/event_import.h"
#include "zorel/platform/eventlog/event_log.h"

namespace {

using namespace zorel::platform;
using zorel::testing::TempMachine;

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}
uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }

EventRecordFields Fields(uint32_t id, const std::wstring& source = L"Src") {
  EventRecordFields f;
  f.source = source;
  f.computer = L"PC";
  f.eventId = id;
  f.type = EVENTLOG_WARNING_TYPE;
  f.category = 3;
  f.timeGenerated = 1700000000;
  f.timeWritten = 1700000001;
  f.strings = {L"a", L"bc"};
  f.data = {0xAB, 0xCD, 0xEF};
  return f;
}

// Reads sequentially in one direction until 38; the record numbers in order.
std::vector<uint32_t> ReadAll(IEventLogHandle& h, uint32_t direction, WinError* end) {
  std::vector<uint32_t> numbers;
  std::vector<uint8_t> buffer(64);
  for (int guard = 0; guard < 100000; ++guard) {
    uint32_t read = 0, needed = 0;
    const WinError e = h.read(EVENTLOG_SEQUENTIAL_READ | direction, 0, buffer.data(),
                              uint32_t(buffer.size()), &read, &needed);
    if (e == ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(needed);
      continue;
    }
    if (e != ERROR_SUCCESS) {
      *end = e;
      return numbers;
    }
    for (size_t at = 0; at < read; at += u32(buffer, at)) numbers.push_back(u32(buffer, at + 8));
  }
  *end = -1;
  return numbers;
}

std::string Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

class EventLogStore : public ::testing::Test {
 protected:
  IEventLog& Log() { return machine_->eventLog(); }
  std::unique_ptr<IEventLogHandle> Open(const std::wstring& name) {
    std::unique_ptr<IEventLogHandle> h;
    EXPECT_EQ(Log().open(name, &h), 0);
    return h;
  }
  // Runs SQL on the store file directly (damage for the tests).
  void Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((machine_.root() + "/eventlog.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }
  TempMachine machine_;
};

TEST_F(EventLogStore, StoredRecordIsTheEventLogRecordFieldByField) {
  ASSERT_EQ(Log().report(L"system", Fields(0xC0001B7C), nullptr), 0);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((machine_.root() + "/eventlog.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT log, number, record FROM records", -1, &st, nullptr), 0);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "System");  // key's spelling
  EXPECT_EQ(sqlite3_column_int(st, 1), 1);
  const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(st, 2));
  const std::vector<uint8_t> r(p, p + sqlite3_column_bytes(st, 2));
  sqlite3_finalize(st);
  sqlite3_close(db);
  // 56-byte header, "Src\0" "PC\0" (14 bytes) padded to 72, strings
  // "a\0" "bc\0" (10 bytes), 3 data bytes, padding to 88, Length: 92.
  ASSERT_EQ(r.size(), 92u);
  EXPECT_EQ(u32(r, 0), 92u);                 // Length
  EXPECT_EQ(u32(r, 4), 0x654C664Cu);         // "LfLe"
  EXPECT_EQ(u32(r, 8), 1u);                  // RecordNumber
  EXPECT_EQ(u32(r, 12), 1700000000u);        // TimeGenerated
  EXPECT_EQ(u32(r, 16), 1700000001u);        // TimeWritten
  EXPECT_EQ(u32(r, 20), 0xC0001B7Cu);        // EventID, all 32 bits
  EXPECT_EQ(u16(r, 24), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(u16(r, 26), 2);                  // NumStrings
  EXPECT_EQ(u16(r, 28), 3);                  // EventCategory
  EXPECT_EQ(u32(r, 36), 72u);                // StringOffset
  EXPECT_EQ(u32(r, 40), 0u);                 // UserSidLength
  EXPECT_EQ(u32(r, 48), 3u);                 // DataLength
  EXPECT_EQ(u32(r, 52), 82u);                // DataOffset
  EXPECT_EQ(r[56], 'S');
  EXPECT_EQ(r[62], 0);                       // SourceName's NUL
  EXPECT_EQ(r[64], 'P');
  EXPECT_EQ(r[72], 'a');
  EXPECT_EQ(r[76], 'b');
  EXPECT_EQ(r[82], 0xAB);
  EXPECT_EQ(u32(r, 88), 92u);                // Length again
  EventRecordView view;
  ASSERT_EQ(readEventLogRecord(r.data(), r.size(), &view), 0);
  EXPECT_EQ(view.fields.strings, (std::vector<std::wstring>{L"a", L"bc"}));
  EXPECT_EQ(view.fields.computer, L"PC");
  EXPECT_EQ(view.fields.data, (std::vector<uint8_t>{0xAB, 0xCD, 0xEF}));
}

TEST_F(EventLogStore, SequentialReadsSizesEndsDirectionsAndNumbering) {
  for (uint32_t id = 1; id <= 3; ++id) ASSERT_EQ(Log().report(L"System", Fields(id), nullptr), 0);
  uint32_t number = 0;
  ASSERT_EQ(Log().report(L"APPLICATION", Fields(9), &number), 0);
  EXPECT_EQ(number, 1u);  // numbered per log
  EXPECT_EQ(Log().report(L"NoSuchLog", Fields(9), nullptr), ERROR_FILE_NOT_FOUND);

  auto h = Open(L"system");
  EXPECT_EQ(h->logName(), L"System");
  uint8_t small[8];
  uint32_t read = 7, needed = 0;
  // 122 with the size the next record needs, nothing consumed.
  EXPECT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, small, 8, &read, &needed),
            ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(needed, 92u);
  std::vector<uint8_t> two(184);
  ASSERT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, two.data(), 184, &read,
                    &needed), 0);
  EXPECT_EQ(read, 184u);  // as many whole records as fit
  EXPECT_EQ(u32(two, 8), 3u);
  EXPECT_EQ(u32(two, 92 + 8), 2u);
  WinError end = 0;
  EXPECT_EQ(ReadAll(*h, EVENTLOG_BACKWARDS_READ, &end), (std::vector<uint32_t>{1}));
  EXPECT_EQ(end, ERROR_HANDLE_EOF);
  EXPECT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, two.data(), 184, &read,
                    &needed), ERROR_HANDLE_EOF);
  EXPECT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ, 0, two.data(), 184, &read, &needed),
            ERROR_INVALID_PARAMETER);  // no direction

  EXPECT_EQ(ReadAll(*Open(L"System"), EVENTLOG_FORWARDS_READ, &end),
            (std::vector<uint32_t>{1, 2, 3}));
  // Unregistered names, the empty one and one with a backslash open Application.
  for (const wchar_t* name : {L"nope", L"", L"System\\x"})
    EXPECT_EQ(ReadAll(*Open(name), EVENTLOG_BACKWARDS_READ, &end), (std::vector<uint32_t>{1})) << name;
}

TEST_F(EventLogStore, DamagedRecordsAnswer1500AndAreKept) {
  ASSERT_EQ(Log().report(L"System", Fields(1), nullptr), 0);
  const std::vector<uint8_t> good = buildEventLogRecord(2, Fields(2));
  struct Case {
    const char* what;
    std::string blob;  // SQL blob literal of record 2
  };
  auto hex = [](std::vector<uint8_t> b) {
    std::string s = "x'";
    for (uint8_t c : b) {
      char two[3];
      std::snprintf(two, sizeof two, "%02x", c);
      s += two;
    }
    return s + "'";
  };
  auto with = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  const std::vector<uint8_t> cut(good.begin(), good.end() - 8);
  const Case cases[] = {
      {"Length 0", hex(with(0, 0))},
      {"Length far too large", hex(with(0, 0x7FFFFFF0))},
      {"Length below the header", hex(with(0, 40))},
      {"cut short", hex(cut)},
      {"trailing Length differs", hex(with(good.size() - 4, 4))},
      {"string offset outside", hex(with(36, 5000))},
      {"data outside", hex(with(48, 500))},
      {"not a record", "x'00'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sql("DELETE FROM records WHERE number=2; INSERT INTO records VALUES('System', 2, " + c.blob + ")");
    WinError end = 0;
    // Newest first: the damaged record stops the reading at once.
    EXPECT_EQ(ReadAll(*Open(L"System"), EVENTLOG_BACKWARDS_READ, &end), std::vector<uint32_t>{});
    EXPECT_EQ(end, ERROR_EVENTLOG_FILE_CORRUPT);
    // Oldest first: the good record, then 1500.
    EXPECT_EQ(ReadAll(*Open(L"System"), EVENTLOG_FORWARDS_READ, &end), std::vector<uint32_t>{1});
    EXPECT_EQ(end, ERROR_EVENTLOG_FILE_CORRUPT);
  }
}

TEST(EventLogFile, RandomBytesAnswer1500AndStayUntouched) {
  TempMachine machine;
  const std::string path = machine.root() + "/eventlog.db";
  std::string noise(4096, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
  Write(path, noise);
  std::unique_ptr<IMachine> reopened;
  ASSERT_EQ(openMachine(machine.root(), {}, &reopened), 0);  // the machine still opens
  std::unique_ptr<IEventLogHandle> h;
  EXPECT_EQ(reopened->eventLog().open(L"System", &h), ERROR_EVENTLOG_FILE_CORRUPT);
  EXPECT_EQ(reopened->eventLog().report(L"System", Fields(1), nullptr), ERROR_EVENTLOG_FILE_CORRUPT);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), noise);
}

TEST_F(EventLogStore, ImportRefusesEachKindOfBadLineAndImportsNothing) {
  const std::string good =
      R"({"log":"System","source":"S","id":4294967295,"time":"2020-02-29T23:59:59Z","strings":["x"],"data":"0aFF"})";
  struct Case {
    const char* line;
    const char* reason;  // what the message says after "FILE:2: "
  };
  const std::string deep = R"({"log":"System","source":"S","id":1,"strings":)" + std::string(5000, '[');
  const Case cases[] = {
      {"not json", "not a JSON object"},
      {deep.c_str(), "nested too deeply"},
      {"[1]", "not a JSON object"},
      {R"({"log":"System","source":"S","id":1} x)", "not a JSON object"},
      {R"({"source":"S","id":1})", "\"log\""},
      {R"({"log":"Nope","source":"S","id":1})", "\"Nope\" is not a registered log"},
      {R"({"log":"System","id":1})", "\"source\""},
      {R"({"log":"System","source":"S"})", "\"id\""},
      {R"({"log":"System","source":"S","id":"1"})", "\"id\""},
      {R"({"log":"System","source":"S","id":4294967296})", "\"id\""},
      {R"({"log":"System","source":"S","id":-1})", "\"id\""},
      {R"({"log":"System","source":"S","id":1.5})", "\"id\""},
      {R"({"log":"System","source":"S","id":1,"type":65536})", "\"type\""},
      {R"({"log":"System","source":"S","id":1,"time":"2021-02-29T00:00:00Z"})", "\"time\""},
      {R"({"log":"System","source":"S","id":1,"time":"2021-01-01 00:00:00"})", "\"time\""},
      {R"({"log":"System","source":"S","id":1,"ago":-5})", "\"ago\""},
      {R"({"log":"System","source":"S","id":1,"strings":[1]})", "\"strings\""},
      {R"({"log":"System","source":"S","id":1,"data":"abc"})", "\"data\""},
      {R"({"log":"System","source":"S","id":1,"colour":1})", "unknown key"},
  };
  const std::string file = machine_.base() + "/in.jsonl";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Write(file, good + "\n" + c.line + "\n" + good + "\n");
    std::string message;
    size_t count = 7;
    EXPECT_EQ(importEventLines(Log(), file, "in.jsonl", L"PC", &count, &message), ERROR_INVALID_DATA);
    EXPECT_EQ(message.rfind("in.jsonl:2: ", 0), 0u) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
    EXPECT_EQ(count, 0u);
  }
  WinError end = 0;
  EXPECT_TRUE(ReadAll(*Open(L"System"), EVENTLOG_BACKWARDS_READ, &end).empty());  // nothing imported

  Write(file, good + "\n\n" + R"({"log":"system","source":"T","id":7,"ago":60})" + "\n");
  size_t count = 0;
  std::string message;
  ASSERT_EQ(importEventLines(Log(), file, "in.jsonl", L"PC", &count, &message), 0) << message;
  EXPECT_EQ(count, 2u);
  auto h = Open(L"System");
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), 4096, &read,
                    &needed), 0);
  EventRecordView first;
  ASSERT_EQ(readEventLogRecord(buffer.data(), read, &first), 0);
  EXPECT_EQ(first.fields.eventId, 4294967295u);
  EXPECT_EQ(first.fields.timeGenerated, 1583020799u);  // 2020-02-29T23:59:59Z
  EXPECT_EQ(first.fields.type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(first.fields.computer, L"PC");
  EXPECT_EQ(first.fields.data, (std::vector<uint8_t>{0x0A, 0xFF}));
  EventRecordView second;
  ASSERT_EQ(readEventLogRecord(buffer.data() + first.length, read - first.length, &second), 0);
  EXPECT_EQ(second.recordNumber, 2u);
  EXPECT_NEAR(double(second.fields.timeGenerated), double(std::time(nullptr) - 60), 5);
}

// A writer process appends while this process reads backwards: the reader
// sees every record that existed when it started, each once, newest first.
TEST_F(EventLogStore, WriterInAnotherProcessBesideABackwardsReader) {
  std::vector<EventLogEntry> batch;
  for (uint32_t i = 1; i <= 2000; ++i) batch.push_back({L"System", Fields(i)});
  ASSERT_EQ(Log().appendEvents(batch, nullptr), 0);
  auto h = Open(L"System");
  const pid_t child = ::fork();
  if (child == 0) {
    std::unique_ptr<IMachine> m;
    int failures = openMachine(machine_.root(), {}, &m) != 0;
    for (uint32_t i = 0; i < 300 && !failures; ++i)
      failures += m->eventLog().report(L"System", Fields(5000 + i), nullptr) != 0;
    ::_exit(failures == 0 ? 0 : 1);
  }
  WinError end = 0;
  const std::vector<uint32_t> numbers = ReadAll(*h, EVENTLOG_BACKWARDS_READ, &end);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(end, ERROR_HANDLE_EOF);
  ASSERT_FALSE(numbers.empty());
  ASSERT_GE(numbers.front(), 2000u);
  for (size_t i = 1; i < numbers.size(); ++i) ASSERT_EQ(numbers[i], numbers[i - 1] - 1);
  EXPECT_EQ(numbers.back(), 1u);
  EXPECT_EQ(ReadAll(*Open(L"System"), EVENTLOG_FORWARDS_READ, &end).size(), 2300u);
}

}  // namespace

namespace {

// An image's eventlog/*.jsonl files are imported in name order when a
// machine is made from it; a bad line makes no machine at all.
TEST(EventLogImage, FixturesAreImportedInNameOrderOrNotAtAll) {
  char pattern[] = "/tmp/zorel-evimage-XXXXXX";
  const std::string base = ::mkdtemp(pattern);
  const std::string images = base + "/images";
  std::filesystem::create_directories(images + "/ev/eventlog");
  std::filesystem::create_directory_symlink(ZOREL_SOURCE_DIR "/machines/default", images + "/default");
  Write(images + "/ev/eventlog/b.jsonl", R"({"log":"System","source":"B","id":2})" "\n");
  Write(images + "/ev/eventlog/a.jsonl", R"({"log":"System","source":"A","id":1})" "\n");
  const char* old = std::getenv("ZOREL_IMAGES");
  const std::string saved = old ? old : "";
  ::setenv("ZOREL_IMAGES", images.c_str(), 1);
  std::wstring message;
  EXPECT_EQ(initMachine(base + "/m1", L"ev", nullptr, &message), 0);
  std::unique_ptr<IMachine> m;
  ASSERT_EQ(openMachine(base + "/m1", {}, &m), 0);
  std::unique_ptr<IEventLogHandle> h;
  ASSERT_EQ(m->eventLog().open(L"System", &h), 0);
  std::vector<uint8_t> buffer(4096);
  uint32_t read = 0, needed = 0;
  ASSERT_EQ(h->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(), 4096, &read,
                    &needed), 0);
  EventRecordView first;
  ASSERT_EQ(readEventLogRecord(buffer.data(), read, &first), 0);
  EXPECT_EQ(first.fields.source, L"A");
  EXPECT_FALSE(first.fields.computer.empty());  // the image's COMPUTERNAME
  h.reset();
  m.reset();

  Write(images + "/ev/eventlog/c.jsonl", "{\"log\":\"System\"}\n");
  EXPECT_NE(initMachine(base + "/m2", L"ev", nullptr, &message), 0);
  EXPECT_NE(message.find(L"c.jsonl:1: \"source\""), std::wstring::npos);
  EXPECT_FALSE(machineIsInitialised(base + "/m2"));
  if (old) ::setenv("ZOREL_IMAGES", saved.c_str(), 1);
  else ::unsetenv("ZOREL_IMAGES");
  std::filesystem::remove_all(base);
}

}  // namespace
