#pragma once
// The --trace FILE.jsonl option of zorel check and zorel bridge: the file
// is made empty before the run (so a trace holds one run's calls) and the
// worker appends to it.

#include <string>

namespace zorel::cli {

// Empties or creates path and gives its absolute form in *absolute; false
// (after a message naming `command`) when it cannot be written.
bool prepareTraceFile(const char* command, const std::string& path, std::string* absolute);

}  // namespace zorel::cli
