// IsCoreComponentInstallSuccess through `zorel check`: the installation
// logs in C:\ProgramData\Olvane\OVLOGS, one layout per run.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "products_script_fixture.h"

namespace {

namespace fs = std::filesystem;
using zorel::testing::ProductsScripts;

constexpr const char kLogs[] = "ProgramData/Olvane/OVLOGS";
constexpr const char kMarker[] = "Install error: un-winding install";

std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string(1, c) + '\0';
  return wide;
}

struct LogCase {
  const char* what;
  std::function<void(const zorel::testing::SeededMachine&)> layout;
  int code;
  std::string input;         // INPUT_DETAILS of the call
  std::string logLine = "";  // a line the run must log, if any
};

TEST_F(ProductsScripts, InstallLogsAreScannedLineByLine) {
  const std::string folder = std::string(kLogs) + "/";
  const std::string marker = std::string(kMarker) + "\r\n";
  const auto file = [&](const std::string& name, const std::string& bytes) {
    return [=](const zorel::testing::SeededMachine& m) { m.Put(folder + name, bytes); };
  };
  const std::vector<LogCase> cases = {
      {"no folder", [](const auto&) {}, 0, "{}"},
      {"empty folder", [&](const auto& m) { fs::create_directories(m.Host(kLogs)); }, 0, "{}",
       "File C:\\ProgramData\\Olvane\\OVLOGS\\ovehidin*.log is not present"},
      {"a folder named like a log",
       [&](const auto& m) { fs::create_directories(m.Host(folder + "ovehidin1.log")); }, 0, "{}"},
      {"CRLF lines: the last hr= text before the marker",
       file("OVEHIDIN-setup.LOG",
            "start\r\nstep hr=0x1\r\nfailed hr=0x80070005\r\n" + marker + "after hr=0x2\r\n"),
       20016, "{\"ErrorCode\":\"0x80070005\"}",
       "IsCoreComponentInstallSuccess: Install error string extracted from log file is: "
       "0x80070005"},
      {"no marker", file("ovehidin1.log", "a hr=0x5\r\nall done\r\n"), 0, "{}"},
      {"bare line feeds make one line",
       file("ovehidin1.log", "start\nfailed hr=0x5 x\n" + std::string(kMarker) + "\nend\n"), 20016,
       "{\"ErrorCode\":\"0x5 x\n" + std::string(kMarker) + "\nend\n\"}"},
      {"a NUL ends what a line shows, not the file",
       file("ovehidin1.log", std::string("x\0 hr=0xBAD\r\n", 13) + marker), 20016,
       "{\"ErrorCode\":\"\"}"},
      {"UTF-16 text holds no narrow marker",
       file("ovehidin1.log", "\xff\xfe" + Utf16("hr=0x5\r\n" + marker)), 0, "{}"},
      {"a line of 4 MiB is read",
       file("ovehidin1.log", std::string(4 << 20, 'a') + " hr=0x7\r\n" + marker), 20016,
       "{\"ErrorCode\":\"0x7\"}"},
      {"a line of 5 MiB skips the file",
       file("ovehidin1.log", std::string(5 << 20, 'a') + "\r\n" + marker), 0, "{}"},
      {"a file past 4 GiB is skipped, not read as its low 32 bits",
       [&](const auto& m) {
         m.Put(folder + "ovehidin1.log", marker);
         fs::resize_file(m.Host(folder + "ovehidin1.log"), (4ull << 30) + 100);
       },
       0, "{}"},
      {"unreadable entries are skipped",
       [&](const auto& m) {
         m.Put(folder + "ovehidin3.log", "hr=0x9\r\n" + marker);
         ::mkfifo(m.Host(folder + "ovehidin1.log").c_str(), 0644);
         fs::create_symlink(m.Host(folder + "gone.log"), m.Host(folder + "ovehidin2.log"));
       },
       20016, "{\"ErrorCode\":\"0x9\"}"},
  };
  for (const LogCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::error_code ec;
    fs::remove_all(machine_.Host("ProgramData/Olvane"), ec);
    fs::remove(machine_.Host("Users/User/AppData/Local/Temp/FrameWork.log"), ec);
    c.layout(machine_);
    Run(R"js(function cases() {
      var p = new Products();
      ask("core", p, "IsCoreComponentInstallSuccess");
      ask("version", p, "isOlvaneProductVersionGreaterOrEquals");
    })js");
    EXPECT_EQ(Code("core"), c.code);
    // The property keeps its 0, as the version method's record shows.
    EXPECT_EQ(Operations(),
              (std::vector<std::string>{
                  "Products::IsCoreComponentInstallSuccess|" + c.input + "|" + std::to_string(c.code),
                  "Products::isOlvaneProductVersionGreaterOrEquals||0"}));
    const std::string log = Log();
    if (!c.logLine.empty()) {
      EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    } else {
      EXPECT_EQ(log.find("is not present"), std::string::npos);
    }
  }
}

}  // namespace
