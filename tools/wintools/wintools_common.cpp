// Console output, prompts and the machine's registry for zorel-wintools.

#include <cstdio>
#include <cwctype>
#include <iostream>

#include "wintools.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"

namespace zorel::wintools {

bool g_started32 = false;

namespace {

void write(std::FILE* stream, const std::wstring& text) {
  std::wstring crlf;
  crlf.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) crlf += L'\r';
    crlf += text[i];
  }
  std::string bytes = toUtf8(crlf);
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace

platform::IRegistry* machineRegistry() {
  platform::IMachine* machine = platform::currentMachine();
  if (machine == nullptr) {
    err(L"ERROR: The machine's registry cannot be opened (is ZOREL_MACHINE a machine root?).\n");
    return nullptr;
  }
  return &machine->registry();
}

void out(const std::wstring& text) { write(stdout, text); }
void err(const std::wstring& text) { write(stderr, text); }

bool confirm(const std::wstring& question) {
  out(question);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

bool isOption(const std::wstring& arg, const wchar_t* name) {
  if (arg.size() < 2 || (arg[0] != L'/' && arg[0] != L'-')) return false;
  std::wstring_view rest(arg.c_str() + 1);
  std::wstring_view want(name);
  if (rest.size() != want.size()) return false;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (std::towlower(rest[i]) != std::towlower(want[i])) return false;
  }
  return true;
}

}  // namespace zorel::wintools
