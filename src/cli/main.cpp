#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace zorel::cli {
namespace {

struct Command {
  const char* name;
  const char* usage;
  const char* summary;
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {"seal", "seal IN OUT [--value N]", "seal a file into the container format", runSeal},
    {"unseal", "unseal IN OUT", "verify and open a sealed container", runUnseal},
    {"machine", "machine init [--image NAME] | reset | info",
     "create, reset or describe the emulated Windows machine", runMachine},
    {"check", "check --script FILE.js [--stages L] [--problems L] [--store DIR] [--json]",
     "run a check script on the machine", runCheck},
    {"bridge", "bridge [--online|--offline] [--sealed FILE.enc] [--store DIR]",
     "answer UI requests, one JSON text per line on standard input", runBridge},
    {"products", "products eval EXPRESSION NAME... | detect [--json]", "try a keyword expression; list the maker's installed products", runProducts},
    // Started by the session controller only; not listed in the help.
    {"worker", nullptr, nullptr, runWorker},
};

void printHelp(FILE* out) {
  std::fprintf(out,
               "usage: zorel COMMAND [ARGS]\n\n"
               "Pre-installation diagnostics on an emulated Windows machine.\n\n"
               "commands:\n");
  for (const Command& c : kCommands) {
    if (c.usage) std::fprintf(out, "  %-44s %s\n", c.usage, c.summary);
  }
  std::fprintf(out, "  %-44s %s\n", "--help", "show this help");
}

}  // namespace
}  // namespace zorel::cli

int main(int argc, char** argv) {
  using namespace zorel::cli;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
      !std::strcmp(argv[1], "help")) {
    printHelp(stdout);
    return argc < 2 ? 1 : 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) == 0) {
      Args args(argv + 2, argv + argc);
      try {
        return c.run(args);
      } catch (const std::exception& e) {
        std::fprintf(stderr, "zorel %s: %s\n", c.name, e.what());
        return 1;
      }
    }
  }
  std::fprintf(stderr, "zorel: unknown command '%s' (see zorel --help)\n", argv[1]);
  return 1;
}
