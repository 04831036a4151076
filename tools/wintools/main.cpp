// zorel-wintools: dispatches on the program name (argv[0]'s file name, any
// case, with or without ".exe"), or on the first argument when started as
// zorel-wintools itself ("zorel-wintools reg query ..."). Tools: reg,
// regedit, cmd, regsvr32, svchost, eventcreate. "zorel-wintools
// --write-message-file PATH" writes eventcreate's message file (the build's
// step).

#include <cstdio>
#include <cwctype>

#include "wintools.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/process/process.h"

namespace {

std::wstring lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

// "C:\Windows\SysWOW64\REG.EXE" or "/x/SysWOW64/reg.exe" -> "reg"; sets
// the 32-bit flag when the folder is SysWOW64.
std::wstring toolName(const std::wstring& path, bool* in32bitFolder) {
  std::size_t slash = path.find_last_of(L"/\\");
  std::wstring name = lower(slash == std::wstring::npos ? path : path.substr(slash + 1));
  if (name.size() > 4 && name.substr(name.size() - 4) == L".exe") name.resize(name.size() - 4);
  if (slash != std::wstring::npos) {
    std::wstring dir = path.substr(0, slash);
    std::size_t up = dir.find_last_of(L"/\\");
    *in32bitFolder = lower(up == std::wstring::npos ? dir : dir.substr(up + 1)) == L"syswow64";
  }
  return name;
}

int usage() {
  zorel::wintools::err(
      L"usage: zorel-wintools TOOL [ARGUMENTS]\nTools: reg, regedit, cmd, regsvr32, svchost, "
      L"eventcreate\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zorel::wintools;
  Args args;
  for (int i = 1; i < argc; ++i) args.push_back(zorel::fromUtf8(argv[i]));
  std::wstring tool = toolName(zorel::fromUtf8(argc > 0 ? argv[0] : ""), &g_started32);
  if (tool == L"zorel-wintools") {
    if (args.empty()) return usage();
    if (args.size() == 2 && args[0] == L"--write-message-file")
      return writeMessageFile(zorel::toUtf8(args[1]));
    tool = toolName(args.front(), &g_started32);
    args.erase(args.begin());
  }
  int code = 1;
  if (tool == L"reg") code = regMain(args);
  else if (tool == L"regedit") code = regeditMain(args);
  else if (tool == L"cmd") code = cmdMain(args);
  else if (tool == L"regsvr32") code = regsvr32Main(args);
  else if (tool == L"svchost") code = svchostMain(args);
  else if (tool == L"eventcreate") code = eventcreateMain(args);
  else code = usage();
  // The whole 32-bit code reaches a starter that waits for it (cmd's 9009).
  zorel::platform::exitProcess(static_cast<uint32_t>(code));
}
