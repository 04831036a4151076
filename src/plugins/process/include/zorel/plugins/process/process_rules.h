#pragma once
// The Process object's rules that touch no process: how a program name is
// matched, how start builds its command line, how the wait arguments become
// milliseconds. Pure functions, unit-tested on their own.

#include <cstdint>
#include <string>

#include <boost/regex_fwd.hpp>

namespace zorel::process_rules {

// The 8-bit form of a text: each character's low byte.
std::string LowBytes(const std::wstring& text);

// A name lower-cased character by character.
std::wstring Lower(const std::wstring& text);

// True when `candidate` (a process's name) answers isRunning's `name`: the
// two are equal without regard to case, or the lower-cased candidate's
// 8-bit form matches `pattern` (compiled from `name`) as a whole. A pattern
// with capitals therefore never matches by expression. Throws what the
// regex library throws (a pattern too complex to decide).
bool NameMatches(const std::wstring& candidate, const std::wstring& name,
                 const boost::regex& pattern);

// start's command line: path + "//" + name (name alone when path is
// empty), a blank, then the argument.
std::wstring StartCommandLine(const std::wstring& path, const std::wstring& name,
                              const std::wstring& argument);

// start's wait: lMaxWaitSec truncated toward zero, times 1000. NaN waits
// 0 ms; a negative value, infinity and 4 294 967 s or more wait without
// limit (kInfinite).
uint32_t WaitFromSeconds(float seconds);

// ExecuteExternalApplication's wait for WaitTime > 0: WaitTime × 1000,
// without limit from 4 294 967 s on.
uint32_t WaitFromWholeSeconds(int32_t seconds);

// The file name a download URL gives, as the File object's downloadFile
// saves it: after its last backslash or slash, whichever comes later.
std::wstring DownloadedName(const std::wstring& url);

// True when `name` ends in ".cab", without regard to case.
bool IsCabinetName(const std::wstring& name);

}  // namespace zorel::process_rules
