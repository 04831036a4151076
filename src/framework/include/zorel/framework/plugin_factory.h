#pragma once
// CPluginFactory: component name -> creation function, plus the method names
// each component's constructor registers. The names are read once, at
// construction, from a temporary instance of each component, so the engine
// binding publishes exactly what the plug-ins register.

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/stack_frame.h"

namespace zorel {

// A creation function: construction arguments in, a new plug-in out (null
// only when the plug-in cannot be made).
using PluginCreateFunction =
    std::function<std::unique_ptr<CMethodDispatcher>(StackFrame&)>;

struct PluginRegistration {
  std::string name;  // the component name the script sees
  PluginCreateFunction create;
  // Its declared methods and properties (static storage), or null for a
  // component made only for tests.
  const PluginSurface* surface = nullptr;
};

class CPluginFactory {
 public:
  // Registers the table's components in table order; a name given twice
  // keeps its first registration.
  explicit CPluginFactory(const std::vector<PluginRegistration>& table);
  virtual ~CPluginFactory() = default;

  // The process-wide factory over the program's own plug-in table, built on
  // first use (defined with that table, library zorel_plugin_table).
  static CPluginFactory& Instance();

  // A new plug-in, or null when `name` is not registered. Exceptions of the
  // plug-in's constructor escape.
  std::unique_ptr<CMethodDispatcher> Create(const std::string& name,
                                            StackFrame& args) const;
  std::set<std::string> GetComponentNames() const;
  // A copy of the component's method names; empty for an unknown name.
  std::set<std::string> GetMethodNames(const std::string& name) const;

 private:
  struct Registration {
    PluginCreateFunction create;
    std::set<std::string> methods;
  };
  std::map<std::string, Registration> registry_;
};

}  // namespace zorel
