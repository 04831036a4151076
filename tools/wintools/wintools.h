#pragma once
// Shared pieces of the zorel-wintools tools: the machine's registry, console
// output as the Windows tools write it (CRLF, UTF-8 on the host) and the
// tools' entry points.

#include <string>
#include <vector>

#include "zorel/platform/registry/registry.h"

namespace zorel::wintools {

// Arguments after the program name, as wide text.
using Args = std::vector<std::wstring>;

// The registry of the machine the tool runs in, or null (with a message on
// stderr) when there is none.
platform::IRegistry* machineRegistry();

// Writes text to stdout / stderr, turning "\n" into "\r\n".
void out(const std::wstring& text);
void err(const std::wstring& text);

// Asks a (Yes/No) question on stdout and reads the answer from stdin.
bool confirm(const std::wstring& question);

// Case-insensitive comparison of an option ("/f", "-F").
bool isOption(const std::wstring& arg, const wchar_t* name);

// True when the tool was started from a SysWOW64 folder (the 32-bit tool).
extern bool g_started32;

int regMain(const Args& args);
int regeditMain(const Args& args);
int cmdMain(const Args& args);
int regsvr32Main(const Args& args);
int svchostMain(const Args& args);
int eventcreateMain(const Args& args);

// Writes eventcreate's message file (message_file.cpp) to a host path; the
// build runs it. RETURNS the exit code.
int writeMessageFile(const std::string& path);

}  // namespace zorel::wintools
