#pragma once
// Variables of the host process's own environment.
//
// These configure this build (where the report server is, which extra
// certificate to trust); they are not the emulated Windows environment
// block, which comes from the machine's registry (environment.h).
//
// Windows: GetEnvironmentVariableW on the process.
// Linux: the process environment, its bytes read as UTF-8.

#include <optional>
#include <string>

namespace zorel::platform {

// The value of the host variable `name`; nullopt when it is not set (an
// empty value is returned as an empty string).
std::optional<std::wstring> hostVariable(const std::wstring& name);

// Removes the host variable `name` from this process's environment (and so
// from every library and child that reads it later). Call it before any
// other thread starts. A name that cannot be set is ignored.
void clearHostVariable(const std::wstring& name);

}  // namespace zorel::platform
