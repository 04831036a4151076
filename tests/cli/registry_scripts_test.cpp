// The Registry object through `zorel check --script` with
// tests/data/checks/registry_*.js: the answers the scripts saw (kept as
// problem rows), the operation rows, the registry, the collected files and
// the cabinet afterwards, and the key permissions through `zorel machine
// regacl`.

#include <gtest/gtest.h>
#include <json/json.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../platform/files/pe_builder.h"
#include "check_cli_support.h"
#include "script_answers.h"
#include "zorel/platform/registry/registry.h"

namespace {

namespace fs = std::filesystem;
using namespace zorel::platform;
using zorel::testing::CheckCli;
using zorel::testing::CheckRun;
using zorel::testing::Rows;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), p)) > 0) out.append(buffer.data(), n);
    ::pclose(p);
  }
  return out;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RegistryScripts : public CheckCli {
 protected:
  void SetUp() override {
    CheckCli::SetUp();
    ASSERT_EQ(Check("--script '" + DataScript("no_header.js") + "' --store '" + base_ +
                    "/prep' --stages 101")
                  .status,
              0);
    ASSERT_EQ(openRegistry(root_ + "/registry.db", RegistryOptions{}, &registry_), 0);
  }
  void TearDown() override {
    registry_.reset();
    CheckCli::TearDown();
  }

  void Set(RegKey root, const std::wstring& key, const std::wstring& name, uint32_t type,
           const std::vector<uint8_t>& data, uint32_t view = 0) {
    ASSERT_EQ(writeValueAt(*registry_, root, key, name, type, data, view), 0);
  }
  void Key(RegKey root, const std::wstring& key, uint32_t view = 0) {
    RegKey k;
    ASSERT_EQ(registry_->createKey(root, key, 0, KEY_WRITE | view, &k, nullptr), 0);
    registry_->closeKey(k);
  }
  bool Exists(RegKey root, const std::wstring& key, uint32_t view = 0) {
    RegKey k;
    if (registry_->openKey(root, key, 0, KEY_READ | view, &k) != 0) return false;
    registry_->closeKey(k);
    return true;
  }

  // Runs a case script with file_cases_prelude.js (and `prefix`) in front
  // of it.
  CheckRun Run(const std::string& script, const std::string& stages,
               const std::string& prefix = "") {
    const std::string whole = base_ + "/" + script;
    {
      std::ofstream out(whole, std::ios::binary);
      out << prefix;
      for (const std::string& part : {DataScript("file_cases_prelude.js"), DataScript(script)}) {
        std::ifstream in(part, std::ios::binary);
        out << in.rdbuf();
      }
    }
    CheckRun run = Check("--script '" + whole + "' --store '" + store_ + "' --stages " + stages);
    EXPECT_NE(run.status, 2) << run.out << run.err;
    return run;
  }

  Json::Value Answer(const std::string& label) const {
    return zorel::testing::NotedAnswer(Query(zorel::testing::NotedAnswerQuery(label)), label);
  }
  // "errorcode status return" of an answer, e.g. "2 1 0".
  std::string Outcome(const std::string& label) const {
    Json::Value a = Answer(label);
    return std::to_string(a["errorcode"].asInt()) + " " + (a["status"].asBool() ? "1" : "0") +
           " " + (a["return"].asBool() ? "1" : "0");
  }

  std::unique_ptr<IRegistry> registry_;
};

// ------------------------------------------------------------- methods

class RegistryCases : public RegistryScripts {
 protected:
  void SetUp() override {
    RegistryScripts::SetUp();
    const std::wstring data = L"Software\\ZR\\Data";
    Set(kHkeyCurrentUser, data, L"Empty", REG_SZ, regSz(L""));
    Set(kHkeyCurrentUser, data, L"Multi", REG_MULTI_SZ, regMultiSz({L"one", L"two"}));
    Set(kHkeyCurrentUser, data, L"Quoted", REG_SZ, regSz(L"\"C:\\x\""));
    Set(kHkeyCurrentUser, data, L"Win", REG_SZ, regSz(L"c:\\Windows"));
    Set(kHkeyCurrentUser, data, L"Letter", REG_SZ, regSz(L"b"));
    Set(kHkeyCurrentUser, data, L"\u0141", REG_SZ, regSz(L"x"));
    Key(kHkeyCurrentUser, L"Software\\ZR\\M\\Update1");
    Key(kHkeyCurrentUser, L"Software\\ZR\\M\\Sub\\Update2");
    Key(kHkeyCurrentUser, L"Software\\ZR\\Del\\N1\\N2\\N3");
    Key(kHkeyCurrentUser, L"Software\\ZR\\Del\\Other");
    Key(kHkeyCurrentUser, L"Software\\ZR\\Whole\\a\\b");
    Key(kHkeyCurrentUser, L"Software\\ZR\\Shared\\x");
    Key(kHkeyLocalMachine, L"SOFTWARE\\ZR\\W32\\in32", KEY_WOW64_32KEY);
    Key(kHkeyLocalMachine, L"SOFTWARE\\ZR\\W32\\in64", KEY_WOW64_64KEY);
    Set(kHkeyCurrentUser, L"Software\\ZR\\Vals", L"keep", REG_SZ, regSz(L"k"));
    Set(kHkeyCurrentUser, L"Software\\ZR\\Vals", L"tmp1", REG_SZ, regSz(L"t"));
    Set(kHkeyCurrentUser, L"Software\\ZR\\Vals\\Sub", L"tmp2", REG_SZ, regSz(L"t"));
    registry_.reset();
    Run("registry_cases.js", "101");
    ASSERT_EQ(openRegistry(root_ + "/registry.db", RegistryOptions{}, &registry_), 0);
  }
};

TEST_F(RegistryCases, AnswersOfEveryMethod) {
  struct Case {
    const char* label;
    const char* outcome;  // errorcode status return
  } cases[] = {
      {"present.missing", "2 1 0"},     {"present.lower", "0 1 1"},
      {"present.hkxx", "87 0 0"},       {"present.hkus", "0 1 1"},
      {"present.empty", "87 0 0"},      {"present.w32.32", "0 1 1"},
      {"present.w32.64", "0 1 1"},      {"present.nul", "87 0 0"},
      {"value.empty", "0 1 1"},         {"value.none", "2 1 0"},
      {"value.nokey", "2 0 0"},
      {"data.empty", "0 1 1"},          // an empty REG_SZ still holds its NUL
      {"data.none", "20026 0 0"},
      {"type.multi", "0 1 1"},          {"type.wrong", "20017 1 0"},
      {"type.notype", "87 0 0"},        {"get.multi", "0 1 0"},
      {"get.none", "2 0 0"},            {"match.list", "0 1 1"},
      {"match.quoted", "0 1 1"},        {"match.regex", "0 1 1"},
      {"match.no", "20020 1 0"},        {"match.unknowncheck", "0 1 1"},
      {"match.onearg", "20023 0 0"},    {"match.nokey", "20027 1 0"},
      {"set.dword", "0 1 1"},           {"set.type5", "87 0 0"},
      {"set.typeabc", "20016 0 0"},     {"set.minus1", "0 1 1"},
      {"set.multi", "0 1 1"},           {"set.qword", "0 1 1"},
      {"set.qword.get", "20017 0 0"},   // REG_QWORD stays unreadable
      {"set.nodata", "87 0 0"},
      {"keymatch.direct", "20018 1 0"}, {"keymatch.deep", "0 1 1"},
      {"keymatch.one", "0 1 1"},        {"keymatch.badregex", "20018 1 0"},
      {"keymatch.nokey", "20027 0 0"},  {"valuematch.onearg", "20023 0 0"},
      {"valuematch.char", "0 1 1"},     {"delete.nomatch", "0 1 1"},
      {"delete.whole", "0 1 1"},        {"delete.whole.gone", "2 1 0"},
      {"delete.missing", "20027 0 0"},  {"delete.onearg", "20023 0 0"},
      {"deletevalue.some", "0 1 1"},    {"deletevalue.kept", "0 1 1"},
      {"deletevalue.gone", "2 1 0"},    {"createkey.new", "0 1 1"},
      {"createkey.again", "0 1 1"},     {"createkey.hkxx", "87 0 0"},
      {"hostile.longname", "0 1 1"},    {"hostile.deep", "87 0 0"},
      {"hostile.quote", "0 1 1"},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.label), c.outcome) << c.label;
  EXPECT_EQ(Answer("get.multi")["value"].asString(), "one two ");
  EXPECT_EQ(Answer("get.multi")["type"].asInt(), 7);
  EXPECT_EQ(Answer("set.dword.get")["value"].asString(), "10");
  EXPECT_EQ(Answer("set.minus1.get")["value"].asString(), "4294967295");
  EXPECT_EQ(Answer("set.multi.get")["value"].asString(), "one two ");
  EXPECT_NE(Answer("hostile.bigdata")["errorcode"].asInt(), 20016);
  const std::string log = Log();
  EXPECT_TRUE(Contains(log, "m_RedirectFlag:512"));
  EXPECT_TRUE(Contains(log, "Exception occured in setting data in registry"));
  EXPECT_TRUE(Contains(log, "key: HKLM\\SOFTWARE\\NoSuchKey is not present on system"));
}

TEST_F(RegistryCases, OperationRows) {
  // Component, API name, inputs in order, the system's message with its
  // line end for 2.
  EXPECT_EQ(Query("select COMPONENT_NAME, OPERATION_TYPE, INPUT_DETAILS, EXECUTION_STATUS, "
                  "ERROR_STRING from OPERATION_TABLE where API_NAME = 'Registry::isKeyPresent' "
                  "and INPUT_DETAILS like '%NoSuchKey%'"),
            (Rows{{"Registry", "0", R"({"key":"HKLM\SOFTWARE\NoSuchKey","is32bit":"false"})", "0",
                   "The system cannot find the file specified.\r\n"}}));
  struct Row {
    const char* api;
    const char* like;
    const char* inputs;
  } rows[] = {
      {"isOfDataType", "%HKXX%", R"({"key":"HKXX\Software\ZR\Data","value":"Multi","is32bit":"false","type":"7"})"},
      {"isValueMatch", "%\"InValue\":\"\"%", R"({"key":"HKCU\Software\ZR\Data","InValue":"","bisRecursive":"false","is32bit":"false"})"},
      {"isKeyMatch", "%Update2%false%", R"({"key":"HKCU\Software\ZR\M","is32bit":"false","InKey":".*Update2.*","bisRecursive":"false"})"},
      {"deleteKey", "%N.*%", R"({"key":"HKCU\Software\ZR\Del","is32bit":"false","isRecursive":"true","InKey":"N.*"})"},
      {"setValue", "%\"data\":\"10\"%", R"({"key":"HKCU\Software\ZR\Set","value":"Dw","data":"10","is32bit":"false","type":"4"})"},
      {"isDataMatching", "%-1%", R"({"key":"HKCU\Software\ZR\Data","value":"Win","is32bit":"false","TypeOfCheck":"-1","InData":""})"},
      {"getValue", "%Multi%", R"({"key":"HKCU\Software\ZR\Data","value":"Multi","is32bit":"false"})"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(Query(std::string("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                                "'Registry::") + r.api + "' and INPUT_DETAILS like '" + r.like + "'"),
              (Rows{{r.inputs}}))
        << r.api;
  }
  // 20023 is recorded without a log line.
  EXPECT_FALSE(Contains(Log(), "Invalid params passed for registry value comparision"));
}

TEST_F(RegistryCases, MendedFaults) {
  // a: a presence check after setValue on the same object is not refused.
  EXPECT_EQ(Outcome("same.set"), "0 1 1");
  EXPECT_EQ(Outcome("same.present"), "0 1 1");
  EXPECT_EQ(Outcome("same.data"), "0 1 1");
  // b: a failed presence check ends isOfDataType.
  EXPECT_EQ(Outcome("stale.good"), "0 1 1");
  EXPECT_EQ(Outcome("stale.hkxx"), "87 0 0");
  // c: matches inside a match deleted with it do not fail the call.
  EXPECT_EQ(Outcome("delete.nested"), "0 1 1");
  EXPECT_EQ(Outcome("delete.nested.gone"), "2 1 0");
  EXPECT_TRUE(Exists(kHkeyCurrentUser, L"Software\\ZR\\Del\\Other"));
  // d: a root alone with no pattern deletes nothing.
  EXPECT_EQ(Outcome("delete.root"), "87 0 0");
  EXPECT_EQ(Outcome("delete.rootslash"), "87 0 0");
  EXPECT_TRUE(Contains(Log(), "Invalid params passed for registry key deletion"));
  EXPECT_TRUE(Exists(kHkeyCurrentUser, L"Software\\ZR\\Data"));
  EXPECT_TRUE(Exists(kHkeyLocalMachine, L"SOFTWARE\\Microsoft"));
  // e: the 32-bit view deletes the key it names, shared or redirected.
  EXPECT_EQ(Outcome("delete.shared32"), "0 1 1");
  EXPECT_EQ(Outcome("delete.shared32.gone"), "2 1 0");
  EXPECT_EQ(Outcome("delete.w32"), "0 1 1");
  EXPECT_EQ(Outcome("delete.w32.gone"), "2 1 0");
  EXPECT_EQ(Outcome("delete.w32.64kept"), "0 1 1");
  EXPECT_TRUE(Exists(kHkeyLocalMachine, L"SOFTWARE\\ZR\\W32\\in64", KEY_WOW64_64KEY));
  // g: an invalid pattern fails the deletions; the matches answer no match.
  EXPECT_EQ(Outcome("delete.badregex"), "20016 0 0");
  EXPECT_EQ(Outcome("deletevalue.badregex"), "20016 0 0");
  EXPECT_TRUE(Contains(Log(), "exception occured in registry key deletion"));
  EXPECT_TRUE(Exists(kHkeyCurrentUser, L"Software\\ZR\\Del"));
  // h: no number, nothing written and no key made.
  EXPECT_EQ(Outcome("set.dword.text"), "87 0 0");
  EXPECT_EQ(Outcome("set.dword.big"), "87 0 0");
  EXPECT_EQ(Outcome("set.qword.big"), "87 0 0");
  EXPECT_EQ(Outcome("set.nonum.key"), "2 1 0");
  // Whole characters: "^A$" does not match the name "Ł" (low byte 0x41).
  EXPECT_EQ(Outcome("valuematch.lowbyte"), "20019 1 0");
}

// ------------------------------------------------- collection, imports

class RegistryCollect : public RegistryScripts {
 protected:
  void SetUp() override {
    RegistryScripts::SetUp();
    Key(kHkeyCurrentUser, L"Software\\ZC\\A\\B\\C");
    Set(kHkeyCurrentUser, L"Software\\ZC\\A\\B\\C", L"c", REG_SZ, regSz(L"deep"));
    Set(kHkeyCurrentUser, L"Software\\ZC\\V", L"V1", REG_SZ, regSz(L"one"));
    Set(kHkeyCurrentUser, L"Software\\ZC\\V", L"V2", REG_SZ, regSz(L"two"));
    Set(kHkeyCurrentUser, L"Software\\ZC\\Q", L"a b", REG_SZ, regSz(L"blank"));
    Set(kHkeyCurrentUser, L"Software\\ZC\\Q", L"x & y", REG_SZ, regSz(L"amp"));
    Set(kHkeyCurrentUser, L"Software\\ZC\\Q", L"W", REG_DWORD, regDword(7));
    Set(kHkeyCurrentUser, L"Software\\ZC\\T", L"t", REG_SZ, regSz(L"slash"));
    Set(kHkeyLocalMachine, L"SOFTWARE\\ZC\\Both", L"view", REG_SZ, regSz(L"64"), KEY_WOW64_64KEY);
    Set(kHkeyLocalMachine, L"SOFTWARE\\ZC\\Both", L"view", REG_SZ, regSz(L"32"), KEY_WOW64_32KEY);
    registry_.reset();
    // A stale file of an earlier run, and a folder where the 9th file goes.
    registryFolder_ = fs::path(store_) / "collection" / "registry";
    fs::create_directories(registryFolder_ / "regnode9.reg");
    std::ofstream(registryFolder_ / "regnode11.reg") << "stale";
    zi_ = fs::path(root_) / "drive_c" / "ProgramData" / "ZI";
    fs::create_directories(zi_ / "pack");
    auto reg = [&](const std::string& name, const std::string& key, const std::string& value) {
      std::ofstream(zi_ / name) << "Windows Registry Editor Version 5.00\r\n\r\n[" << key
                                << "]\r\n\"v\"=\"" << value << "\"\r\n";
    };
    reg("plain.reg", "HKEY_CURRENT_USER\\Software\\ZI\\Plain", "plain");
    reg("UPPER.REG", "HKEY_CURRENT_USER\\Software\\ZI\\Upper", "upper");
    reg("perm.reg", "HKEY_CURRENT_USER\\Software\\ZP\\Sub", "perm");
    reg("unknown.reg", "HKEY_CURRENT_USER\\Software\\ZU", "unknown");
    reg("pack/Settings.reg", "HKEY_CURRENT_USER\\Software\\ZI\\Cab", "cab");
    reg("pack/Other.reg", "HKEY_CURRENT_USER\\Software\\ZI\\Other", "other");
    std::ofstream(zi_ / "plain.txt") << "x";
    Shell("cd '" + (zi_ / "pack").string() + "' && gcab -c ../Settings.cab Settings.reg && "
          "gcab -c ../Empty.cab Other.reg");
    run_ = Run("registry_collect.js", "101,102");
    ASSERT_EQ(openRegistry(root_ + "/registry.db", RegistryOptions{}, &registry_), 0);
  }
  std::string RegString(const std::wstring& key, const std::wstring& name) {
    std::wstring text;
    readString(*registry_, kHkeyCurrentUser, key, name, &text);
    return std::string(text.begin(), text.end());
  }
  std::string Regacl(const std::string& key) {
    return Shell("ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR "/src/cli/zorel machine regacl '" +
                 key + "' 2>&1");
  }

  fs::path registryFolder_, zi_;
  CheckRun run_;
};

TEST_F(RegistryCollect, EachKeyExportedOnceByViewAndKind) {
  struct Case {
    const char* label;
    const char* outcome;
  } cases[] = {
      {"c.1.abc", "0 1 0"},   {"c.2.a", "0 1 0"},      {"c.3.ab", "0 0 0"},
      {"c.4.v1", "0 1 0"},    {"c.5.v2", "0 1 0"},     {"c.6.v", "0 1 0"},
      {"c.7.blank", "0 1 0"}, {"c.8.amp", "0 1 0"},    {"c.9.folder", "1 1 0"},
      {"c.10.w", "0 1 0"},    {"c.11.both64", "0 1 0"}, {"c.12.both32", "0 1 0"},
      {"c.13.missing", "2 1 0"}, {"c.14.nokey", "87 0 0"}, {"c.15.quote", "87 0 0"},
      {"c.16.hkus", "1 1 0"},  // reg does not know HKUS: kept as written
      {"c.17.slash", "0 1 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.label), c.outcome) << c.label;
  const std::string base = "HKCU\\Software\\ZC";
  EXPECT_EQ(Query("select SOURCE, DESTINATION from COLLECTION_TABLE where COLLECTION_TYPE = 0 order by ID"),
            (Rows{{base + "\\A\\B\\C", "collection\\registry\\regnode2.reg"},
                  {base + "\\A", "collection\\registry\\regnode2.reg"},
                  {base + "\\A\\B", "collection\\registry\\regnode2.reg"},
                  {base + "\\V\\V1", "collection\\registry\\regnode6.reg"},
                  {base + "\\V\\V2", "collection\\registry\\regnode6.reg"},
                  {base + "\\V", "collection\\registry\\regnode6.reg"},
                  {base + "\\Q\\a b", "collection\\registry\\regnode7.reg"},
                  {base + "\\Q\\x & y", "collection\\registry\\regnode8.reg"},
                  {base + "\\Q\\W", "collection\\registry\\regnode10.reg"},
                  {"HKLM\\SOFTWARE\\ZC\\Both", "collection\\registry\\regnode11.reg"},
                  {"HKLM\\SOFTWARE\\ZC\\Both", "collection\\registry\\regnode12.reg"},
                  {base + "\\T\\", "collection\\registry\\regnode15.reg"}}));
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = 'Registry::collect' "
                  "and ERROR_CODE = 87 and INPUT_DETAILS like '%\"value\":\"\"%'"),
            (Rows{{R"({"key":"","value":"","is32bit":"false"})"}}));
}

TEST_F(RegistryCollect, FilesHoldWhatRegWrote) {
  // Packaging took the folder into collection.cab (stage 102).
  const std::string listing = Shell("cabextract -l '" + store_ + "/collection.cab' 2>&1");
  for (const char* name : {"collection/registry/regnode2.reg", "collection/registry/regnode6.reg",
                           "collection/registry/regnode7.reg", "collection/registry/regnode8.reg",
                           "collection/registry/regnode10.reg", "collection/registry/regnode11.reg",
                           "collection/registry/regnode12.reg"})
    EXPECT_TRUE(Contains(listing, name)) << name << "\n" << listing;
  for (const char* gone : {"regnode1.reg", "regnode3.reg", "regnode4.reg", "regnode5.reg"})
    EXPECT_FALSE(Contains(listing, gone)) << gone;
  const fs::path out = fs::path(base_) / "cab";
  Shell("cabextract -q -d '" + out.string() + "' '" + store_ + "/collection.cab'");
  const fs::path files = out / "collection" / "registry";
  EXPECT_EQ(Read(files / "regnode10.reg"),
            "\r\nHKEY_CURRENT_USER\\Software\\ZC\\Q\r\n    W    REG_DWORD    0x7\r\n\r\n");
  EXPECT_TRUE(Contains(Read(files / "regnode7.reg"), "    a b    REG_SZ    blank\r\n"));
  EXPECT_TRUE(Contains(Read(files / "regnode8.reg"), "    x & y    REG_SZ    amp\r\n"));
  // The export form is a UTF-16 .reg file; the stale file was replaced.
  auto utf16 = [](const std::string& text) {
    std::string bytes;
    for (char c : text) bytes += std::string{c, '\0'};
    return bytes;
  };
  const std::string whole = Read(files / "regnode2.reg");
  EXPECT_EQ(whole.substr(0, 2), "\xFF\xFE");
  EXPECT_TRUE(Contains(whole, utf16("[HKEY_CURRENT_USER\\Software\\ZC\\A\\B\\C]")));
  EXPECT_TRUE(Contains(Read(files / "regnode11.reg"), utf16("\"view\"=\"64\"")));
  EXPECT_TRUE(Contains(Read(files / "regnode12.reg"), utf16("\"view\"=\"32\"")));
  // The failed export changed nothing: the value rows of Q keep their files.
  EXPECT_TRUE(Contains(Read(files / "regnode7.reg"), "a b"));
}

TEST_F(RegistryCollect, ImportsAndPermissions) {
  struct Case {
    const char* label;
    int code;
  } cases[] = {
      {"i.reg", 0},       {"i.REG", 0},        {"i.cab", 0},    {"i.cab.noreg", 20016},
      {"i.missing", 30058}, {"i.txt", 87},     {"i.none", 87},  {"p.ok", 0},
      {"p.cab", 0},       {"p.unknown", 1332}, {"p.abbrev", 87}, {"p.two", 87},
      {"p.txt", 87},
  };
  for (const Case& c : cases) EXPECT_EQ(Answer(c.label)["errorcode"].asInt(), c.code) << c.label;
  EXPECT_FALSE(Answer("i.reg")["status"].asBool());  // kept: "status" stays false
  EXPECT_EQ(RegString(L"Software\\ZI\\Plain", L"v"), "plain");
  EXPECT_EQ(RegString(L"Software\\ZI\\Upper", L"v"), "upper");
  EXPECT_EQ(RegString(L"Software\\ZI\\Cab", L"v"), "cab");
  EXPECT_EQ(RegString(L"Software\\ZI\\Other", L"v"), "");  // not in a cabinet named for it
  EXPECT_EQ(RegString(L"Software\\ZU", L"v"), "unknown");  // imported all the same
  EXPECT_TRUE(Contains(Log(), "Registry file to import is missing: File "));
  EXPECT_FALSE(fs::exists(fs::path(store_) / "RegistryImport"));
  EXPECT_EQ(Query("select INPUT_DETAILS from OPERATION_TABLE where API_NAME = "
                  "'Registry::importRegistryAndPermissionSet' and ERROR_CODE = 1332"),
            (Rows{{R"({"key":"HKEY_CURRENT_USER\Software\ZU","filetoimport":"C:\ProgramData\ZI\unknown.reg",)"
                   R"("filetodownloadandextract":"C:\ProgramData\ZI\unknown.reg","accountnamevalue":"Nobody"})"}}));
  // The permission set, as regacl shows it: SET_ACCESS left one entry per
  // account; the sub-key inherits it.
  EXPECT_EQ(Regacl("HKCU\\Software\\ZP"),
            "allow 0x101F0000 CI User\nallow 0x101F0000 CI Users\n");
  EXPECT_EQ(Regacl("HKEY_CURRENT_USER\\Software\\ZP\\Sub"),
            "allow 0x101F0000 CI,ID User\nallow 0x101F0000 CI,ID Users\n");
  EXPECT_EQ(Regacl("HKCU\\Software\\ZU"), "no DACL\n");
}

TEST_F(RegistryCollect, RegaclCommand) {
  struct Case {
    std::string args;
    int status;
    std::string out;
  } cases[] = {
      {"'HKCU\\Software\\ZC' --grant User:read --inherit", 0, "allow 0x00020019 CI User\n"},
      {"'HKCU\\Software\\ZC' --deny 'DESKTOP-ZR7Q2KD\\user:0x00000002'", 0,
       "deny 0x00000002 - User\nallow 0x00020019 CI User\n"},
      {"'HKCU\\Software\\ZC\\V' --grant 'BUILTIN\\Administrators:full'", 0,
       "allow 0x000F003F - Administrators\nallow 0x00020019 CI,ID User\n"},
      {"'HKCU\\Software\\ZC' --revoke User", 0, "empty DACL\n"},
      {"'HKCU\\Software\\ZC' --grant Nobody:read", 1, "zorel machine regacl: unknown account: Nobody\n"},
      {"'HKCU\\Software\\ZC' --grant User:most", 1, ""},
      {"'HKCU\\Software\\Nowhere'", 1, ""},
      {"'HKXX\\Software'", 1, ""},
  };
  for (const Case& c : cases) {
    const std::string out = Shell("ZOREL_MACHINE='" + root_ + "' " ZOREL_BINARY_DIR
                                  "/src/cli/zorel machine regacl " + c.args + " 2>/dev/null; echo \"=$?\"");
    const size_t mark = out.rfind('=');
    EXPECT_EQ(out.substr(mark + 1), std::to_string(c.status) + "\n") << c.args;
    if (c.status == 0) {
      EXPECT_EQ(out.substr(0, mark), c.out) << c.args;
    }
  }
  // An empty DACL locks everyone out; regacl still shows and mends it.
  EXPECT_EQ(Regacl("HKCU\\Software\\ZC"), "empty DACL\n");
}

// The examples for script authors run through and reach what they promise.
TEST_F(RegistryScripts, ExamplesRunThrough) {
  struct Example {
    const char* script;
    const char* stages;
    Rows statuses;  // problem, stage, status
  } examples[] = {
      {"registry.js", "100,101,102",
       {{"1", "100", "1"}, {"2", "101", "3"}, {"2", "102", "1"}, {"3", "101", "3"}, {"3", "102", "1"}}},
      {"com.js", "101,102", {{"1", "101", "1"}, {"2", "101", "3"}, {"2", "102", "1"}}},
  };
  for (const Example& e : examples) {
    fs::remove_all(store_);
    const CheckRun run = Check(std::string("--script '" ZOREL_SOURCE_DIR "/examples/checks/") + e.script +
                               "' --store '" + store_ + "' --offline --stages " + e.stages);
    EXPECT_EQ(run.status, 0) << e.script << run.out << run.err;
    EXPECT_EQ(Query("select PROBLEM_ID, STAGE_ID, STATUS from PROBLEM_STATUS_TABLE order by PROBLEM_ID, STAGE_ID"),
              e.statuses)
        << e.script;
  }
}

// ------------------------------------------------------------------ COM

class ComCases : public RegistryScripts {
 protected:
  void Put(const fs::path& path, const std::string& bytes, bool executable = false) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    if (executable) fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
  }
  static std::string Dll(uint16_t machine, const std::vector<std::string>& scripts) {
    std::vector<zorel::testing::PeResource> resources;
    uint16_t id = 101;
    for (const std::string& s : scripts)
      resources.push_back({u"REGISTRY", 0, u"", id++, 0x0409, zorel::testing::bytesOf(s)});
    const auto bytes = zorel::testing::peWithResources(machine, resources);
    return std::string(bytes.begin(), bytes.end());
  }
  static std::string Script(const std::string& guid) {
    return "HKCR { NoRemove CLSID { ForceRemove " + guid +
           " = s 'Test' { InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' } } } }";
  }
  void SetUp() override {
    RegistryScripts::SetUp();
    const fs::path drive = fs::path(root_) / "drive_c";
    const fs::path zcom = drive / "ProgramData" / "ZCOM";
    const std::string g64 = "{7A1C0002-0000-4000-8000-000000000064}";
    const std::string g32 = "{7A1C0002-0000-4000-8000-000000000032}";
    Put(zcom / "x64.dll", Dll(0x8664, {Script(g64)}));
    Put(zcom / "x86.dll", Dll(0x014C, {Script(g32)}));
    Put(zcom / "x86b.dll", Dll(0x014C, {Script("{7A1C0002-0000-4000-8000-0000000000B0}")}));
    Put(zcom / "x64b.dll", Dll(0x8664, {Script("{7A1C0002-0000-4000-8000-0000000000B1}")}));
    Put(zcom / "notpe.dll", "not a PE image");
    const std::string whole = Dll(0x8664, {Script(g64)});
    Put(zcom / "cut.dll", whole.substr(0, 0x120));
    Put(zcom / "nores.dll", Dll(0x8664, {}));
    Put(zcom / "bad.dll", Dll(0x8664, {Script("{7A1C0002-0000-4000-8000-0000000000BA}"), "HKCR { A = q 'x' }"}));
    Put(zcom / "srv.ocx", Dll(0x8664, {Script(g64)}));
    Put(zcom / "pe.exe", whole);
    // 225 and 226 characters: the regsvr32 command line is 34 more.
    const std::string folder = "C:\\\\ProgramData\\\\ZCOM\\\\";  // as a JS literal
    const std::string name225(225 - 20 - 4, 'n'), name226(226 - 20 - 4, 'n');
    Put(zcom / (name225 + ".dll"), Dll(0x8664, {Script("{7A1C0002-0000-4000-8000-000000000225}")}));
    Put(zcom / (name226 + ".dll"), Dll(0x8664, {Script("{7A1C0002-0000-4000-8000-000000000226}")}));
    prefix_ = "var LONG225 = \"" + folder + name225 + ".dll\"; var LONG226 = \"" + folder + name226 +
              ".dll\";\n";
    // A server under Program Files, and a program where an unquoted
    // command line would find it first.
    ran_ = drive / "ran.txt";
    Put(drive / "Program Files" / "ZApp" / "srv.exe",
        "#!/bin/sh\nprintf '[%s]' \"$@\" >> '" + ran_.string() + "'\n", true);
    Put(drive / "Program.exe", "#!/bin/sh\necho planted >> '" + ran_.string() + "'\n", true);
    Set(kHkeyClassesRoot, L"CLSID\\{7A1C0002-0000-4000-8000-0000000000FF}\\InprocServer32", L"",
        REG_SZ, regSz(L"\"C:\\Program Files\\ZApp\\srv.dll\""));
    registry_.reset();
    Run("com_cases.js", "101", prefix_);
    ASSERT_EQ(openRegistry(root_ + "/registry.db", RegistryOptions{}, &registry_), 0);
  }
  std::string prefix_;
  fs::path ran_;
};

TEST_F(ComCases, RegisterAndCheck) {
  struct Case {
    const char* label;
    const char* outcome;  // errorcode status return
  } cases[] = {
      {"reg.x64", "0 1 1"},        {"reg.x86", "0 1 1"},       {"reg.x86.native", "0 1 1"},
      {"reg.x64.as32", "3 0 0"},   // the 32-bit regsvr32 cannot load it
      {"reg.notpe", "3 0 0"},      {"reg.cut", "3 0 0"},
      {"reg.nores", "4 0 0"},      // no registration script: no entry point runs here
      {"reg.bad", "5 0 0"},        {"reg.ocx", "20029 0 0"},   {"reg.missing", "2 0 0"},
      {"reg.empty", "87 0 0"},     {"reg.long225", "0 1 1"},   {"reg.long226", "87 0 0"},
      {"reg.exe", "0 1 1"},        {"reg.peexe", "193 0 0"},
      {"entry.64", "0 1 1"},       {"entry.32", "0 1 1"},      {"entry.32in64", "2 1 0"},
      {"entry.bad", "2 1 0"},      {"entry.noclsid", "87 0 0"},
      {"type.inproc", "0 1 1"},    {"type.local", "2 1 0"},    {"type.noclass", "20022 0 0"},
      {"type.notype", "87 0 0"},   {"path.match", "0 1 1"},    {"path.other", "20020 1 0"},
      {"path.32", "0 1 1"},        {"binary.64", "0 1 1"},     {"binary.quoted", "2 0 0"},
      {"binary.noclass", "2 0 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcome(c.label), c.outcome) << c.label;
  // Nothing of the failing script landed.
  EXPECT_FALSE(Exists(kHkeyClassesRoot, L"CLSID\\{7A1C0002-0000-4000-8000-0000000000BA}", KEY_WOW64_64KEY));
  EXPECT_TRUE(Exists(kHkeyClassesRoot, L"CLSID\\{7A1C0002-0000-4000-8000-000000000225}", KEY_WOW64_64KEY));
  // i386 DLLs land in the 32-bit view, whichever regsvr32 ran.
  EXPECT_TRUE(Exists(kHkeyClassesRoot, L"CLSID\\{7A1C0002-0000-4000-8000-0000000000B0}", KEY_WOW64_32KEY));
  EXPECT_FALSE(Exists(kHkeyClassesRoot, L"CLSID\\{7A1C0002-0000-4000-8000-0000000000B0}", KEY_WOW64_64KEY));
  EXPECT_TRUE(Contains(Log(), "Failed to register DLL"));
  // Only the server ran, with its one argument (it is not waited for).
  for (int i = 0; i < 50 && !fs::exists(ran_); ++i) ::usleep(100 * 1000);
  ::usleep(200 * 1000);
  EXPECT_EQ(Read(ran_), "[-regserver]");
  // The private Registry and File objects record nothing; each COM call
  // records once, under "Com".
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where COMPONENT_NAME in ('Registry', 'File')"),
            (Rows{{"0"}}));
  EXPECT_EQ(Query("select count(*) from OPERATION_TABLE where COMPONENT_NAME = 'Com'"),
            (Rows{{"30"}}));
  EXPECT_EQ(Query("select INPUT_DETAILS, ERROR_CODE from OPERATION_TABLE where API_NAME = "
                  "'Com::isServerPathMatching' and ERROR_CODE = 20020"),
            (Rows{{R"({"clsid":"{7A1C0002-0000-4000-8000-000000000064}","is32bit":"false",)"
                   R"("servertype":"InprocServer32","serverpath":"C:\ProgramData\ZCOM\x86.dll"})",
                   "20020"}}));
}

}  // namespace
