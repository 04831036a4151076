// The zorel command: one table of subcommands. A new command is one entry
// here and its run function in <name>_command.cpp (declared in commands.h);
// `zorel --help`, `zorel help NAME` and `zorel NAME --help` are made from
// the entry.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace zorel::cli {
namespace {

struct Command {
  const char* name;
  const char* args;     // what follows the name in its usage line; null: internal, not listed
  const char* summary;  // one line
  const char* options;  // its options, one per line ("  --x  what"), or null
  int (*run)(const Args&);
};

const Command kCommands[] = {
    {"seal", "IN OUT [--value N]", "seal a file into the container format",
     "  --value N  the header's value field, decimal or 0x hexadecimal (default 1)\n", runSeal},
    {"unseal", "IN OUT", "verify and open a sealed container", nullptr, runUnseal},
    {"machine", "init [--image NAME] | reset [--image NAME] | info | images | eventlog import FILE",
     "create, reset or describe the emulated Windows machine, add event records",
     "  init                  create the machine ($ZOREL_MACHINE) unless it exists\n"
     "  reset                 replace it with a fresh one\n"
     "  info                  describe it\n"
     "  images                list the machine images, one line each\n"
     "  eventlog import FILE  append the event records of a JSON-lines file (README)\n"
     "  --image NAME          the image to create it from (machines/NAME; default: default)\n",
     runMachine},
    {"check",
     "[--script FILE.js | --sealed FILE.enc] [--stages L] [--problems L] [--store DIR] "
     "[--online | --offline] [--json] [--trace FILE.jsonl]",
     "run a check script on the machine",
     "  --script FILE.js    a plain check script instead of the machine's preinstall.enc\n"
     "  --sealed FILE.enc   another sealed check script\n"
     "  --stages L          the stages to run, e.g. 100,101 (default 100,101,102)\n"
     "  --problems L        only these problem ids (default: every declared problem)\n"
     "  --store DIR         the data folder instead of %APPDATA%\\prynesecurity\\zorel\\\n"
     "  --online|--offline  skip the connection test to the report server\n"
     "  --json              print the result as one JSON document on standard output\n"
     "  --trace FILE.jsonl  write one JSON line per plug-in call (arguments, answer, code)\n"
     "exit codes: 0 completed, 1 did not complete or nothing ran, 2 could not start,\n"
     "            130 cancelled with Ctrl-C\n",
     runCheck},
    {"bridge", "[--online | --offline] [--sealed FILE.enc] [--store DIR] [--trace FILE.jsonl]",
     "answer UI requests, one JSON text per line on standard input",
     "  each line read is one request; each answer is its length in bytes on a\n"
     "  line of its own, then the answer text. End of input ends the program.\n"
     "  --online|--offline  skip the connection test to the report server\n"
     "  --sealed FILE.enc   another sealed check script\n"
     "  --store DIR         the data folder instead of %APPDATA%\\prynesecurity\\zorel\\\n"
     "  --trace FILE.jsonl  write one JSON line per plug-in call (arguments, answer, code)\n",
     runBridge},
    {"ui", "[--online | --offline] [--self-test DIR [--close-during-run]] [SWITCH]",
     "show the check in its window (one per machine)",
     "  --online|--offline    skip the connection test to the report server\n"
     "  --self-test DIR       run the sample check through the window like a user,\n"
     "                        save screenshots and DIR/self-test.json, then close\n"
     "  --close-during-run    with --self-test: close the window during the run\n"
     "  SWITCH                -RegServer, -UnregServer, -RegServerPerUser or\n"
     "                        -UnregServerPerUser ('/' also, any case): register or\n"
     "                        unregister the application id and end\n"
     "exit codes: 0 closed (or another instance runs), 1 no window or a failed\n"
     "            switch or self-test, 2 bad arguments\n",
     runUi},
    {"matrix",
     "(--script FILE.js | --sealed FILE.enc) --images A,B,... [--stages L] [--problems L] "
     "[--jobs N] [--keep] [--json]",
     "run a check script on fresh machines of several images and compare",
     "  --images A,B,...    the machine images (zorel machine images lists them)\n"
     "  --stages L          the stages to run (default 100,101,102)\n"
     "  --problems L        only these problem ids\n"
     "  --jobs N            at most N images at once (default: one per core)\n"
     "  --keep              keep the machines, stores and traces (the folder is printed)\n"
     "  --json              print the table and the differing calls as one JSON document\n"
     "exit codes: 0 every image completed, 1 one did not, 2 bad options, 130 cancelled\n",
     runMatrix},
    {"cab", "list CAB | zorel cab extract CAB DIR", "list or extract a cabinet (collection.cab, db.cab)",
     "  list CAB         one line per file: size, DOS date and time, attributes, name\n"
     "  extract CAB DIR  extract every file into DIR; names that leave DIR are refused\n",
     runCab},
    {"report", "[SOURCE] [--out FILE.html] [--json]", "write the run report of a result store as a page",
     "  SOURCE         a ResultStore.db, a db.cab or a store folder holding either\n"
     "                 (default: the machine's %APPDATA%\\prynesecurity\\zorel\\)\n"
     "  --out FILE     write to FILE instead of standard output\n"
     "  --json         the report's contents as JSON instead of the HTML page\n",
     runReport},
    {"products", "eval EXPRESSION NAME... | detect [--json]",
     "try a keyword expression; list the maker's installed products",
     "  eval EXPRESSION NAME...  print 1 or 0 for each NAME\n"
     "  detect [--json]          run detection on the machine\n",
     runProducts},
    {"api", "[--markdown | --dts | --json]",
     "print the plug-in API for check script authors",
     "  --markdown  the reference, as docs/script-api.md holds it (the default)\n"
     "  --dts       TypeScript declarations, as examples/checks/zorel.d.ts holds them\n"
     "  --json      the model both are written from\n",
     runApi},
    // Started by the session controller only.
    {"worker", nullptr, nullptr, nullptr, runWorker},
};

constexpr size_t kLineWidth = 79;

// The usage arguments broken into lines of at most `width` columns, at
// blanks outside brackets.
std::vector<std::string> wrapArgs(const std::string& args, size_t width) {
  std::vector<std::string> words;
  std::string word;
  int depth = 0;
  for (char c : args) {
    if (c == '[') ++depth;
    if (c == ']') --depth;
    if (c == ' ' && depth == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<std::string> lines(1);
  for (const std::string& w : words) {
    if (!lines.back().empty() && lines.back().size() + 1 + w.size() > width) lines.emplace_back();
    if (!lines.back().empty()) lines.back() += ' ';
    lines.back() += w;
  }
  return lines;
}

void printHelp(FILE* out) {
  size_t nameWidth = 0;
  for (const Command& c : kCommands) {
    if (c.args) nameWidth = std::max(nameWidth, std::strlen(c.name));
  }
  const std::string indent(2 + nameWidth + 2, ' ');
  std::fprintf(out,
               "usage: zorel COMMAND [ARGS]\n\n"
               "Pre-installation diagnostics on an emulated Windows machine.\n\n"
               "commands:\n");
  for (const Command& c : kCommands) {
    if (!c.args) continue;
    const std::vector<std::string> lines = wrapArgs(c.args, kLineWidth - indent.size());
    std::fprintf(out, "  %-*s  %s\n", static_cast<int>(nameWidth), c.name, lines[0].c_str());
    for (size_t i = 1; i < lines.size(); ++i) std::fprintf(out, "%s%s\n", indent.c_str(), lines[i].c_str());
    std::fprintf(out, "%s%s\n", indent.c_str(), c.summary);
  }
  std::fprintf(out, "\n'zorel COMMAND --help' describes one command.\n");
}

void printCommandHelp(FILE* out, const Command& c) {
  const std::string lead = std::string("usage: zorel ") + c.name + " ";
  const std::vector<std::string> lines = wrapArgs(c.args, kLineWidth - lead.size());
  std::fprintf(out, "%s%s\n", lead.c_str(), lines[0].c_str());
  for (size_t i = 1; i < lines.size(); ++i) {
    std::fprintf(out, "%s%s\n", std::string(lead.size(), ' ').c_str(), lines[i].c_str());
  }
  std::fprintf(out, "\n%c%s.\n", static_cast<char>(c.summary[0] - 'a' + 'A'), c.summary + 1);
  if (c.options) std::fprintf(out, "\n%s", c.options);
}

bool isHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

const Command* find(const char* name) {
  for (const Command& c : kCommands) {
    if (std::strcmp(name, c.name) == 0) return &c;
  }
  return nullptr;
}

}  // namespace
}  // namespace zorel::cli

int main(int argc, char** argv) {
  using namespace zorel::cli;
  if (argc < 2) {
    printHelp(stderr);
    return 1;
  }
  const std::string first = argv[1];
  if (isHelp(first) || first == "help") {
    const Command* c = argc > 2 && first == "help" ? find(argv[2]) : nullptr;
    if (c && c->args) {
      printCommandHelp(stdout, *c);
    } else if (argc > 2 && first == "help") {
      std::fprintf(stderr, "zorel: unknown command '%s' (see zorel --help)\n", argv[2]);
      return 1;
    } else {
      printHelp(stdout);
    }
    return 0;
  }
  const Command* c = find(argv[1]);
  if (!c) {
    std::fprintf(stderr, "zorel: unknown command '%s' (see zorel --help)\n", argv[1]);
    return 1;
  }
  Args args(argv + 2, argv + argc);
  if (c->args && std::any_of(args.begin(), args.end(), isHelp)) {
    printCommandHelp(stdout, *c);
    return 0;
  }
  try {
    return c->run(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zorel %s: %s\n", c->name, e.what());
    return 1;
  }
}
