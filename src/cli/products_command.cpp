// zorel products eval EXPRESSION NAME... | detect [--json]
//
// eval tests one keyword expression against each NAME and prints "1" or
// "0" per name, in order: how a catalogue author tries a rule. detect runs
// installed-product detection on the machine and prints the final names,
// one per line, or with --json the FinalList document (also when empty).

#include <cstdio>
#include <string>

#include "commands.h"
#include "zorel/common/utf8.h"
#include "zorel/detect/keyword_expression.h"
#include "zorel/detect/product_detection.h"
#include "zorel/platform/machine/machine.h"

namespace zorel::cli {
namespace {

constexpr const char* kUsage =
    "usage: zorel products eval EXPRESSION NAME...\n"
    "       zorel products detect [--json]\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int runEval(const Args& args) {
  if (args.size() < 3) return usage();
  const KeywordExpression expression(fromUtf8(args[1]));
  std::string out;
  for (size_t i = 2; i < args.size(); ++i)
    out += expression.Evaluate(CStringEvaluator(fromUtf8(args[i]))) ? "1\n" : "0\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int runDetect(const Args& args) {
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") {
      json = true;
    } else {
      return usage();
    }
  }
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) {
    std::fputs("zorel products detect: the machine cannot be opened (see zorel machine info)\n",
               stderr);
    return 1;
  }
  DetectionOutcome outcome;
  try {
    outcome = RunDetection(*machine);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zorel products detect: detection failed: %s\n", e.what());
    return 1;
  }
  std::string out;
  if (json) {
    out = outcome.finalList;
  } else {
    for (const auto& [key, product] : outcome.finalMap) out += toUtf8(key) + "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace

int runProducts(const Args& args) {
  if (args.empty()) return usage();
  if (args[0] == "--help" || args[0] == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args[0] == "eval") return runEval(args);
  if (args[0] == "detect") return runDetect(args);
  return usage();
}

}  // namespace zorel::cli
