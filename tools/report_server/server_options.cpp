// Parsing of the server's command line.

#include "server_options.h"

#include <charconv>

namespace zorel::reportserver {

const char kUsage[] =
    "usage: zorel-report-server --listen 127.0.0.1:PORT --data DIR [--http]\n"
    "                           [--cert FILE --key FILE] [--fault COMMAND=KIND[:ARG]]...\n"
    "                           [--view-token TOKEN]\n"
    "  PORT 0 picks a free port; the port is printed on the first line of stdout.\n"
    "  KIND: delay:MS, status:N, code:NNNN, garbage, iserror:N\n"
    "  COMMAND: CreateSessionId, UploadResult, CancelOperation or *\n"
    "  --view-token: the token the session pages (GET /, /sessions/ID) ask for; without\n"
    "  it one is made at first start, kept in DIR/view.token and printed once.\n";

namespace {

bool parseNumber(const std::string& text, int64_t low, int64_t high, int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool knownCommand(const std::string& c) {
  return c == "*" || c == "CreateSessionId" || c == "UploadResult" || c == "CancelOperation";
}

}  // namespace

bool isLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "::1" || host == "[::1]") return true;
  if (host.rfind("127.", 0) != 0) return false;
  int parts = 0;
  size_t at = 0;
  while (at <= host.size()) {
    size_t dot = host.find('.', at);
    if (dot == std::string::npos) dot = host.size();
    int64_t octet = 0;
    if (!parseNumber(host.substr(at, dot - at), 0, 255, octet)) return false;
    ++parts;
    at = dot + 1;
  }
  return parts == 4;
}

bool parseFault(const std::string& text, Fault& fault, std::string& error) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) {
    error = "fault '" + text + "' is not COMMAND=KIND[:ARG]";
    return false;
  }
  fault = Fault{};
  fault.command = text.substr(0, eq);
  if (!knownCommand(fault.command)) {
    error = "fault '" + text + "': unknown command '" + fault.command + "'";
    return false;
  }
  const std::string kindText = text.substr(eq + 1);
  const size_t colon = kindText.find(':');
  const std::string kind = kindText.substr(0, colon);
  const std::string arg = colon == std::string::npos ? std::string() : kindText.substr(colon + 1);
  const bool hasArg = colon != std::string::npos;
  if (kind == "delay" && hasArg && parseNumber(arg, 0, 3600000, fault.number)) {
    fault.kind = FaultKind::Delay;
  } else if (kind == "status" && hasArg && parseNumber(arg, 200, 599, fault.number)) {
    fault.kind = FaultKind::Status;
  } else if (kind == "code" && hasArg && arg.size() == 4) {
    fault.kind = FaultKind::Code;
    fault.code = arg;
  } else if (kind == "garbage" && !hasArg) {
    fault.kind = FaultKind::Garbage;
  } else if (kind == "iserror" && hasArg &&
             parseNumber(arg, -2147483648LL, 2147483647LL, fault.number)) {
    fault.kind = FaultKind::IsError;
  } else {
    error = "fault '" + text +
            "': KIND must be delay:MS, status:N (200..599), code:NNNN (four bytes), garbage "
            "or iserror:N";
    return false;
  }
  return true;
}

bool isUsableViewToken(const std::string& token) {
  if (token.size() < 16 || token.size() > 256) return false;
  for (char c : token) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

bool parseServerOptions(int argc, char** argv, ServerOptions& options, std::string& error) {
  bool haveListen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--listen") {
      if (!value(v)) return false;
      const size_t colon = v.rfind(':');
      int64_t port = -1;
      if (colon == std::string::npos || !parseNumber(v.substr(colon + 1), 0, 65535, port)) {
        error = "--listen wants HOST:PORT, got '" + v + "'";
        return false;
      }
      options.host = v.substr(0, colon);
      if (options.host.size() > 2 && options.host.front() == '[' && options.host.back() == ']') {
        options.host = options.host.substr(1, options.host.size() - 2);
      }
      if (!isLoopbackHost(options.host)) {
        error = "--listen: '" + options.host + "' is not a loopback address";
        return false;
      }
      options.port = static_cast<int>(port);
      haveListen = true;
    } else if (arg == "--data") {
      if (!value(options.dataDir)) return false;
    } else if (arg == "--http") {
      options.plainHttp = true;
    } else if (arg == "--cert") {
      if (!value(options.certFile)) return false;
    } else if (arg == "--key") {
      if (!value(options.keyFile)) return false;
    } else if (arg == "--view-token") {
      if (!value(options.viewToken)) return false;
      if (!isUsableViewToken(options.viewToken)) {
        error = "--view-token wants 16 to 256 letters, digits, '-', '_' or '.'";
        return false;
      }
    } else if (arg == "--fault") {
      Fault fault;
      if (!value(v) || !parseFault(v, fault, error)) return false;
      options.faults.push_back(fault);
    } else {
      error = "unknown argument '" + arg + "'";
      return false;
    }
  }
  if (!haveListen || options.dataDir.empty()) {
    error = "--listen and --data are required";
    return false;
  }
  if (options.certFile.empty() != options.keyFile.empty()) {
    error = "--cert and --key go together";
    return false;
  }
  return true;
}

}  // namespace zorel::reportserver
