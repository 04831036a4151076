// The host process's environment variables.

#include "zorel/platform/base/host_variable.h"

#include <cstdlib>

#include "zorel/common/utf8.h"

namespace zorel::platform {

std::optional<std::wstring> hostVariable(const std::wstring& name) {
  // A name with '=' or a NUL can never be set; getenv would match a prefix.
  if (name.empty() || name.find_first_of(L"=\0", 0, 2) != std::wstring::npos) return std::nullopt;
  const char* value = std::getenv(toUtf8(name).c_str());
  if (!value) return std::nullopt;
  return fromUtf8(value);
}

void clearHostVariable(const std::wstring& name) {
  if (name.empty() || name.find_first_of(L"=\0", 0, 2) != std::wstring::npos) return;
  ::unsetenv(toUtf8(name).c_str());
}

}  // namespace zorel::platform
