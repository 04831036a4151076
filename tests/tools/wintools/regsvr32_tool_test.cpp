// regsvr32 as a process on DLLs built here (resources only, i386 and
// x86-64): exit codes, the views the System32 and SysWOW64 copies write,
// and scripts that register nothing when any part of them fails.

#include <cstring>

#include "../../platform/files/pe_builder.h"
#include "tool_fixture.h"

namespace zorel::wintools::test {

using namespace platform;
using zorel::testing::Bytes;
using zorel::testing::PeResource;

namespace {

constexpr const char* kClass = "{7A1C0001-0000-4000-8000-00000000C0DE}";

std::string script(const std::string& guid, const std::string& extra = "") {
  return "HKCR\n{\n NoRemove CLSID\n {\n  ForceRemove " + guid + " = s 'Test Server'\n  {\n"
         "   InprocServer32 = s '%MODULE%'\n   {\n    val ThreadingModel = s 'Apartment'\n   }\n" +
         extra + "  }\n }\n}\n";
}

Bytes dll(uint16_t machine, const std::vector<std::string>& scripts) {
  std::vector<PeResource> resources;
  uint16_t id = 101;
  for (const std::string& s : scripts)
    resources.push_back({u"REGISTRY", 0, u"", id++, 0x0409, zorel::testing::bytesOf(s)});
  resources.push_back({u"", 16, u"", 1, 0x0409, zorel::testing::bytesOf("version")});
  return zorel::testing::peWithResources(machine, resources);
}

}  // namespace

class Regsvr32Test : public ToolTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(0, run("reg query HKLM").exit);  // makes the machine
    drive_ = *root_ / "machine" / "drive_c";
    std::filesystem::create_directories(drive_ / "T");
  }
  void put(const std::string& name, const Bytes& bytes) {
    std::ofstream(drive_ / "T" / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ToolRun regsvr32(const std::string& args, bool wow64 = false) {
    return run(args, "", (drive_ / "Windows" / (wow64 ? "SysWOW64" : "System32") / "regsvr32.exe").string());
  }
  // The class's InprocServer32 default value in one view, or "" when absent.
  std::wstring server(const std::string& guid, uint32_t view) {
    auto reg = registry();
    std::wstring text;
    readString(*reg, kHkeyClassesRoot, L"CLSID\\" + std::wstring(guid.begin(), guid.end()) + L"\\InprocServer32",
               L"", &text, view);
    return text;
  }
  std::filesystem::path drive_;
};

TEST_F(Regsvr32Test, RegistersInTheViewOfTheImage) {
  struct Case {
    const char* file;
    uint16_t machine;
    bool wow64;        // the SysWOW64 copy
    int exit;
    uint32_t view;     // where the class lands
  } cases[] = {
      {"c64.dll", 0x8664, false, 0, KEY_WOW64_64KEY},
      {"c32.dll", 0x014C, false, 0, KEY_WOW64_32KEY},  // handed to the 32-bit view
      {"w32.dll", 0x014C, true, 0, KEY_WOW64_32KEY},
      {"w64.dll", 0x8664, true, 3, 0},                 // the 32-bit copy cannot load it
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string guid = "{7A1C0001-0000-4000-8000-00000000000" + std::to_string(n++) + "}";
    put(c.file, dll(c.machine, {script(guid)}));
    ToolRun r = regsvr32(std::string("/s C:\\\\T\\\\") + c.file, c.wow64);
    EXPECT_EQ(c.exit, r.exit) << r.err;
    EXPECT_EQ("", r.out + r.err);
    const std::wstring module = L"C:\\T\\" + std::wstring(c.file, c.file + std::strlen(c.file));
    const uint32_t other = c.view == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    EXPECT_EQ(server(guid, c.view ? c.view : KEY_WOW64_64KEY), c.exit == 0 ? module : L"");
    EXPECT_EQ(server(guid, other), L"");
  }
}

TEST_F(Regsvr32Test, ExitCodesAndMessages) {
  put("good.dll", dll(0x8664, {script(kClass)}));
  Bytes good = dll(0x8664, {script(kClass)});
  put("cut.dll", Bytes(good.begin(), good.begin() + 0x150));
  put("text.dll", zorel::testing::bytesOf("MZ not really"));
  put("none.dll", dll(0x8664, {}));
  // A good script, then one that does not parse: nothing of either lands.
  put("half.dll", dll(0x8664, {script("{7A1C0001-0000-4000-8000-0000000000AA}"), "HKCR { A = d 'x' }"}));
  struct Case {
    std::string args;
    int exit;
    const char* line;  // start of the line printed without /s
  } cases[] = {
      {"C:\\\\T\\\\good.dll", 0, "DllRegisterServer in C:\\T\\good.dll succeeded."},
      {"/s C:\\\\T\\\\missing.dll", 3, ""},
      {"C:\\\\T\\\\missing.dll", 3, "The module \"C:\\T\\missing.dll\" failed to load."},
      {"/s C:\\\\T\\\\cut.dll", 3, ""},
      {"/s C:\\\\T\\\\text.dll", 3, ""},
      {"/s C:\\\\T", 3, ""},
      {"C:\\\\T\\\\none.dll", 4, "The module \"C:\\T\\none.dll\" was loaded but the entry-point"},
      {"C:\\\\T\\\\half.dll", 5, "The module \"C:\\T\\half.dll\" was loaded but the call to"},
      {"", 1, "Usage: regsvr32"},
      {"/s a.dll b.dll", 1, ""},
      {"/x C:\\\\T\\\\good.dll", 1, "Unrecognized flag: /x"},
  };
  for (const Case& c : cases) {
    ToolRun r = regsvr32(c.args);
    EXPECT_EQ(c.exit, r.exit) << c.args;
    EXPECT_EQ(0u, (r.out + r.err).rfind(c.line, 0)) << c.args << ": " << r.out << r.err;
  }
  EXPECT_EQ(server(kClass, KEY_WOW64_64KEY), L"C:\\T\\good.dll");
  EXPECT_EQ(server("{7A1C0001-0000-4000-8000-0000000000AA}", KEY_WOW64_64KEY), L"");
}

TEST_F(Regsvr32Test, ForceRemoveReplacesTheKeyAndUtf16ScriptsRead) {
  const std::string guid = "{7A1C0001-0000-4000-8000-0000000000BB}";
  put("first.dll", dll(0x8664, {script(guid, "   Stale = s 'old'\n")}));
  ASSERT_EQ(0, regsvr32("/s C:\\\\T\\\\first.dll").exit);
  // The same class from a UTF-16 script: ForceRemove drops Stale.
  std::string text = script(guid);
  Bytes utf16 = {0xFF, 0xFE};
  for (char ch : text) {
    utf16.push_back(static_cast<uint8_t>(ch));
    utf16.push_back(0);
  }
  put("second.dll", zorel::testing::peWithResources(0x8664, {{u"REGISTRY", 0, u"", 1, 0x0409, utf16}}));
  ASSERT_EQ(0, regsvr32("/s C:\\\\T\\\\second.dll").exit);
  EXPECT_EQ(server(guid, KEY_WOW64_64KEY), L"C:\\T\\second.dll");
  auto reg = registry();
  RegKey k;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            reg->openKey(kHkeyClassesRoot, L"CLSID\\" + std::wstring(guid.begin(), guid.end()) + L"\\Stale",
                         0, KEY_READ | KEY_WOW64_64KEY, &k));
}

}  // namespace zorel::wintools::test
