// Every writer of the program under injected I/O faults: with the disk full,
// an I/O error or a refused open, write, fsync or rename, each writer reports
// the failure (or, for the log, carries on) and keeps everything it had
// written before whole; an interrupted call is retried and the write
// completes.

#include <gtest/gtest.h>

#include <errno.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../../store/store_test_support.h"
#include "../machine/temp_machine.h"
#include "injected_fault.h"
#include "report_store.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/eventlog/event_log.h"
#include "zorel/platform/fs/download.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/reg_file.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store.h"

namespace zorel {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using testing::FaultCall;
using testing::InjectedFault;
using testing::LogWatch;
using testing::sqliteCli;
using testing::TempFolder;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Names below `folder` that a writer leaves only while it writes.
std::vector<std::string> leftovers(const fs::path& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.ends_with(".part") || name.starts_with(".zorel-download-")) found.push_back(name);
  }
  return found;
}

// One writer: what it wrote before the fault, the write made under the
// fault, and what must be found afterwards.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual void writeBefore() = 0;
  // RETURNS whether the writer reported success.
  virtual bool write() = 0;
  // Called with the fault gone: `wrote` is what write() reported.
  virtual void checkKept(bool wrote) = 0;
  // The folder holding the writer's files.
  virtual fs::path folder() const = 0;
};

// ----------------------------------------------------------- the writers

std::unique_ptr<IRegistry> openRegistryAt(const std::string& path) {
  std::unique_ptr<IRegistry> registry;
  EXPECT_EQ(openRegistry(path, RegistryOptions{}, &registry), ERROR_SUCCESS);
  return registry;
}

std::wstring registryProblems(IRegistry& registry) {
  std::wstring report;
  if (registry.checkIntegrity(&report) == ERROR_SUCCESS) return {};
  return report.empty() ? L"unsound" : report;
}

bool hasValue(IRegistry& registry, const std::wstring& key, const std::wstring& name) {
  RegKey handle = kRegNoKey;
  if (registry.openKey(kHkeyLocalMachine, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    return false;
  }
  const bool found = registry.queryValue(handle, name, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  registry.closeKey(handle);
  return found;
}

WinError setDword(IRegistry& registry, const std::wstring& key, const std::wstring& name,
                  uint32_t value) {
  RegKey handle = kRegNoKey;
  WinError rc = registry.createKey(kHkeyLocalMachine, key, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                                   &handle, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = registry.setValue(handle, name, REG_DWORD, reinterpret_cast<const uint8_t*>(&value),
                         sizeof value);
  registry.closeKey(handle);
  return rc;
}

// A value set on the machine registry.
class RegistryValue : public Writer {
 public:
  void writeBefore() override {
    registry_ = openRegistryAt(path_);
    ASSERT_EQ(setDword(*registry_, L"SOFTWARE\\Faults", L"kept", 1), ERROR_SUCCESS);
  }
  bool write() override {
    return setDword(*registry_, L"SOFTWARE\\Faults", L"new", 2) == ERROR_SUCCESS;
  }
  void checkKept(bool wrote) override {
    auto fresh = openRegistryAt(path_);
    EXPECT_EQ(registryProblems(*fresh), L"");
    EXPECT_TRUE(hasValue(*fresh, L"SOFTWARE\\Faults", L"kept"));
    EXPECT_EQ(hasValue(*fresh, L"SOFTWARE\\Faults", L"new"), wrote);
    // The connection that met the fault goes on working.
    EXPECT_EQ(setDword(*registry_, L"SOFTWARE\\Faults", L"later", 3), ERROR_SUCCESS);
  }
  fs::path folder() const override { return temp_.path(); }

 protected:
  TempFolder temp_;
  std::string path_ = temp_.file("registry.db");
  std::unique_ptr<IRegistry> registry_;
};

// A .reg file imported into the machine registry: all of it or nothing.
class RegistryImport : public RegistryValue {
 public:
  bool write() override {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int key = 0; key < 40; ++key) {
      text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Imported\\Key" + std::to_string(key) + "]\r\n";
      for (int value = 0; value < 20; ++value) {
        text += "\"Value" + std::to_string(value) + "\"=\"" + std::string(200, 'x') + "\"\r\n";
      }
      text += "\r\n";
    }
    RegImportResult result;
    return importRegBytes(*registry_, text, &result) == ERROR_SUCCESS && result.problems.empty();
  }
  void checkKept(bool wrote) override {
    auto fresh = openRegistryAt(path_);
    EXPECT_EQ(registryProblems(*fresh), L"");
    EXPECT_TRUE(hasValue(*fresh, L"SOFTWARE\\Faults", L"kept"));
    EXPECT_EQ(hasValue(*fresh, L"SOFTWARE\\Imported\\Key0", L"Value0"), wrote);
    EXPECT_EQ(hasValue(*fresh, L"SOFTWARE\\Imported\\Key39", L"Value19"), wrote);
  }
};

// A record reported to an event log.
class EventLogRecord : public Writer {
 public:
  void writeBefore() override {
    registry_ = openRegistryAt(temp_.file("registry.db"));
    RegKey key = kRegNoKey;
    ASSERT_EQ(registry_->createKey(kHkeyLocalMachine,
                                   L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application",
                                   REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, &key, nullptr),
              ERROR_SUCCESS);
    registry_->closeKey(key);
    log_ = openEventLogStore(path_, *registry_);
    for (uint32_t id : {1u, 2u}) ASSERT_EQ(log_->report(L"Application", fields(id), nullptr), 0);
  }
  bool write() override { return log_->report(L"Application", fields(3), nullptr) == 0; }
  void checkKept(bool wrote) override {
    EXPECT_EQ(sqliteCli(path_, "pragma integrity_check"), "ok\n");
    auto fresh = openEventLogStore(path_, *registry_);
    std::unique_ptr<IEventLogHandle> handle;
    ASSERT_EQ(fresh->open(L"Application", &handle), 0);
    std::vector<uint8_t> buffer(1 << 16);
    uint32_t read = 0, needed = 0;
    ASSERT_EQ(handle->read(EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                           uint32_t(buffer.size()), &read, &needed),
              0);
    std::vector<uint32_t> ids;
    for (uint32_t at = 0; at < read;) {
      EventRecordView view;
      ASSERT_EQ(readEventLogRecord(buffer.data() + at, read - at, &view, false), 0);
      ids.push_back(view.fields.eventId);
      at += view.length;
    }
    const std::vector<uint32_t> expected = wrote ? std::vector<uint32_t>{1, 2, 3}
                                                : std::vector<uint32_t>{1, 2};
    EXPECT_EQ(ids, expected);
  }
  fs::path folder() const override { return temp_.path(); }

 private:
  static EventRecordFields fields(uint32_t id) {
    EventRecordFields f;
    f.source = L"Faults";
    f.computer = L"PC";
    f.eventId = id;
    f.type = EVENTLOG_INFORMATION_TYPE;
    f.strings = {L"text " + std::to_wstring(id)};
    return f;
  }
  TempFolder temp_;
  std::string path_ = temp_.file("eventlog.db");
  std::unique_ptr<IRegistry> registry_;
  std::unique_ptr<IEventLog> log_;
};

// The machine every result-store writer uses.
testing::TempMachine& machine() {
  static testing::TempMachine shared;
  return shared;
}

// A result store in a folder of its own on the machine.
class StoreWriter : public Writer {
 public:
  StoreWriter() {
    static int count = 0;
    windowsFolder_ = L"C:\\faults\\store" + std::to_wstring(++count);
    EXPECT_EQ(machine()->paths().toHostPath(windowsFolder_, hostFolder_), 0);
    fs::create_directories(hostFolder_);
    store_.SetPathMapper(&machine()->paths());
  }
  ~StoreWriter() override {
    store_.Close(false);
    std::error_code ec;
    fs::remove_all(hostFolder_, ec);
  }
  void writeBefore() override {
    ASSERT_TRUE(store_.Open(windowsFolder_));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(insertOperation());
  }
  fs::path folder() const override { return hostFolder_; }

 protected:
  bool insertOperation() {
    OperationStore record;
    record.Begin(0, L"plugins\\win\\env\\OS", L"OS::getOSName");
    record.Finish(L"", 1, 0);
    return store_.Insert(record.Table());
  }
  std::string database() const { return (fs::path(hostFolder_) / "ResultStore.db").string(); }

  std::wstring windowsFolder_;
  std::string hostFolder_;
  ResultStore store_;
};

// An operation record inserted into the result store.
class OperationRecord : public StoreWriter {
 public:
  bool write() override {
    const bool inserted = insertOperation();
    reported_ = watch_.Text().find("Failed to insert in to store: OPERATION_TABLE") != std::string::npos;
    return inserted;
  }
  void checkKept(bool wrote) override {
    EXPECT_NE(reported_, wrote) << "a failed insert is logged, a good one is not";
    store_.Close(false);
    EXPECT_EQ(sqliteCli(database(), "pragma integrity_check; select count(*) from OPERATION_TABLE"),
              std::string("ok\n") + (wrote ? "4" : "3") + "\n");
  }

 private:
  LogWatch watch_;
  bool reported_ = false;
};

// db.cab (and collection.cab) made by packaging the store.
class Packaging : public StoreWriter {
 public:
  explicit Packaging(std::string cabinet) : cabinet_(std::move(cabinet)) {}
  void writeBefore() override {
    StoreWriter::writeBefore();
    fs::create_directories(fs::path(hostFolder_) / "collection");
    std::ofstream(fs::path(hostFolder_) / "collection" / "found.txt") << std::string(5000, 'c');
    // A cabinet of an earlier run: packaging replaces it or leaves none.
    std::ofstream(fs::path(hostFolder_) / cabinet_) << "old";
  }
  bool write() override {
    LogWatch watch;
    const bool packed = store_.Package();
    if (cabinet_ == "db.cab") return packed;
    return watch.Text().find("No compressed file created for collection") == std::string::npos;
  }
  void checkKept(bool wrote) override {
    const fs::path cabinet = fs::path(hostFolder_) / cabinet_;
    std::error_code ec;
    ASSERT_EQ(fs::exists(cabinet, ec), wrote) << "a failed packaging leaves no " << cabinet_;
    if (wrote) {
      EXPECT_EQ(testing::runCommand("cabextract -t '" + cabinet.string() + "' >/dev/null 2>&1; echo $?"),
                "0\n");
    }
    // The store itself is untouched by a failed packaging.
    EXPECT_EQ(sqliteCli(database(), "pragma integrity_check; select count(*) from OPERATION_TABLE"),
              "ok\n3\n");
  }

 private:
  std::string cabinet_;
};

// A file downloaded over an older one of the same name.
class Download : public Writer {
 public:
  void writeBefore() override {
    fs::create_directories(temp_.path() / "dl");
    std::ofstream(source_, std::ios::binary) << payload_;
    std::ofstream(destination_, std::ios::binary) << "old";
  }
  bool write() override {
    return downloadToFile("file://" + source_, destination_).hresult == 0;
  }
  void checkKept(bool wrote) override {
    EXPECT_EQ(readFile(destination_), wrote ? payload_ : "old");
  }
  fs::path folder() const override { return temp_.path(); }

 private:
  TempFolder temp_;
  std::string source_ = temp_.file("source.bin");
  std::string destination_ = temp_.file("dl/target.bin");
  std::string payload_ = std::string(300000, 'd');
};

// Lines of FrameWork.log: a full disk drops them, never the caller.
class LogLines : public Writer {
 public:
  void writeBefore() override { log_.Write(LogLevel::Info, L"%s", L"before the fault"); }
  bool write() override {
    log_.Write(LogLevel::Error, L"%s", L"during the fault");
    return true;
  }
  void checkKept(bool wrote) override {
    log_.Write(LogLevel::Info, L"%s", L"after the fault");
    std::istringstream lines(readFile(path_));
    std::vector<std::string> messages;
    for (std::string line; std::getline(lines, line);) {
      if (line.empty()) continue;
      // Every line is one whole entry: a dropped line never glues two.
      const size_t tab = line.find('\t');
      ASSERT_NE(tab, std::string::npos) << line;
      messages.push_back(line.substr(tab + 1));
    }
    std::vector<std::string> expected{"before the fault", "after the fault"};
    if (wrote) expected.insert(expected.begin() + 1, "during the fault");
    EXPECT_EQ(messages, expected);
  }
  fs::path folder() const override { return temp_.path(); }

 private:
  TempFolder temp_;
  std::string path_ = temp_.file("FrameWork.log");
  FrameworkLog log_{path_};
};

// An upload kept by the report server.
class Upload : public Writer {
 public:
  void writeBefore() override {
    std::string error;
    ASSERT_TRUE(store_.open(error)) << error;
    ASSERT_TRUE(store_.newSession("machine", session_, error)) << error;
    ASSERT_TRUE(upload(first_, '1'));
  }
  bool write() override { return upload(second_, '2'); }
  void checkKept(bool wrote) override {
    // What a restarted server finds.
    reportserver::ReportStore restarted(temp_.path().string());
    std::string error;
    ASSERT_TRUE(restarted.open(error)) << error;
    EXPECT_EQ(readFile(temp_.path() / first_), std::string(4000, '1'));
    EXPECT_EQ(fs::exists(temp_.path() / "uploads" / (std::to_string(session_) + ".2.cab")), wrote);
    const std::string sessions = readFile(temp_.path() / "sessions.json");
    EXPECT_NE(sessions.find(std::to_string(session_) + ".cab"), std::string::npos) << sessions;
    EXPECT_EQ(sessions.find(".2.cab") != std::string::npos, wrote) << sessions;
  }
  fs::path folder() const override { return temp_.path(); }

 private:
  bool upload(std::string& stored, char fill) {
    reportserver::UploadFacts facts;
    facts.sessionId = session_;
    facts.envelope = "{}";
    std::string error;
    return store_.storeUpload(facts, std::string(4000, fill), stored, error);
  }
  TempFolder temp_;
  reportserver::ReportStore store_{temp_.path().string()};
  int32_t session_ = 0;
  std::string first_, second_;
};

// ------------------------------------------------------------- the table

struct WriterRow {
  const char* name;
  FaultCall call;
  const char* target;  // part of the path of the file that fails
  int nth;             // the first call that fails
  std::function<std::unique_ptr<Writer>()> make;
};

template <typename T, typename... Args>
std::function<std::unique_ptr<Writer>()> maker(Args... args) {
  return [=] { return std::make_unique<T>(args...); };
}

TEST(WriterFaults, EachWriterReportsTheFailureAndKeepsWhatItHad) {
  const WriterRow rows[] = {
      {"result store insert", FaultCall::kWrite, "ResultStore.db", 1, maker<OperationRecord>()},
      {"db.cab write", FaultCall::kWrite, "db.cab", 2, maker<Packaging>("db.cab")},
      {"db.cab create", FaultCall::kOpen, "db.cab", 1, maker<Packaging>("db.cab")},
      {"db.cab fsync", FaultCall::kFsync, "db.cab", 1, maker<Packaging>("db.cab")},
      {"db.cab rename", FaultCall::kRename, "db.cab", 1, maker<Packaging>("db.cab")},
      {"collection.cab write", FaultCall::kWrite, "collection.cab", 1,
       maker<Packaging>("collection.cab")},
      {"registry value", FaultCall::kWrite, "registry.db", 1, maker<RegistryValue>()},
      {"registry import", FaultCall::kWrite, "registry.db", 3, maker<RegistryImport>()},
      {"event-log record", FaultCall::kWrite, "eventlog.db", 1, maker<EventLogRecord>()},
      {"download write", FaultCall::kWrite, "/dl/", 2, maker<Download>()},
      {"download fsync", FaultCall::kFsync, "/dl/", 1, maker<Download>()},
      {"download rename", FaultCall::kRename, "/dl/", 1, maker<Download>()},
      {"FrameWork.log line", FaultCall::kWrite, "FrameWork.log", 1, maker<LogLines>()},
      {"upload cabinet", FaultCall::kWrite, ".2.cab", 1, maker<Upload>()},
      {"upload record fsync", FaultCall::kFsync, ".2.json", 1, maker<Upload>()},
      {"upload session list", FaultCall::kRename, "sessions.json", 1, maker<Upload>()},
  };
  const int errors[] = {ENOSPC, EIO, EACCES, EINTR};
  for (const WriterRow& row : rows) {
    for (int error : errors) {
      // An interrupted rename does not happen on a local disk.
      if (error == EINTR && row.call == FaultCall::kRename) continue;
      SCOPED_TRACE(std::string(row.name) + ", " + testing::faultCallName(row.call) + " fails with " +
                   strerrorname_np(error));
      std::unique_ptr<Writer> writer = row.make();
      writer->writeBefore();
      if (::testing::Test::HasFatalFailure()) return;
      bool wrote = false;
      int failed = 0;
      {
        // EINTR comes once and is retried; the others stay, as a full disk does.
        InjectedFault fault(row.call, row.target, error, row.nth, error != EINTR);
        wrote = writer->write();
        failed = fault.failed();
      }
      EXPECT_GT(failed, 0) << "the fault never struck";
      const bool logWriter = std::string(row.name) == "FrameWork.log line";
      EXPECT_EQ(wrote, error == EINTR || logWriter);
      writer->checkKept(error == EINTR);
      EXPECT_EQ(leftovers(writer->folder()), std::vector<std::string>{});
    }
  }
}

}  // namespace
}  // namespace zorel
