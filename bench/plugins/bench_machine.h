// The fresh machine the plug-in benchmarks run on.
#pragma once

#include <string>

namespace zorel::bench {

// Makes a machine from `image` in a new temporary folder named after
// `prefix`, makes it the process's current machine and creates the folder's
// "store" subfolder. Returns the temporary folder, or "" (with a message on
// standard error) when the machine cannot be made.
std::string makeBenchMachine(const std::string& prefix, const std::wstring& image);

}  // namespace zorel::bench
