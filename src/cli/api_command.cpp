// zorel api [--markdown | --dts | --json]
//
// Prints the plug-in API as the program declares it: the script authors'
// reference (--markdown, the default; kept as docs/script-api.md), the
// TypeScript declarations (--dts; kept as examples/checks/zorel.d.ts) or the
// model both are made from (--json).

#include <cstdio>
#include <string>

#include <json/writer.h>

#include "api_model.h"
#include "commands.h"

namespace zorel::cli {

int runApi(const Args& args) {
  std::string format = "--markdown";
  if (args.size() > 1 ||
      (args.size() == 1 && args[0] != "--markdown" && args[0] != "--dts" && args[0] != "--json")) {
    std::fputs("usage: zorel api [--markdown | --dts | --json]\n", stderr);
    return 2;
  }
  if (args.size() == 1) format = args[0];
  const Json::Value model = BuildApiModel();
  std::string out;
  if (format == "--dts") {
    out = ApiDeclarations(model);
  } else if (format == "--json") {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    out = Json::writeString(writer, model) + "\n";
  } else {
    out = ApiMarkdown(model);
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace zorel::cli
