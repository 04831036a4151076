// zorel ui [--online | --offline] [--self-test DIR [--close-during-run]] [SWITCH]
//
// The window: see zorel/app/ui_app.h.

#include "commands.h"
#include "zorel/app/ui_app.h"

namespace zorel::cli {

int runUi(const Args& args) { return app::RunUi(args); }

}  // namespace zorel::cli
