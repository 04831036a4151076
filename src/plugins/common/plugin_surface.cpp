// Lookups over a plug-in's method table.

#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

size_t PluginMethod::InputCount() const {
  size_t count = 0;
  while (count < inputs.size() && inputs[count] != nullptr) ++count;
  return count;
}

size_t MethodApi::ArgumentCount() const {
  size_t count = 0;
  while (count < arguments.size() && arguments[count].name != nullptr) ++count;
  return count;
}

size_t MethodApi::ErrorCount() const {
  size_t count = 0;
  while (count < errors.size() && errors[count] != 0) ++count;
  return count;
}

const PluginMethod* PluginSurface::Find(std::string_view method) const {
  for (const PluginMethod& row : methods) {
    if (method == row.name) return &row;
  }
  return nullptr;
}

std::wstring PluginSurface::ApiName(const PluginMethod& method) const {
  // The names are ASCII identifiers.
  const char* prefix = apiPrefix ? apiPrefix : name;
  std::wstring api(prefix, prefix + std::char_traits<char>::length(prefix));
  api += L"::";
  api.append(method.name, method.name + std::char_traits<char>::length(method.name));
  return api;
}

}  // namespace zorel
