// Type names of property bindings.

#include "zorel/framework/variable.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace zorel {

std::string RuntimeTypeName(const char* mangled) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : mangled;
  // libstdc++ keeps its strings in an inline ABI namespace; the binding's
  // conversion looks for the plain "std::basic_string".
  static const std::string kInline = "__cxx11::";
  for (size_t pos; (pos = name.find(kInline)) != std::string::npos;) name.erase(pos, kInline.size());
  return name;
}

}  // namespace zorel
