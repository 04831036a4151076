#pragma once
// Windows command lines: how a program's C runtime splits its command line
// into arguments, and how a caller quotes an argument so it comes out
// whole. Pure text functions, the same on every system.

#include <string>
#include <string_view>
#include <vector>

namespace zorel::platform {

// The arguments the Windows C runtime gives main() for a command line
// (argv[0] included):
//   - the program name ends at the first blank or tab, or, when it starts
//     with a double quote, at the next double quote (no backslash rules);
//   - the other arguments are separated by blanks and tabs outside double
//     quotes; 2n backslashes before a double quote become n and the quote
//     opens or closes a quoted part, 2n+1 backslashes before one become n
//     and a literal quote; backslashes before anything else stay; inside a
//     quoted part "" is a literal quote.
std::vector<std::wstring> splitCommandLine(std::wstring_view line);

// The argument quoted so splitCommandLine gives it back unchanged: as it is
// when it is not empty and holds no blank, tab or double quote; otherwise
// in double quotes, with each backslash run before a quote or before the
// closing quote doubled and each inner quote escaped.
// With `always`, the argument is put in double quotes even when it needs
// none (a command line written for readers, or a callee that wants them).
std::wstring quoteArgument(std::wstring_view argument, bool always = false);

// The program names CreateProcessW tries for a command line without an
// application name, in order: the quoted first token alone, or, unquoted,
// each blank-separated prefix ("C:\Program", "C:\Program Files\a.exe", ...).
std::vector<std::wstring> programCandidates(std::wstring_view line);

}  // namespace zorel::platform
