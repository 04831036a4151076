// CPluginFactory: registration and creation of plug-in components.

#include "zorel/framework/plugin_factory.h"

#include "zorel/log/framework_log.h"
#include "zorel/common/utf8.h"

namespace zorel {

CPluginFactory::CPluginFactory(const std::vector<PluginRegistration>& table) {
  for (const auto& entry : table) {
    auto inserted = registry_.emplace(entry.name, Registration{entry.create, {}});
    if (!inserted.second) continue;  // an earlier registration of the name wins
    try {
      StackFrame none;
      std::unique_ptr<CMethodDispatcher> probe = Create(entry.name, none);
      if (probe) inserted.first->second.methods = probe->GetMethodNames();
    } catch (...) {
      // A plug-in that cannot be made at start-up publishes no methods; the
      // script can still construct it and gets empty answers.
      FrameworkLog::Instance().Write(LogLevel::Error,
                                     L"Exception occured while registering the component %s",
                                     fromUtf8(entry.name).c_str());
    }
  }
}

std::unique_ptr<CMethodDispatcher> CPluginFactory::Create(const std::string& name,
                                                          StackFrame& args) const {
  auto it = registry_.find(name);
  if (it == registry_.end() || !it->second.create) return nullptr;
  return it->second.create(args);
}

std::set<std::string> CPluginFactory::GetComponentNames() const {
  std::set<std::string> names;
  for (const auto& entry : registry_) names.insert(entry.first);
  return names;
}

std::set<std::string> CPluginFactory::GetMethodNames(const std::string& name) const {
  auto it = registry_.find(name);
  return it == registry_.end() ? std::set<std::string>{} : it->second.methods;
}

}  // namespace zorel
