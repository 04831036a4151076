#pragma once
// The part of cmd's command-line handling this stand-in has: finding the
// command after /c, cmd's rule for the quotes around it, and one standard
// output redirection. Pure text functions.

#include <string>

namespace zorel::wintools {

struct CmdCommand {
  std::wstring text;        // the command to start, redirection removed
  std::wstring outputFile;  // "> FILE" / ">> FILE" target; empty: none
  bool append = false;      // ">>"
  // The first word of the command, as cmd names it in its error message.
  std::wstring programName() const;
};

// Reads cmd's own command line (program name, switches, /c or /k, the
// command). RETURNS false with *problem set (the message cmd prints) when
// there is no /c or /k, the command is empty, or it uses an operator this
// stand-in does not run.
bool parseCmdLine(const std::wstring& line, CmdCommand* command, std::wstring* problem);

}  // namespace zorel::wintools
