// COM initialisation, ProgID lookup and in-process creation over the
// machine's class registrations (see com_class.h).

#include <cstdio>
#include <cwchar>
#include <string>

#include "com/linux/jscript_engine.h"
#include "zorel/platform/com/active_script.h"
#include "zorel/platform/com/com_class.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::platform {

namespace {

thread_local int t_comInitCount = 0;

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The value of `digits` hex digits at text[at]; false when one is not a
// hex digit.
bool ReadHex(std::wstring_view text, size_t at, size_t digits, std::uint64_t* value) {
  *value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const int d = HexDigit(text[at + i]);
    if (d < 0) return false;
    *value = (*value << 4) | static_cast<std::uint64_t>(d);
  }
  return true;
}

}  // namespace

bool operator==(const Guid& a, const Guid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}

bool parseGuid(std::wstring_view text, Guid* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != L'{' || text[37] != L'}' || text[9] != L'-' ||
      text[14] != L'-' || text[19] != L'-' || text[24] != L'-')
    return false;
  Guid parsed;
  std::uint64_t v = 0;
  if (!ReadHex(text, 1, 8, &v)) return false;
  parsed.data1 = static_cast<std::uint32_t>(v);
  if (!ReadHex(text, 10, 4, &v)) return false;
  parsed.data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(text, 15, 4, &v)) return false;
  parsed.data3 = static_cast<std::uint16_t>(v);
  constexpr size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteAt[i], 2, &v)) return false;
    parsed.data4[i] = static_cast<std::uint8_t>(v);
  }
  *guid = parsed;
  return true;
}

std::wstring guidText(const Guid& g) {
  wchar_t buffer[40];
  std::swprintf(buffer, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1,
                g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4],
                g.data4[5], g.data4[6], g.data4[7]);
  return buffer;
}

HRESULT coInitialize() { return t_comInitCount++ == 0 ? S_OK : S_FALSE; }

void coUninitialize() {
  if (t_comInitCount > 0) --t_comInitCount;
}

HRESULT clsidFromProgId(IMachine& machine, std::wstring_view progId, Guid* clsid) {
  if (!clsid) return E_INVALIDARG;
  // A ProgID is one key name: a backslash would reach some other key.
  if (progId.empty() || progId.find(L'\\') != std::wstring_view::npos) return CO_E_CLASSSTRING;
  std::wstring text;
  const std::wstring key = std::wstring(progId) + L"\\CLSID";
  if (readString(machine.registry(), kHkeyClassesRoot, key, L"", &text) != ERROR_SUCCESS ||
      !parseGuid(text, clsid))
    return CO_E_CLASSSTRING;
  return S_OK;
}

HRESULT coCreateInstance(IMachine& machine, const Guid& clsid, std::uint32_t clsContext,
                         const Guid& iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (t_comInitCount == 0) return CO_E_NOTINITIALIZED;
  if (!(clsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  RegKey server = kRegNoKey;
  const std::wstring key = L"CLSID\\" + guidText(clsid) + L"\\InprocServer32";
  if (machine.registry().openKey(kHkeyClassesRoot, key, 0, KEY_READ, &server) != ERROR_SUCCESS)
    return REGDB_E_CLASSNOTREG;
  machine.registry().closeKey(server);
  if (!(clsid == CLSID_JScript)) return HRESULT_BAD_EXE_FORMAT;
  return createJScriptEngine(iid, object);
}

}  // namespace zorel::platform
