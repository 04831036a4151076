// The System object as a script meets it: host facts through the platform
// layer, requirement checks and their records, bad arguments.

#include "zorel/plugins/system/system.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <ctime>
#include <regex>

#include "../os/plugin_fixture.h"
#include "zorel/platform/system/internet_state.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/system/system_texts.h"

namespace zorel {
namespace {

using namespace zorel::platform;
using testing::OperationRow;
using testing::PluginBench;

const auto* const kLogHome = ::testing::AddGlobalTestEnvironment(new testing::LogHome);
constexpr int32_t kInvalidArg = static_cast<int32_t>(0x80070057u);
const wchar_t kProcessorKey[] = L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

void ExpectRow(const OperationRow& row, int32_t type, const wchar_t* api, const std::wstring& input,
               int32_t code) {
  EXPECT_EQ(row.problemId, 7);
  EXPECT_EQ(row.stageId, 101);
  EXPECT_EQ(row.operationType, type);
  EXPECT_EQ(row.component, L"System");
  EXPECT_EQ(row.api, api);
  EXPECT_EQ(row.input, input);
  EXPECT_EQ(row.executionStatus, code == 0 ? 1 : 0);
  EXPECT_EQ(row.errorCode, code);
}

// "12.34 GB(s)" to 12.34; -1 when the text has another shape.
double Gb(const std::string& text) {
  std::smatch m;
  if (!std::regex_match(text, m, std::regex("([0-9]+\\.[0-9][0-9]) GB\\(s\\)"))) return -1;
  return std::stod(m[1]);
}

std::wstring W(const std::string& s) { return fromUtf8(s); }

class SystemOnImage : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(SystemOnImage, HostFactsWithOneRecordEach) {
  PluginBench bench(GetParam());
  const std::wstring brand = bench.machine().systemInfo().processorBrandString();
  Json::Value v = bench.Call("System", "getCPUName");
  if (brand.empty()) {
    EXPECT_EQ(v["errorcode"].asInt(), 20028);
  } else {
    EXPECT_EQ(v["cpuname"].asString(), toUtf8(brand));
    EXPECT_TRUE(v["status"].asBool());
  }
  ExpectRow(bench.LastRow(1), 2, L"System::getCPUName", L"{\"cpuname\":\"" + brand + L"\"}",
            brand.empty() ? 20028 : 0);

  struct Getter {
    const char* method;
    const char* member;
    const wchar_t* input;
  } getters[] = {{"getTotalRAM", "memorysize", L"memorysize"},
                 {"getFreeRAM", "freememorysize", L"freememorysize"},
                 {"getUsedRAM", "usedmemorysize", L"usedmemorysize"},
                 {"getTotalVirtualMemory", "memorysize", L"totalvirtualmemory"},
                 {"getFreeVirtualMemory", "freememorysize", L"freevirtualmemory"},
                 {"getUsedVirtualMemory", "usedmemorysize", L"usedvirtualmemory"}};
  std::map<std::string, double> sizes;
  size_t rows = 1;
  for (const Getter& g : getters) {
    v = bench.Call("System", g.method);
    const std::string text = v[g.member].asString();
    sizes[g.method] = Gb(text);
    EXPECT_GE(sizes[g.method], 0) << g.method << ": " << text;
    EXPECT_TRUE(v["status"].asBool());
    ExpectRow(bench.LastRow(++rows), 2, (L"System::" + W(g.method)).c_str(),
              std::wstring(L"{\"") + g.input + L"\":\"" + W(text) + L"\"}", 0);
  }
  EXPECT_GT(sizes["getTotalRAM"], 0.05);
  EXPECT_LT(sizes["getTotalRAM"], 65536);
  EXPECT_LE(sizes["getFreeRAM"], sizes["getTotalRAM"] + 0.5);
  EXPECT_GE(sizes["getTotalVirtualMemory"] + 0.5, sizes["getTotalRAM"] * 0.5);
  EXPECT_LE(sizes["getFreeVirtualMemory"], sizes["getTotalVirtualMemory"] + 0.01);

  v = bench.Call("System", "getSystemSpace");
  const double total = Gb(v["memorysize"].asString());
  EXPECT_GT(total, 0) << v["memorysize"].asString();
  EXPECT_FALSE(v["status"].asBool());
  ExpectRow(bench.LastRow(++rows), 2, L"System::getSystemSpace", L"", 0);
  v = bench.Call("System", "getSystemFreeSpace");
  const double available = Gb(v["freememorysize"].asString());
  EXPECT_GT(available, 0);
  EXPECT_LE(available, total);
  ExpectRow(bench.LastRow(++rows), 2, L"System::getSystemFreeSpace", L"", 0);

  v = bench.Call("System", "getFileSystem", {L"C:\\"});
  EXPECT_TRUE(v["status"].asBool());
  EXPECT_FALSE(v["filesystem"].asString().empty());
  ExpectRow(bench.LastRow(++rows), 2, L"System::getFileSystem",
            L"{\"filesystem\":\"" + W(v["filesystem"].asString()) + L"\"}", 0);
}

INSTANTIATE_TEST_SUITE_P(Images, SystemOnImage,
                         ::testing::Values(L"default", L"win7-sp1", L"win11-23h2", L"win81",
                                           L"win10-x86"));

TEST(SystemClock, DateTimeAndZoneOfTheHost) {
  PluginBench bench;
  const std::time_t before = std::time(nullptr);
  Json::Value date = bench.Call("System", "getDate");
  Json::Value time = bench.Call("System", "getTime");
  Json::Value zone = bench.Call("System", "getTimeZone");
  // The date before or after the calls, should midnight fall between.
  auto dateOf = [](std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return std::to_string(local.tm_mday) + "/" + std::to_string(local.tm_mon + 1) + "/" +
           std::to_string(local.tm_year + 1900);
  };
  const std::string answer = date["date"].asString();
  EXPECT_TRUE(answer == dateOf(before) || answer == dateOf(std::time(nullptr))) << answer;
  EXPECT_TRUE(std::regex_match(time["time"].asString(),
                               std::regex("([1-9]?[0-9]):([1-9]?[0-9]):([1-9]?[0-9])")))
      << time["time"].asString();
  EXPECT_EQ(zone["timezone"].asString(), toUtf8(bench.machine().systemInfo().timeZoneName()));
  EXPECT_TRUE(zone["status"].asBool());
  std::vector<OperationRow> rows = bench.Rows();
  ASSERT_EQ(rows.size(), 3u);
  ExpectRow(rows[0], 2, L"System::getDate", L"{\"date\":\"" + W(date["date"].asString()) + L"\"}", 0);
  ExpectRow(rows[1], 2, L"System::getTime", L"{\"time\":\"" + W(time["time"].asString()) + L"\"}", 0);
  ExpectRow(rows[2], 2, L"System::getTimeZone",
            L"{\"timezone\":\"" + W(zone["timezone"].asString()) + L"\"}", 0);
}

TEST(SystemFileSystem, UnknownDriveAndMissingArgument) {
  PluginBench bench;
  Json::Value v = bench.Call("System", "getFileSystem", {L"Q:\\"});
  EXPECT_EQ(v["errorcode"].asInt(), 3);
  EXPECT_FALSE(v["status"].asBool());
  EXPECT_NE(bench.LogSinceCall().find("getFileSystem - Error while calling GetVolumeInformation API"),
            std::string::npos);
  EXPECT_TRUE(bench.Rows().empty());  // the failed system call writes no record
  v = bench.Call("System", "getFileSystem");
  EXPECT_EQ(v["errorcode"].asInt(), 87);
  ExpectRow(bench.LastRow(1), 2, L"System::getFileSystem", L"{}", 87);
}

TEST(SystemChecks, CpuSpeedAgainstTheProcessorKey) {
  PluginBench bench;
  ASSERT_EQ(writeValueAt(bench.machine().registry(), kHkeyLocalMachine, kProcessorKey, L"~MHz",
                         REG_DWORD, regDword(1800)),
            0);
  Json::Value v = bench.Call("System", "checkForCPUSpeed", {L"2000"});
  EXPECT_EQ(v["errorcode"].asInt(), 20033);
  EXPECT_NE(bench.LogSinceCall().find("System CPU speed is less than querying one."),
            std::string::npos);
  OperationRow row = bench.LastRow(1);
  ExpectRow(row, 0, L"System::checkForCPUSpeed",
            L"{\"expected\":\"$GEN1003$ 2000 MHz\",\"actual\":\"1800 MHz\"}", 20033);
  EXPECT_EQ(row.errorString, L"CPU speed is less than expected");
  EXPECT_EQ(bench.Call("System", "checkForCPUSpeed", {L"1.5"})["errorcode"].asInt(), 0);
  ExpectRow(bench.LastRow(2), 0, L"System::checkForCPUSpeed",
            L"{\"expected\":\"$GEN1003$ 1.5 MHz\",\"actual\":\"1800 MHz\"}", 0);
  EXPECT_EQ(bench.Call("System", "checkForCPUSpeed", {L"1800"})["errorcode"].asInt(), 0);

  v = bench.Call("System", "checkForCPUSpeed");
  EXPECT_EQ(v["errorcode"].asInt(), kInvalidArg);
  EXPECT_NE(bench.LogSinceCall().find(
                "Invalid Number of arguement during quering CPU speed available."),
            std::string::npos);
  row = bench.LastRow(4);
  ExpectRow(row, 0, L"System::checkForCPUSpeed", L"{\"expected\":\"$GEN1003$ \",\"actual\":\"\"}",
            kInvalidArg);
  EXPECT_EQ(row.errorString, L"The parameter is incorrect.\r\n");

  // Without the value the speed is 0, which fails every requirement.
  IRegistry& registry = bench.machine().registry();
  RegKey key = kRegNoKey;
  ASSERT_EQ(registry.openKey(kHkeyLocalMachine, kProcessorKey, 0, KEY_ALL_ACCESS, &key), 0);
  registry.deleteValue(key, L"~MHz");
  registry.closeKey(key);
  EXPECT_EQ(bench.Call("System", "checkForCPUSpeed", {L"0"})["errorcode"].asInt(), 20033);
  EXPECT_NE(bench.LogSinceCall().find("Not able to read the registry key value."),
            std::string::npos);
  ExpectRow(bench.LastRow(5), 0, L"System::checkForCPUSpeed",
            L"{\"expected\":\"$GEN1003$ 0 MHz\",\"actual\":\"0 MHz\"}", 20033);
}

TEST(SystemChecks, CpuSpeedOfTheHost) {
  PluginBench bench;
  uint32_t mhz = 0;
  readDword(bench.machine().registry(), kHkeyLocalMachine, kProcessorKey, L"~MHz", &mhz);
  EXPECT_EQ(mhz, bench.machine().systemInfo().processorMhz());
  Json::Value v = bench.Call("System", "checkForCPUSpeed", {L"1000000"});
  EXPECT_EQ(v["errorcode"].asInt(), 20033);
  ExpectRow(bench.LastRow(1), 0, L"System::checkForCPUSpeed",
            L"{\"expected\":\"$GEN1003$ 1000000 MHz\",\"actual\":\"" + std::to_wstring(mhz) +
                L" MHz\"}",
            20033);
}

TEST(SystemChecks, DiskSpaceOnTheSystemDrive) {
  PluginBench bench;
  Json::Value v = bench.Call("System", "checkForDiskSpace", {L"1"});
  EXPECT_EQ(v["errorcode"].asInt(), 0);
  OperationRow row = bench.LastRow(1);
  std::wsmatch m;
  ASSERT_TRUE(std::regex_match(
      row.input, m, std::wregex(L"\\{\"expected\":\"\\$GEN1004\\$ 1 MB\",\"actual\":\"([0-9]+) MB\"\\}")))
      << toUtf8(row.input);
  EXPECT_GT(std::stoll(m[1]), 0);
  ExpectRow(row, 0, L"System::checkForDiskSpace", row.input, 0);

  v = bench.Call("System", "checkForDiskSpace", {L"2000000000"});
  EXPECT_EQ(v["errorcode"].asInt(), 20034);
  EXPECT_NE(bench.LogSinceCall().find("Available disk size is less than size you query"),
            std::string::npos);
  row = bench.LastRow(2);
  EXPECT_EQ(row.input.rfind(L"{\"expected\":\"$GEN1004$ 2000000000 MB\",\"actual\":\"", 0), 0u);
  EXPECT_EQ(row.errorString, L"OS Drive free space is less than expected");

  v = bench.Call("System", "checkForDiskSpace");
  EXPECT_EQ(v["errorcode"].asInt(), kInvalidArg);
  ExpectRow(bench.LastRow(3), 0, L"System::checkForDiskSpace",
            L"{\"expected\":\"$GEN1004$ \",\"actual\":\"\"}", kInvalidArg);
}

// The installed memory as the actual text shows it.
std::wstring InstalledText(PluginBench& bench, float* gigabytes) {
  uint64_t kb = 0;
  EXPECT_EQ(bench.machine().systemInfo().physicallyInstalledMemoryKb(kb), 0);
  *gigabytes = static_cast<float>(kb) / 1048576.0f;
  return system_texts::MemoryActualText(*gigabytes);
}

TEST(SystemChecks, MemoryPerWindowsVersion) {
  PluginBench bench;
  float installed = 0;
  const std::wstring actual = InstalledText(bench, &installed);
  ASSERT_GT(installed, 0);
  Json::Value v = bench.Call("System", "checkForMemorySize", {L"{\"6.1\":2048,\"10.0\":4096}"});
  EXPECT_EQ(v["errorcode"].asInt(), installed >= 4.0f ? 0 : 20021);
  ExpectRow(bench.LastRow(1), 0, L"System::checkForMemorySize",
            L"{\"expected\":\"4.0 GB $GEN1002$\",\"actual\":\"" + actual + L"\"}",
            installed >= 4.0f ? 0 : 20021);

  v = bench.Call("System", "checkForMemorySize", {L"{\"10.0\":\"999999999\"}"});
  EXPECT_EQ(v["errorcode"].asInt(), 20021);
  EXPECT_NE(bench.LogSinceCall().find("Current Memory is less than required."), std::string::npos);
  EXPECT_EQ(bench.Call("System", "checkForMemorySize", {L"{\"10.0\":1}"})["errorcode"].asInt(), 0);

  v = bench.Call("System", "checkForMemorySize", {L"{\"6.1\":2048}"});
  EXPECT_EQ(v["errorcode"].asInt(), kInvalidArg);
  EXPECT_NE(bench.LogSinceCall().find("Current version is not present in the input."),
            std::string::npos);
  ExpectRow(bench.LastRow(4), 0, L"System::checkForMemorySize",
            L"{\"expected\":\"-1.0 GB $GEN1002$\",\"actual\":\"" + actual + L"\"}", kInvalidArg);
  // Not a JSON object: no requirements at all.
  EXPECT_EQ(bench.Call("System", "checkForMemorySize", {L"4096"})["errorcode"].asInt(), kInvalidArg);
  EXPECT_EQ(bench.Call("System", "checkForMemorySize", {L"{broken"})["errorcode"].asInt(),
            kInvalidArg);

  v = bench.Call("System", "checkForMemorySize");
  EXPECT_EQ(v["errorcode"].asInt(), kInvalidArg);
  EXPECT_NE(bench.LogSinceCall().find("Emptyt arguement for checking memory"), std::string::npos);
  ExpectRow(bench.LastRow(7), 0, L"System::checkForMemorySize",
            L"{\"expected\":\" $GEN1002$\",\"actual\":\"\"}", kInvalidArg);
}

TEST(SystemChecks, MemoryOnWindows7UsesItsOwnVersion) {
  PluginBench bench(L"win7-sp1");
  float installed = 0;
  const std::wstring actual = InstalledText(bench, &installed);
  Json::Value v = bench.Call("System", "checkForMemorySize", {L"{\"6.1\":2048,\"10.0\":4096}"});
  EXPECT_EQ(v["errorcode"].asInt(), installed >= 2.0f ? 0 : 20021);
  ExpectRow(bench.LastRow(1), 0, L"System::checkForMemorySize",
            L"{\"expected\":\"2.0 GB $GEN1002$\",\"actual\":\"" + actual + L"\"}",
            installed >= 2.0f ? 0 : 20021);
}

TEST(SystemChecks, UnconvertibleNumbersEndTheCallWithoutARecord) {
  PluginBench bench;
  struct Case {
    const char* method;
    const wchar_t* arg;
  } cases[] = {{"checkForCPUSpeed", L"fast"},
               {"checkForCPUSpeed", L"1e99"},
               {"checkForDiskSpace", L"lots"},
               {"checkForDiskSpace", L"99999999999999"},
               {"checkForMemorySize", L"{\"10.0\":\"much\"}"},
               {"checkForMemorySize", L"{\"10.0\":\"1e99\"}"}};
  for (const Case& c : cases) {
    EXPECT_EQ(bench.Invoke("System", c.method, {c.arg}), "") << c.method;
    EXPECT_NE(bench.LogSinceCall().find("Exception occured during  invoking " +
                                        std::string(c.method)),
              std::string::npos);
  }
  EXPECT_TRUE(bench.Rows().empty());
  // The object stays usable.
  EXPECT_EQ(bench.Call("System", "checkForDiskSpace", {L"1"})["errorcode"].asInt(), 0);
}

// The far side of the connectivity question.
class FakeInternet : public IInternetState {
 public:
  bool connected = false;
  uint32_t flags = 0;
  bool reachable = true;
  mutable std::vector<std::wstring> probes;
  bool getConnectedState(uint32_t* out) const override {
    *out = flags;
    return connected;
  }
  bool checkConnection(std::wstring_view url) const override {
    probes.emplace_back(url);
    return reachable;
  }
};

TEST(SystemInternet, OfflineStaysOfflineEvenWhenTheProbeConnects) {
  PluginBench bench;
  auto internet = std::make_shared<FakeInternet>();
  StackFrame none;
  CSystemPlugin system(none, internet, L"https://127.0.0.1:1/");
  system.SetResultStore(&bench.store());
  StackFrame args;

  internet->connected = true;
  internet->flags = INTERNET_CONNECTION_LAN;
  auto result = system.Call("isInternetConnected", args);
  EXPECT_EQ(result->errorcode, 0);
  EXPECT_TRUE(internet->probes.empty());
  ExpectRow(bench.LastRow(1), 0, L"System::isInternetConnected", L"", 0);

  internet->flags = INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_OFFLINE;
  EXPECT_EQ(system.Call("isInternetConnected", args)->errorcode, 20016);
  internet->connected = false;
  internet->flags = 0;
  EXPECT_EQ(system.Call("isInternetConnected", args)->errorcode, 20016);
  ASSERT_EQ(internet->probes.size(), 2u);
  EXPECT_EQ(internet->probes[0], L"https://127.0.0.1:1/");
  OperationRow row = bench.LastRow(3);
  ExpectRow(row, 0, L"System::isInternetConnected", L"", 20016);
  EXPECT_EQ(row.errorString, L"API failed");

  // The plug-in's own error code is left as the last other method set it.
  StackFrame noArgs;
  system.Call("checkForDiskSpace", noArgs);
  EXPECT_EQ(system.ErrorCode(), kInvalidArg);
  system.Call("isInternetConnected", args);
  EXPECT_EQ(system.ErrorCode(), kInvalidArg);
}

TEST(SystemInternet, HostStateAndALoopbackProbe) {
  uint32_t flags = 0xFFFF;
  const bool online = hostInternetState()->getConnectedState(&flags);
  EXPECT_EQ(online, flags != 0);
  EXPECT_FALSE(hostInternetState()->checkConnection(L"http://127.0.0.1:1/"));
  EXPECT_FALSE(hostInternetState()->checkConnection(L""));
  EXPECT_FALSE(hostInternetState()->checkConnection(L"http://[::1/"));
}

TEST(SystemInternet, TheScriptsObjectAsksTheHost) {
  // An offline host probes the report server: keep that on loopback.
  ::setenv("ZOREL_REPORT_SERVER", "https://127.0.0.1:1", 1);
  PluginBench bench;
  uint32_t flags = 0;
  const bool online = hostInternetState()->getConnectedState(&flags);
  Json::Value v = bench.Call("System", "isInternetConnected");
  EXPECT_EQ(v["errorcode"].asInt(), online ? 0 : 20016);
  ExpectRow(bench.LastRow(1), 0, L"System::isInternetConnected", L"", online ? 0 : 20016);
  ::unsetenv("ZOREL_REPORT_SERVER");
}

TEST(SystemPlugin, FactoryKnowsEveryMethod) {
  PluginBench bench;
  const std::set<std::string> methods = bench.manager().GetMethodNames("System");
  EXPECT_EQ(methods.size(), 17u);
  for (const char* name : {"getCPUName", "getUsedVirtualMemory", "getSystemFreeSpace",
                           "checkForMemorySize", "isInternetConnected", "getTime"})
    EXPECT_EQ(methods.count(name), 1u) << name;
}

}  // namespace
}  // namespace zorel
