#pragma once
// IScriptFunctions: the global functions the binding publishes besides the
// plug-in constructors (the reporting functions "reportProblem" and
// "reportStatus"). The binding publishes every name it is given and hands
// each call's first argument, as text, to Invoke.

#include <string>
#include <vector>

namespace zorel {

class IScriptFunctions {
 public:
  virtual ~IScriptFunctions() = default;
  // The names to publish; they are registered in ascending order.
  virtual std::vector<std::wstring> GetFunctionNames() const = 0;
  // Runs the function; false when the name is unknown.
  virtual bool Invoke(const std::wstring& name, const std::wstring& argument) = 0;
};

}  // namespace zorel
