#pragma once
// Subcommands of `zorel`. Each takes the arguments after its own name and
// returns the process exit code.

#include <string>
#include <vector>

namespace zorel::cli {

using Args = std::vector<std::string>;

int runSeal(const Args& args);     // zorel seal IN OUT [--value N]
int runUnseal(const Args& args);   // zorel unseal IN OUT
int runMachine(const Args& args);  // zorel machine init|reset|info|images
int runCheck(const Args& args);    // zorel check --script FILE.js [...]
int runBridge(const Args& args);   // zorel bridge [--online|--offline] ...
int runProducts(const Args& args);  // zorel products eval|detect
int runWorker(const Args& args);   // zorel worker --machine ROOT (internal)
int runCab(const Args& args);      // zorel cab list CAB | extract CAB DIR
int runUi(const Args& args);       // zorel ui [...] (the window)
int runApi(const Args& args);      // zorel api [--markdown | --dts | --json]
int runReport(const Args& args);   // zorel report [SOURCE] [--out FILE.html] [--json]
int runMatrix(const Args& args);   // zorel matrix --script FILE.js --images A,B,...

}  // namespace zorel::cli
