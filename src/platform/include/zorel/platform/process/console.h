#pragma once
// The console a command-line front end runs in.
//
// Windows: SetConsoleCtrlHandler for Ctrl-C and Ctrl-Break, GetConsoleMode
// for whether a stream is a console.
// Linux emulation: SIGINT and SIGTERM set a flag (the handler does nothing
// else); isatty. A terminal's Ctrl-C reaches the whole foreground process
// group, children included, as a console's reaches every attached process.

namespace zorel::platform {

// From now on Ctrl-C (and a termination request) only raises the flag
// below instead of ending the process.
void installInterruptHandler();
// True once Ctrl-C was pressed after installInterruptHandler.
bool interruptRequested();

// From now on Ctrl-C does not reach this process at all
// (SetConsoleCtrlHandler(NULL, TRUE); Linux: SIGINT ignored). For a child
// that shares its parent's console and is told of a cancel by the parent.
void ignoreInterrupts();

// Whether standard input (0), output (1) or error (2) is a terminal.
bool streamIsTerminal(int stream);

}  // namespace zorel::platform
