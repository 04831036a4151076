// Installed-product detection through `zorel products detect` on machines
// seeded with regedit: the suite rules, suite records and their partners,
// the component's validation, Windows Installer names, both views, and
// FinalList.json.

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "reg_text.h"
#include "seeded_machine.h"
#include "zorel_process.h"

namespace {

using zorel::testing::RunZorel;
using zorel::testing::SeededMachine;
using zorel::testing::ZorelRun;
using namespace zorel::testing::reg;

// Every source emptied again, as on a fresh machine.
std::string Reset() {
  std::string text;
  for (const std::string& key : {kUninstall64, kUninstall32, kInstaller})
    text += "[-" + key + "]\r\n[" + key + "]\r\n";
  for (const std::string& key : {kRecords, kClass1, kClass2}) text += "[-" + key + "]\r\n";
  return text + "\r\n";
}

// One product of the report, in a line: name/type/partner/version/email/account.
std::string Line(const Json::Value& p) {
  return p["productname"].asString() + "/" + std::to_string(p["detectiontype"].asInt()) + "/" +
         p["partnercode"].asString() + "/" + p["productversion"].asString() + "/" +
         p["emailid"].asString() + "/" + p["accountid"].asString();
}

struct DetectCase {
  const char* what;
  std::string seed;
  std::vector<std::string> expected;  // Line() of each reported product, in order
  std::string notmapped = "0";
  std::string logLine = "";           // a line the run must log, if any
};

TEST(ProductsDetect, SuiteRulesRecordsAndInstallerNames) {
  SeededMachine machine;
  machine.Put(kServerFile, "MZ");
  std::filesystem::create_directories(machine.Host("Program Files/Olvane/folder.exe"));
  const std::string lantern = Program(kUninstall64, "L", "Olvane Lantern Antivirus");
  const std::string keel = Program(kUninstall32, "K", "Olvane Keel Firewall");
  const std::string tidewatch = Program(kUninstall64, "T", "Olvane Tidewatch Agent", "\"DisplayVersion\"=\"4\"\r\n");
  const std::string harborRecord = Text("package_name", "Olvane Harbor Suite") +
                                   Text("accnt_id", "A-17") + Text("e_mail", "m@example.com");
  const std::string guid = "{12345678-9ABC-DEF0-1234-56789ABCDEF0}";
  const std::string packed = "87654321CBA90FED21436587A9CBED0F";
  const std::string installerEntry = "\"WindowsInstaller\"=dword:00000001\r\n\"DisplayVersion\"=\"7.2\"\r\n";
  const std::vector<DetectCase> cases = {
      {"no sources at all", "", {}, "0", "No consumer suites were detected"},
      {"members give their suite", lantern + keel + tidewatch, {"Olvane Harbor Suite/4/0///"}},
      {"a beta is no product", Program(kUninstall64, "B", "Olvane Lantern Antivirus Beta"), {}},
      {"an unsellable member still gives its suite", tidewatch, {"Olvane Harbor Suite/4/0///"}},
      {"a product in no suite stays, the first view's version",
       Program(kUninstall64, "C", "Olvane Compass Cleaner", "\"DisplayVersion\"=\"1.0\"\r\n") +
           Program(kUninstall32, "C", "Olvane Compass Cleaner", "\"DisplayVersion\"=\"2.0\"\r\n"),
       {"Olvane Compass Cleaner/1/0/1.0//"}},
      {"other case is a keyword match", Program(kUninstall32, "C", "OLVANE COMPASS CLEANER"),
       {"Olvane Compass Cleaner/2/0///"}},
      {"a partner-only product from the uninstall list is refused",
       Program(kUninstall64, "M", "Pryne Security Moorline Backup"), {}},
      {"a record with partner 310-12, matched exactly",
       Server(kClass1, kServer) + Record("OHS", harborRecord + Text("affid", "310-12")),
       {"Olvane Harbor Suite/1/310//m@example.com/A-17"}, "0", "Partner Code Identified - 310-12"},
      {"a record without affid",
       Server(kClass1, kServer) + Record("OHS", harborRecord),
       {"Olvane Harbor Suite/1/0//m@example.com/A-17"}, "0", "Partner Code Identified - 0"},
      {"a refused partner",
       Server(kClass1, kServer) +
           Record("PDB", Text("package_name", "Pryne Security Moorline Backup") + Text("affid", "999")),
       {}},
      {"an accepted partner product resolves to its smallest suite",
       Server(kClass1, kServer) +
           Record("PDB", Text("package_name", "Pryne Security Moorline Backup") + Text("affid", "310")),
       {"Olvane Pathwise/4/0///"}},
      {"records are not read when the server file is missing",
       Server(kClass1, "\"C:\\\\Program Files\\\\Olvane\\\\missing.exe\"") +
           Record("OHS", harborRecord),
       {}, "0", "No consumer suites were detected"},
      {"nor when it names a folder",
       Server(kClass1, "\"C:\\\\Program Files\\\\Olvane\\\\folder.exe\"") + Record("OHS", harborRecord),
       {}},
      {"nor when it is no text",
       Key(kClass1 + "\\LocalServer32", "@=dword:00000001\r\n") + Record("OHS", harborRecord), {}},
      {"an expandable server path with arguments",
       Server(kClass1, "hex(2):22,00,25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,00,"
                       "65,00,73,00,25,00,5c,00,4f,00,6c,00,76,00,61,00,6e,00,65,00,5c,00,72,00,65,00,"
                       "67,00,69,00,73,00,74,00,72,00,79,00,2e,00,65,00,78,00,65,00,22,00,20,00,2f,00,"
                       "61,00,00,00") +
           Record("OHS", harborRecord),
       {"Olvane Harbor Suite/1/0//m@example.com/A-17"}},
      {"the second class stands for one Pathwise record",
       Server(kClass2, kServer) + Record("OHS", harborRecord), {"Olvane Pathwise/1/0///"}},
      {"the first class wins over the second",
       Server(kClass1, kServer) + Server(kClass2, kServer) + Record("OHS", harborRecord),
       {"Olvane Harbor Suite/1/0//m@example.com/A-17"}},
      {"values that are no text read as empty",
       Server(kClass1, kServer) +
           Record("A", "\"package_name\"=dword:00000001\r\n") +
           Record("B", Text("package_name", "Olvane Harbor Suite") + "\"affid\"=dword:00000136\r\n"),
       {"Olvane Harbor Suite/1/0///"}},
      {"a Windows Installer entry is named by its product name",
       Program(kUninstall64, guid, "Olvane Setup Entry", installerEntry) +
           Key(kInstaller + "\\" + packed, Text("ProductName", "Olvane Compass Cleaner")),
       {"Olvane Compass Cleaner/1/0/7.2//"}},
      {"an empty product name leaves the name",
       Program(kUninstall64, guid, "Olvane Compass Cleaner", installerEntry) +
           Key(kInstaller + "\\" + packed, Text("ProductName", "")),
       {"Olvane Compass Cleaner/1/0/7.2//"}},
      {"so does a product name that is no text",
       Program(kUninstall64, guid, "Olvane Compass Cleaner", installerEntry) +
           Key(kInstaller + "\\" + packed, "\"ProductName\"=hex:41,00"),
       {"Olvane Compass Cleaner/1/0/7.2//"}},
      {"a code that is no GUID is not looked up",
       Program(kUninstall64, "{x-y-z-w-v}", "Olvane Compass Cleaner"),
       {"Olvane Compass Cleaner/1/0///"}, "0",
       "Failed to verify if the entry for the product exists in "
       "'HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products' location"},
      {"an empty pair of braces is a plain name", Program(kUninstall64, "{}", "Olvane Compass Cleaner"),
       {"Olvane Compass Cleaner/1/0///"}},
      {"two suites added for two entries are not mapped",
       lantern + Program(kUninstall64, "S", "Olvane Myrrasund Sync") +
           Program(kUninstall32, "H", "Olvane Hoskavel Parental"),
       {"Olvane Harbor Suite/4/0///", "Olvane Tsarvolk Suite/4/0///"}, "1"},
  };
  for (const DetectCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(machine.Host(SeededMachine::kFinalList));
    std::filesystem::remove(machine.Host("Users/User/AppData/Local/Temp/FrameWork.log"));
    machine.Seed(Reset() + c.seed);
    const ZorelRun run = RunZorel({"products", "detect", "--json"}, machine.root());
    ASSERT_EQ(run.status, 0) << run.err;
    Json::Value report;
    std::istringstream in(run.out);
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &report, nullptr)) << run.out;
    std::vector<std::string> lines;
    for (const Json::Value& p : report["products"]) {
      lines.push_back(Line(p));
      EXPECT_EQ(p["isselected"].asString(), "1");
    }
    EXPECT_EQ(lines, c.expected);
    EXPECT_EQ(report["notmapped"].asString(), c.notmapped);
    // The same document is saved when there is something to report.
    EXPECT_EQ(machine.Get(SeededMachine::kFinalList), c.expected.empty() ? "" : run.out);
    const std::string log = machine.Log();
    if (!c.logLine.empty()) {
      EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    }
    EXPECT_EQ(log.find("Saved file - ") != std::string::npos, !c.expected.empty()) << log;
    if (c.expected.empty()) {
      EXPECT_NE(log.find("No products detected"), std::string::npos);
    }
  }
}

TEST(ProductsDetect, PlainOutputListsTheFinalNames) {
  SeededMachine machine;
  machine.Seed(Program(kUninstall64, "C", "Olvane Compass Cleaner") +
               Program(kUninstall32, "T", "Olvane Tidewatch Agent"));
  ZorelRun run = RunZorel({"products", "detect"}, machine.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "olvane compass cleaner\nolvane harbor suite\n");
  run = RunZorel({"products", "detect", "--xml"}, machine.root());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("usage:"), std::string::npos);

  // Without a TEMP folder the report is not written anywhere else.
  machine.Seed(Key("HKEY_CURRENT_USER\\Environment", "\"TEMP\"=-\r\n") +
               Key("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\"
                   "Environment",
                   "\"TEMP\"=-\r\n"));
  std::filesystem::remove(machine.Host(SeededMachine::kFinalList));
  run = RunZorel({"products", "detect"}, machine.root());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "olvane compass cleaner\nolvane harbor suite\n");
  EXPECT_FALSE(std::filesystem::exists(machine.Host(SeededMachine::kFinalList)));
  EXPECT_FALSE(std::filesystem::exists("/PRODUCTDETECT"));
  EXPECT_FALSE(std::filesystem::exists(machine.Host("PRODUCTDETECT")));
}

}  // namespace
