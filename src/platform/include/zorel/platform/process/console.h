#pragma once
// The console a command-line front end runs in.
//
// Windows: SetConsoleCtrlHandler for Ctrl-C and Ctrl-Break, GetConsoleMode
// for whether a stream is a console.
// Linux emulation: SIGINT and SIGTERM set a flag (the handler does nothing
// else); isatty.

namespace zorel::platform {

// From now on Ctrl-C (and a termination request) only raises the flag
// below instead of ending the process.
void installInterruptHandler();
// True once Ctrl-C was pressed after installInterruptHandler.
bool interruptRequested();

// Whether standard output (1) or standard error (2) is a terminal.
bool streamIsTerminal(int stream);

}  // namespace zorel::platform
