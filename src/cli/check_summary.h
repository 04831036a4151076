#pragma once
// The readable summary `zorel check` prints after a run.

#include <cstdio>
#include <string>

#include "zorel/bridge/result_json.h"

namespace zorel::cli {

// Stages with their status, then each problem with its description, link
// and per-stage status and outcome.
void PrintSummary(FILE* out, ResultJson& summary);

// True when no problem has a status for any stage of the summary: the
// stages and problems asked for matched nothing the script declared.
bool NothingRan(ResultJson& summary);

}  // namespace zorel::cli
