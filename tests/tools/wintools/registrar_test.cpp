// The registrar parser on its own: the operations a script gives, and
// malformed scripts refused whole.

#include "registrar.h"

#include <gtest/gtest.h>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::wintools {
namespace {

using namespace platform;

TEST(Registrar, ScriptBecomesOperationsInOrder) {
  const std::wstring script =
      L"HKCR\n{\n  NoRemove CLSID\n  {\n    ForceRemove {0F1E2D3C-0000-4000-8000-000000000001} = s 'It''s %%Name'\n"
      L"    {\n      InprocServer32 = s '%MODULE%'\n      {\n        val ThreadingModel = s 'Both'\n"
      L"        val 'Two Words' = d '0x10'\n        val Flags = d 42\n        val Blob = b 00ff\n"
      L"        val List = m 'a\\0b'\n        val Path = e '%%SystemRoot%%'\n      }\n    }\n"
      L"    Delete Old { Sub = s 'x' }\n  }\n}\nHKEY_LOCAL_MACHINE { Software { val V = s '' } }\n";
  std::vector<RegistrarOp> ops;
  std::wstring problem;
  ASSERT_TRUE(parseRegistrar(script, L"C:\\A b\\x.dll", &ops, &problem)) << toUtf8(problem);
  const std::wstring guid = L"CLSID\\{0F1E2D3C-0000-4000-8000-000000000001}";
  struct Want {
    RegistrarOp::Kind kind;
    std::wstring key, name;
    uint32_t type;
    std::vector<uint8_t> data;
  } want[] = {
      {RegistrarOp::kCreateKey, L"CLSID", L"", 0, {}},
      {RegistrarOp::kForceRemoveKey, guid, L"", 0, {}},
      {RegistrarOp::kSetValue, guid, L"", REG_SZ, regSz(L"It's %Name")},
      {RegistrarOp::kCreateKey, guid + L"\\InprocServer32", L"", 0, {}},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"", REG_SZ, regSz(L"C:\\A b\\x.dll")},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"ThreadingModel", REG_SZ, regSz(L"Both")},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"Two Words", REG_DWORD, regDword(16)},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"Flags", REG_DWORD, regDword(42)},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"Blob", REG_BINARY, {0x00, 0xFF}},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"List", REG_MULTI_SZ, regMultiSz({L"a", L"b"})},
      {RegistrarOp::kSetValue, guid + L"\\InprocServer32", L"Path", REG_EXPAND_SZ, regSz(L"%SystemRoot%")},
      {RegistrarOp::kDeleteKey, L"CLSID\\Old", L"", 0, {}},  // its block is not applied
      {RegistrarOp::kCreateKey, L"Software", L"", 0, {}},
      {RegistrarOp::kSetValue, L"Software", L"V", REG_SZ, regSz(L"")},
  };
  ASSERT_EQ(ops.size(), std::size(want));
  for (size_t i = 0; i < ops.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ops[i].kind, want[i].kind);
    EXPECT_EQ(ops[i].key, want[i].key);
    EXPECT_EQ(ops[i].name, want[i].name);
    EXPECT_EQ(ops[i].type, want[i].type);
    EXPECT_EQ(ops[i].data, want[i].data);
  }
  EXPECT_EQ(ops.back().root, L"HKLM");
}

TEST(Registrar, MalformedScriptsAreRefused) {
  const wchar_t* bad[] = {
      L"HKXX { A }",                       // unknown root
      L"HKCR { A ",                        // block never closed
      L"HKCR A { }",                       // no block after the root
      L"HKCR { A = s 'open }",             // quote never closed
      L"HKCR { A = x 'v' }",               // unknown type
      L"HKCR { A = d 'ten' }",             // not a number
      L"HKCR { A = d 4294967296 }",        // beyond 32 bits
      L"HKCR { A = b 0g }",                // not hex
      L"HKCR { A = b 012 }",               // half a byte
      L"HKCR { A = s }",                   // value missing
      L"HKCR { val V = s 'x' }",           // a value on the root itself
      L"HKCR { A { val = s 'x' } }",       // value name missing
      L"HKCR { A { val V s 'x' } }",       // '=' missing
      L"HKCR { A = s '%OTHER%' }",         // unknown variable
      L"HKCR { 'a\\b' }",                  // a name may not hold a path
      L"HKCR { } }",                       // stray brace
      L"HKCR { ForceRemove }",             // prefix without a name
  };
  for (const wchar_t* script : bad) {
    std::vector<RegistrarOp> ops = {RegistrarOp{}};
    std::wstring problem;
    EXPECT_FALSE(parseRegistrar(script, L"m.dll", &ops, &problem)) << toUtf8(script);
    EXPECT_TRUE(ops.empty()) << toUtf8(script);
    EXPECT_FALSE(problem.empty());
  }
}

TEST(Registrar, ScriptTextEncodings) {
  const uint8_t utf16[] = {0xFF, 0xFE, 'H', 0, 'K', 0, 0x41, 0x01, 0, 0};
  EXPECT_EQ(registrarText(utf16, sizeof utf16), L"HK\u0141");
  const char utf8[] = "HKCR { '\xc5\x81' }\0\0";
  EXPECT_EQ(registrarText(reinterpret_cast<const uint8_t*>(utf8), sizeof utf8 - 1), L"HKCR { '\u0141' }");
}

}  // namespace
}  // namespace zorel::wintools
