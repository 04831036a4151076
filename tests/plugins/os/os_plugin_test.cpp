// The OS object as a script meets it, on the Windows 10 Pro default image,
// the Windows 7 Home Premium SP1 image and the newer images (Windows 11,
// Windows 8.1, 32-bit Windows 10 Home), with a real result store.

#include "zorel/plugins/os/os.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "plugin_fixture.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using testing::OperationRow;
using testing::PluginBench;

const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);

const wchar_t kUacKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kAgentKey[] =
    L"SOFTWARE\\Wow6432Node\\Tamsin Partners\\QVX\\Shared Components\\Framework";

void ExpectRow(const OperationRow& row, const wchar_t* api, const std::wstring& input, int32_t code,
               const std::wstring& errorString) {
  EXPECT_EQ(row.problemId, 7);
  EXPECT_EQ(row.stageId, 101);
  EXPECT_EQ(row.operationType, 0);
  EXPECT_EQ(row.component, L"OS");
  EXPECT_EQ(row.api, api);
  EXPECT_EQ(row.input, input);
  EXPECT_EQ(row.executionStatus, code == 0 ? 1 : 0);
  EXPECT_EQ(row.errorCode, code);
  EXPECT_EQ(row.errorString, errorString);
  EXPECT_FALSE(row.startTime.empty());
  EXPECT_FALSE(row.endTime.empty());
}

void SetDword(PluginBench& bench, const wchar_t* key, const wchar_t* name, uint32_t value) {
  ASSERT_EQ(writeValueAt(bench.machine().registry(), kHkeyLocalMachine, key, name, REG_DWORD,
                         regDword(value)),
            0);
}

void DeleteValue(PluginBench& bench, const wchar_t* keyPath, const wchar_t* name) {
  IRegistry& registry = bench.machine().registry();
  RegKey key = kRegNoKey;
  ASSERT_EQ(registry.openKey(kHkeyLocalMachine, keyPath, 0, KEY_ALL_ACCESS, &key), 0);
  EXPECT_EQ(registry.deleteValue(key, name), 0);
  registry.closeKey(key);
}

TEST(OsOnWindows10, NameDetailEditionAndVersionNumbers) {
  PluginBench bench;
  Json::Value v = bench.Call("OS", "getOSName");
  EXPECT_EQ(v["osname"].asString(), "Microsoft Windows");
  EXPECT_TRUE(v["status"].asBool());
  EXPECT_EQ(v["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(1), L"OS::getOSName", L"", 0, L"");

  v = bench.Call("OS", "getOSDetail");
  EXPECT_EQ(v["osname"].asString(), "Windows 10 Professional Edition(Build 19045)");
  EXPECT_FALSE(v["status"].asBool());  // the description does not set it
  EXPECT_EQ(v["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(2), L"OS::getOSDetail", L"", 0, L"");

  v = bench.Call("OS", "getOSEdition");
  EXPECT_EQ(v["osversion"].asString(), "10");
  EXPECT_TRUE(v["status"].asBool());
  ExpectRow(bench.LastRow(3), L"OS::getOSEdition", L"", 0, L"");

  v = bench.Call("OS", "getMajorVersion");
  EXPECT_EQ(v["majorversion"].asInt(), 10);
  EXPECT_TRUE(v["status"].asBool());
  ExpectRow(bench.LastRow(4), L"OS::getMajorVersion", L"", 0, L"");
  v = bench.Call("OS", "getMinorVersion");
  EXPECT_EQ(v["minorversion"].asInt(), 0);
  ExpectRow(bench.LastRow(5), L"OS::getMinorVersion", L"", 0, L"");

  v = bench.Call("OS", "getOSArchType");
  EXPECT_EQ(v["osarchtype"].asString(), "64 Bit");
  ExpectRow(bench.LastRow(6), L"OS::getOSArchType", L"", 0, L"");
  v = bench.Call("OS", "getOSLanguage");
  EXPECT_EQ(v["oslang"].asString(), "en-US");
  EXPECT_TRUE(v["status"].asBool());
  ExpectRow(bench.LastRow(7), L"OS::getOSLanguage", L"", 0, L"");
}

TEST(OsOnWindows7, AnswersAsWindows7ServicePack1) {
  PluginBench bench(L"win7-sp1");
  EXPECT_EQ(bench.Call("OS", "getOSDetail")["osname"].asString(),
            "Microsoft Windows 7 Home Premium Edition(Build 7601)");
  EXPECT_EQ(bench.Call("OS", "getOSEdition")["osversion"].asString(), "7 SP1");
  EXPECT_EQ(bench.Call("OS", "getMajorVersion")["majorversion"].asInt(), 6);
  EXPECT_EQ(bench.Call("OS", "getMinorVersion")["minorversion"].asInt(), 1);
  EXPECT_EQ(bench.Call("OS", "getOSArchType")["osarchtype"].asString(), "64 Bit");
  Json::Value v = bench.Call("OS", "getUACStatus");
  EXPECT_EQ(v["uacstatus"].asInt(), 0);  // not read before Windows 8
  EXPECT_EQ(v["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(6), L"OS::getUACStatus", L"", 0, L"");
  v = bench.Call("OS", "getInstalledBrowsers");
  EXPECT_EQ(v["browsers"].asString(), "IE");
  ExpectRow(bench.LastRow(7), L"OS::getInstalledBrowsers", L"{\"installedbrowser\":\"IE\"}", 0,
            L"");
  v = bench.Call("OS", "getDefaultBrowser");
  EXPECT_EQ(v["defaultbrowser"].asString(), "C:\\Program Files\\Internet Explorer\\iexplore.exe");
}

TEST(OsOnWindows7, VersionComparisons) {
  PluginBench bench(L"win7-sp1");
  EXPECT_EQ(bench.Call("OS", "isOsVersionEqual", {L"6.1"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionOrGreater", {L"6"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionOrGreater", {L"6.1"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionOrGreater", {L"6.2"})["errorcode"].asInt(), 20020);
  EXPECT_NE(bench.LogSinceCall().find("Current Version is not greater than 6.2."),
            std::string::npos);
  EXPECT_EQ(bench.Call("OS", "isOsVersionLower", {L"10"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionEqual", {L"10"})["errorcode"].asInt(), 20020);
  EXPECT_NE(bench.LogSinceCall().find("Passed Version is not equla to current Version"),
            std::string::npos);
  ExpectRow(bench.LastRow(6), L"OS::isOsVersionEqual", L"{\"versionnumber\":\"10\"}", 20020,
            L"Expected data is not matched");
}

// The newer images: what a script reads there, the records as elsewhere.
struct ImageAnswers {
  const wchar_t* image;
  const char* detail;
  const char* edition;
  int major, minor;
  const char* arch;
  const char* browsers;
  const char* defaultBrowser;
  int equal63;  // isOsVersionEqual("6.3")
};

TEST(OsOnEveryImage, AnswersAsThatWindows) {
  const ImageAnswers cases[] = {
      // Windows 11 still calls itself Windows 10: only the build tells.
      {L"win11-23h2", "Windows 10 Professional Edition(Build 22631)", "10", 10, 0, "64 Bit",
       "IE, Edge", "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe", 20020},
      {L"win81", "Microsoft Windows 8.1 Professional Edition(Build 9600)", "8.1", 6, 3, "64 Bit",
       "IE", "C:\\Program Files\\Internet Explorer\\iexplore.exe", 0},
      // Home (product type 101) has no edition text of its own.
      {L"win10-x86", "Windows 10 (Build 19045)", "10", 10, 0, "32 Bit", "IE, Edge",
       "C:\\Program Files\\Microsoft\\Edge\\Application\\msedge.exe", 20020},
  };
  for (const ImageAnswers& c : cases) {
    SCOPED_TRACE(toUtf8(c.image));
    PluginBench bench(c.image);
    EXPECT_EQ(bench.Call("OS", "getOSDetail")["osname"].asString(), c.detail);
    EXPECT_EQ(bench.Call("OS", "getOSEdition")["osversion"].asString(), c.edition);
    EXPECT_EQ(bench.Call("OS", "getMajorVersion")["majorversion"].asInt(), c.major);
    EXPECT_EQ(bench.Call("OS", "getMinorVersion")["minorversion"].asInt(), c.minor);
    EXPECT_EQ(bench.Call("OS", "getOSArchType")["osarchtype"].asString(), c.arch);
    EXPECT_EQ(bench.Call("OS", "getInstalledBrowsers")["browsers"].asString(), c.browsers);
    EXPECT_EQ(bench.Call("OS", "getDefaultBrowser")["defaultbrowser"].asString(), c.defaultBrowser);
    EXPECT_EQ(bench.Call("OS", "isOsVersionEqual", {L"6.3"})["errorcode"].asInt(), c.equal63);
    ExpectRow(bench.LastRow(8), L"OS::isOsVersionEqual", L"{\"versionnumber\":\"6.3\"}",
              c.equal63, c.equal63 ? L"Expected data is not matched" : L"");
    // isOfType(1) asks "64-bit?", isOfType(0) "32-bit?".
    const bool is64 = std::string(c.arch) == "64 Bit";
    EXPECT_EQ(bench.Call("OS", "isOfType", {L"1"})["errorcode"].asInt(), is64 ? 0 : 20020);
    EXPECT_EQ(bench.Call("OS", "isOfType", {L"0"})["errorcode"].asInt(), is64 ? 20020 : 0);
    EXPECT_EQ(bench.Call("OS", "getSystemDirectory")["value"].asString(), "C:\\Windows\\System32");
  }
}

TEST(OsOnWindows10, VersionComparisonsFollowTheRequiredFormat) {
  PluginBench bench;
  Json::Value v = bench.Call("OS", "isOsVersionOrGreater", {L"6.1"});
  EXPECT_EQ(v["errorcode"].asInt(), 0);
  EXPECT_FALSE(v["return"].asBool());
  ExpectRow(bench.LastRow(1), L"OS::isOsVersionOrGreater", L"{\"versionnumber\":\"6.1\"}", 0, L"");

  EXPECT_EQ(bench.Call("OS", "isOsVersionLower", {L"6.1"})["errorcode"].asInt(), 20020);
  const std::string log = bench.LogSinceCall();
  EXPECT_NE(log.find("Info\tCurrent Version is greater than 6.1."), std::string::npos) << log;
  ExpectRow(bench.LastRow(2), L"OS::isOsVersionLower", L"{\"versionnumber\":\"6.1\"}", 20020,
            L"Expected data is not matched");

  EXPECT_EQ(bench.Call("OS", "isOsVersionEqual", {L"10"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionEqual", {L"10.0"})["errorcode"].asInt(), 0);
  EXPECT_EQ(bench.Call("OS", "isOsVersionOrGreater", {L"10.10"})["errorcode"].asInt(), 20020);
  EXPECT_EQ(bench.Call("OS", "isOsVersionLower", {L"11"})["errorcode"].asInt(), 0);

  size_t rows = bench.Rows().size();
  for (const wchar_t* bad : {L"6.10", L"a6", L"6.", L"", L"6.1.2", L" 6", L"100"}) {
    v = bench.Call("OS", "isOsVersionOrGreater", {bad});
    EXPECT_EQ(v["errorcode"].asInt(), 87) << toUtf8(bad);
    EXPECT_NE(bench.LogSinceCall().find(toUtf8(bad) + " is not in the format[x.y]or[x]."),
              std::string::npos);
    ExpectRow(bench.LastRow(++rows), L"OS::isOsVersionOrGreater",
              L"{\"versionnumber\":\"" + std::wstring(bad) + L"\"}", 87,
              L"The parameter is incorrect.\r\n");
  }
  for (const char* method : {"isOsVersionOrGreater", "isOsVersionLower", "isOsVersionEqual"}) {
    EXPECT_EQ(bench.Call("OS", method)["errorcode"].asInt(), 20023) << method;
    EXPECT_NE(bench.LogSinceCall().find("Required parametes are not passed."), std::string::npos);
    OperationRow row = bench.LastRow(++rows);
    EXPECT_EQ(row.errorString, L"Insufficient arguments passed");
    EXPECT_EQ(row.executionStatus, 0);
  }
}

TEST(OsOnWindows10, NameAndTypeChecks) {
  PluginBench bench;
  EXPECT_EQ(bench.Call("OS", "isOfOsName", {L"MICROSOFT WINDOWS"})["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(1), L"OS::isOfOsName", L"{\"osname\":\"MICROSOFT WINDOWS\"}", 0, L"");
  EXPECT_EQ(bench.Call("OS", "isOfOsName", {L"Microsoft Windows 10"})["errorcode"].asInt(), 20020);
  EXPECT_NE(bench.LogSinceCall().find("Microsoft Windows 10 is not same as current OsName."),
            std::string::npos);
  EXPECT_EQ(bench.Call("OS", "isOfOsName", {L""})["errorcode"].asInt(), 87);
  EXPECT_NE(bench.LogSinceCall().find("Invalid Parameters."), std::string::npos);
  EXPECT_EQ(bench.Call("OS", "isOfOsName")["errorcode"].asInt(), 87);
  ExpectRow(bench.LastRow(4), L"OS::isOfOsName", L"{}", 87, L"The parameter is incorrect.\r\n");

  EXPECT_EQ(bench.Call("OS", "isOfType", {L"1"})["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(5), L"OS::isOfType", L"{\"ostype\":\"64_bit\"}", 0, L"");
  EXPECT_EQ(bench.Call("OS", "isOfType", {L"64"})["errorcode"].asInt(), 20020);
  ExpectRow(bench.LastRow(6), L"OS::isOfType", L"{\"ostype\":\"32_bit\"}", 20020,
            L"Expected data is not matched");
  EXPECT_EQ(bench.Call("OS", "isOfType", {L"0"})["errorcode"].asInt(), 20020);
  EXPECT_EQ(bench.Call("OS", "isOfType", {L"1abc"})["errorcode"].asInt(), 0);
  // No digits, or a number past 32 bits: the method's exception answer.
  for (const wchar_t* bad : {L"abc", L"99999999999999999999"}) {
    EXPECT_EQ(bench.Call("OS", "isOfType", {bad})["errorcode"].asInt(), 20016);
    EXPECT_NE(bench.LogSinceCall().find("Excetion Occured during finding Os_Type."),
              std::string::npos);
  }
  ExpectRow(bench.LastRow(10), L"OS::isOfType", L"{}", 20016, L"API failed");
  EXPECT_EQ(bench.Call("OS", "isOfType")["errorcode"].asInt(), 87);
  ExpectRow(bench.LastRow(11), L"OS::isOfType", L"{}", 87, L"The parameter is incorrect.\r\n");
}

TEST(OsOnWindows10, UacLevelFromThePolicyValues) {
  PluginBench bench;
  EXPECT_EQ(bench.Call("OS", "getUACStatus")["uacstatus"].asInt(), 3);  // the image: 5 and 1
  struct Case {
    uint32_t consent, secure;
    int32_t level;
  } cases[] = {{0, 1, 1}, {2, 0, 4}, {2, 9, 4}, {5, 0, 2}, {5, 1, 3}, {1, 1, 0}, {4, 0, 0}};
  for (const Case& c : cases) {
    SetDword(bench, kUacKey, L"ConsentPromptBehaviorAdmin", c.consent);
    SetDword(bench, kUacKey, L"PromptOnSecureDesktop", c.secure);
    Json::Value v = bench.Call("OS", "getUACStatus");
    EXPECT_EQ(v["uacstatus"].asInt(), c.level) << c.consent << "/" << c.secure;
    EXPECT_EQ(v["errorcode"].asInt(), 0);
    EXPECT_FALSE(v["status"].asBool());
  }
  // Never notify does not need the second value.
  SetDword(bench, kUacKey, L"ConsentPromptBehaviorAdmin", 0);
  DeleteValue(bench, kUacKey, L"PromptOnSecureDesktop");
  EXPECT_EQ(bench.Call("OS", "getUACStatus")["uacstatus"].asInt(), 1);
  SetDword(bench, kUacKey, L"ConsentPromptBehaviorAdmin", 5);
  Json::Value v = bench.Call("OS", "getUACStatus");
  EXPECT_EQ(v["uacstatus"].asInt(), 0);
  EXPECT_EQ(v["errorcode"].asInt(), 2);
  EXPECT_NE(bench.LogSinceCall().find("Unable to read PromptOnSecureDesktop key"),
            std::string::npos);
  DeleteValue(bench, kUacKey, L"ConsentPromptBehaviorAdmin");
  v = bench.Call("OS", "getUACStatus");
  EXPECT_EQ(v["errorcode"].asInt(), 2);
  EXPECT_NE(bench.LogSinceCall().find("Unable to read ConsentPromptBehaviorAdmin key"),
            std::string::npos);
  ExpectRow(bench.Rows().back(), L"OS::getUACStatus", L"", 2,
            L"The system cannot find the file specified.\r\n");
}

TEST(OsOnWindows10, BrowsersFromTheRegistry) {
  PluginBench bench;
  Json::Value v = bench.Call("OS", "getInstalledBrowsers");
  EXPECT_EQ(v["browsers"].asString(), "IE, Edge");
  EXPECT_TRUE(v["status"].asBool());
  ExpectRow(bench.LastRow(1), L"OS::getInstalledBrowsers",
            L"{\"installedbrowser\":\"IE, Edge\"}", 0, L"");

  // Only Chrome installed: Edge still comes with Windows 10.
  IRegistry& registry = bench.machine().registry();
  ASSERT_EQ(registry.deleteTree(kHkeyLocalMachine,
                                L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE"),
            0);
  ASSERT_EQ(writeValueAt(registry, kHkeyLocalMachine,
                         L"SOFTWARE\\Clients\\StartMenuInternet\\Google Chrome", L"", REG_SZ,
                         regSz(L"Google Chrome")),
            0);
  EXPECT_EQ(bench.Call("OS", "getInstalledBrowsers")["browsers"].asString(), "Chrome, Edge");
  ASSERT_EQ(writeValueAt(registry, kHkeyLocalMachine,
                         L"SOFTWARE\\Clients\\StartMenuInternet\\FIREFOX.EXE", L"", REG_SZ,
                         regSz(L"Firefox")),
            0);
  EXPECT_EQ(bench.Call("OS", "getInstalledBrowsers")["browsers"].asString(),
            "Firefox, Chrome, Edge");

  v = bench.Call("OS", "getDefaultBrowser");
  EXPECT_EQ(v["defaultbrowser"].asString(),
            "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe");
  EXPECT_TRUE(v["status"].asBool());
  ExpectRow(bench.Rows().back(), L"OS::getDefaultBrowser",
            L"{\"defaultBrowser\":\"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe\"}",
            0, L"");
}

TEST(OsOnWindows10, DefaultBrowserWithoutAnAssociation) {
  PluginBench bench;
  IRegistry& registry = bench.machine().registry();
  registry.deleteTree(kHkeyCurrentUser,
                      L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http");
  registry.deleteTree(kHkeyLocalMachine, L"SOFTWARE\\Classes\\http");
  Json::Value v = bench.Call("OS", "getDefaultBrowser");
  EXPECT_EQ(v["errorcode"].asInt(), 20024);
  EXPECT_FALSE(v["status"].asBool());
  EXPECT_EQ(v["defaultbrowser"].asString(), "");
  EXPECT_NE(bench.LogSinceCall().find("getDefaultBrowser - Failed with error 0x80070483.s"),
            std::string::npos)
      << bench.LogSinceCall();
  ExpectRow(bench.LastRow(1), L"OS::getDefaultBrowser", L"{}", 20024,
            L"Failed to open the assosiated program");
}

class AgentManifest : public ::testing::Test {
 protected:
  void SetFolder(const std::wstring& folder) {
    ASSERT_EQ(writeValueAt(bench_.machine().registry(), kHkeyLocalMachine, kAgentKey,
                           L"Data Path", REG_SZ, regSz(folder)),
              0);
  }
  void WriteManifest(const std::string& xml) {
    const std::filesystem::path dir = bench_.hostRoot() + "/drive_c/ProgramData/Agent";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "FrameworkManifest.xml") << xml;
  }
  static std::string Manifest(const std::string& components) {
    return "<?xml version=\"1.0\"?>\n<FrameworkManifest><Components>" + components +
           "</Components></FrameworkManifest>\n";
  }
  int32_t Ask() { return bench_.Call("OS", "isRavelManaged")["errorcode"].asInt(); }

  PluginBench bench_;
};

TEST_F(AgentManifest, MissingKeyOrValue) {
  EXPECT_EQ(Ask(), 2);
  EXPECT_NE(bench_.LogSinceCall().find("Not able to open a registry key"), std::string::npos);
  ExpectRow(bench_.LastRow(1), L"OS::isRavelManaged", L"", 2,
            L"The system cannot find the file specified.\r\n");
  ASSERT_EQ(writeValueAt(bench_.machine().registry(), kHkeyLocalMachine, kAgentKey, L"Other",
                         REG_SZ, regSz(L"x")),
            0);
  EXPECT_EQ(Ask(), 2);
  EXPECT_NE(bench_.LogSinceCall().find("Not able to read a registry value"), std::string::npos);
  SetFolder(L"");
  EXPECT_EQ(Ask(), 20021);
  EXPECT_NE(bench_.LogSinceCall().find("Data value is empty"), std::string::npos);
  // Longer than the 1024-byte buffer.
  SetFolder(std::wstring(600, L'a'));
  EXPECT_EQ(Ask(), 234);
}

TEST_F(AgentManifest, OnlyAnAgentWithRefcountOneCounts) {
  SetFolder(L"C:\\ProgramData\\Agent");
  WriteManifest(Manifest("<ComponentID name=\"Agent\" refcount=\"2\"/>"));
  EXPECT_EQ(Ask(), 20021);
  EXPECT_NE(bench_.LogSinceCall().find("Data not Found"), std::string::npos);
  WriteManifest(Manifest("<ComponentID name=\"agent\" refcount=\"1\"/>"
                         "<Component name=\"Agent\" refcount=\"1\"/>"));
  EXPECT_EQ(Ask(), 20021);
  WriteManifest(Manifest("<ComponentID name=\"Updater\" refcount=\"1\"/>"
                         "<ComponentID name=\"Agent\" refcount=\"1\"/>"));
  EXPECT_EQ(Ask(), 0);
  ExpectRow(bench_.Rows().back(), L"OS::isRavelManaged", L"", 0, L"");
  // A trailing backslash in the folder and leading digits in the count.
  SetFolder(L"C:\\ProgramData\\Agent\\");
  WriteManifest(Manifest("<ComponentID name=\"Agent\" refcount=\"1x\"/>"));
  EXPECT_EQ(Ask(), 0);
  WriteManifest("<FrameworkManifest/>");
  EXPECT_EQ(Ask(), 20021);
}

TEST_F(AgentManifest, BrokenOrMissingManifestIsTheExceptionAnswer) {
  SetFolder(L"C:\\ProgramData\\Agent");
  EXPECT_EQ(Ask(), 20016);  // no file
  EXPECT_NE(bench_.LogSinceCall().find(
                "Exception Occured during checking if machine is ravel managed or not."),
            std::string::npos);
  WriteManifest("<FrameworkManifest><Components><ComponentID name=");
  EXPECT_EQ(Ask(), 20016);
  WriteManifest(Manifest("<ComponentID name=\"Agent\" refcount=\"many\"/>"));
  EXPECT_EQ(Ask(), 20016);
  WriteManifest(Manifest("<ComponentID name=\"Agent\"/>"));
  EXPECT_EQ(Ask(), 20016);
  SetFolder(L"C:\\Program|Data");  // a name Windows forbids
  EXPECT_EQ(Ask(), 20016);
  ExpectRow(bench_.LastRow(5), L"OS::isRavelManaged", L"", 20016, L"API failed");
}

TEST(OsOnWindows10, DomainMembership) {
  PluginBench bench;
  EXPECT_EQ(bench.Call("OS", "isUnderDomain")["errorcode"].asInt(), 20025);
  ExpectRow(bench.LastRow(1), L"OS::isUnderDomain", L"", 20025, L"Did not get any domain names");
  ASSERT_EQ(writeValueAt(bench.machine().registry(), kHkeyLocalMachine,
                         L"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", L"Domain",
                         REG_SZ, regSz(L"corp.example.com")),
            0);
  EXPECT_EQ(bench.Call("OS", "isUnderDomain")["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(2), L"OS::isUnderDomain", L"", 0, L"");
}

TEST(OsOnWindows10, SystemAndWindowsFolders) {
  PluginBench bench;
  Json::Value v = bench.Call("OS", "getSystemDirectory");
  EXPECT_EQ(v["value"].asString(), toUtf8(bench.machine().specialFolders().systemDirectory()));
  EXPECT_EQ(v["value"].asString().rfind("C:\\Windows\\", 0), 0u) << v["value"].asString();
  EXPECT_FALSE(v["status"].asBool());
  ExpectRow(bench.LastRow(1), L"OS::getSystemDirectory", L"", 0, L"");
  v = bench.Call("OS", "getWindowsDirectory");
  EXPECT_EQ(v["value"].asString(), "C:\\Windows");
  ExpectRow(bench.LastRow(2), L"OS::getWindowsDirectory", L"", 0, L"");
}

TEST(OsPlugin, ErrorcodePropertyAndTheFactory) {
  PluginBench bench;
  const std::set<std::string> methods = bench.manager().GetMethodNames("OS");
  EXPECT_EQ(methods.size(), 19u);
  for (const char* name : {"getDefaultBrowser", "getUACStatus", "isRavelManaged", "isOfType",
                           "getWindowsDirectory", "isOsVersionEqual"})
    EXPECT_EQ(methods.count(name), 1u) << name;

  // The property follows the last call.
  StackFrame none;
  const std::string name = bench.manager().CreateObject("OS", none);
  auto* os = dynamic_cast<COSPlugin*>(bench.manager().Find(name));
  ASSERT_NE(os, nullptr);
  StackFrame args;
  args.Push(L"64");
  bench.manager().InvokeMethod(name, "isOfType", args);
  EXPECT_EQ(os->ErrorCode(), 20020);
  StackFrame empty;
  bench.manager().InvokeMethod(name, "getOSName", empty);
  EXPECT_EQ(os->ErrorCode(), 0);
}

TEST(OsPlugin, WithoutAStoreNothingIsRecorded) {
  PluginBench bench;
  StackFrame none;
  COSPlugin os(none);
  StackFrame args;
  args.Push(L"6.1");
  auto result = os.Call("isOsVersionOrGreater", args);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->errorcode, 0);
  EXPECT_TRUE(bench.Rows().empty());
}

}  // namespace
}  // namespace zorel
