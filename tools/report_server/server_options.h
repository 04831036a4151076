#pragma once
// Command line of zorel-report-server.
//
//   zorel-report-server --listen 127.0.0.1:PORT --data DIR [--http]
//                       [--cert FILE --key FILE] [--fault COMMAND=KIND[:ARG]]...
//                       [--view-token TOKEN]
//
// Faults make one command answer badly, for tests of the client:
//   delay:MS    wait MS milliseconds, then answer as usual
//   status:N    answer with HTTP status N (200..599) and a JSON refusal
//   code:NNNN   answer 200 with exactly these four bytes (a server code)
//   garbage     answer 200 with bytes that are not JSON
//   iserror:N   answer 200 with "iserror" true and "errorcode" N, doing nothing
// COMMAND is CreateSessionId, UploadResult, CancelOperation or * for all.

#include <cstdint>
#include <string>
#include <vector>

namespace zorel::reportserver {

enum class FaultKind { Delay, Status, Code, Garbage, IsError };

struct Fault {
  std::string command;  // a command name or "*"
  FaultKind kind = FaultKind::Delay;
  int64_t number = 0;   // milliseconds, HTTP status or error code
  std::string code;     // the four bytes of FaultKind::Code
};

struct ServerOptions {
  std::string host;     // a loopback address
  int port = 0;         // 0: any free port
  std::string dataDir;
  bool plainHttp = false;
  std::string certFile;  // empty: DIR/server.crt, generated when missing
  std::string keyFile;   // empty: DIR/server.key
  std::vector<Fault> faults;
  std::string viewToken;  // empty: DIR/view.token, made at first start
};

// Parses argv. RETURNS true; false with a readable reason in error.
bool parseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error);

// Parses one COMMAND=KIND[:ARG] text.
bool parseFault(const std::string& text, Fault& fault, std::string& error);

// A view token travels in a header and a query: 16 to 256 of [A-Za-z0-9._-].
bool isUsableViewToken(const std::string& token);

// True for 127.0.0.0/8, ::1 and localhost: the server never listens elsewhere.
bool isLoopbackHost(const std::string& host);

extern const char kUsage[];

}  // namespace zorel::reportserver
