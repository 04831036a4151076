#pragma once
// CObjectManager: the instances the script created, by instance name. It
// owns them; they live until the manager is destroyed.
//
// Instance names are a number followed by the component name ("3OS"). The
// number comes from a counter that never repeats within one manager, so names
// stay unique for as long as the manager lives.
//
// Every method call passes InvokeMethod, which reports it to the process's
// call trace when one is set (call_trace.h).
//
// An instance created after the result store was handed over (a plug-in a
// stage function makes) receives the store at creation, so its operation
// records are written like those of the objects made by top-level code.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/framework/object_manager.h"
#include "zorel/framework/plugin_factory.h"

namespace zorel {

class CObjectManager : public IObjectManager {
 public:
  explicit CObjectManager(const CPluginFactory& factory);
  ~CObjectManager() override;

  std::string CreateObject(const std::string& component, StackFrame& args) override;
  std::string InvokeMethod(const std::string& instance, const std::string& method,
                           StackFrame& args) override;
  void SetProperty(const std::string& instance, const std::string& property,
                   const std::wstring& value) override;
  std::set<std::string> GetComponentNames() override;
  std::set<std::string> GetMethodNames(const std::string& component) override;
  void SetResultStore(IResultStore* store) override;

  // The live instance of that name, or null (for tests and diagnostics).
  CMethodDispatcher* Find(const std::string& instance) const;
  size_t InstanceCount() const { return instances_.size(); }

 private:
  // The call itself; errorCode (may be null) receives the plug-in's code
  // when there is an answer.
  std::string Invoke(const std::string& instance, const std::string& method, StackFrame& args,
                     int32_t* errorCode);

  const CPluginFactory& factory_;
  std::map<std::string, std::unique_ptr<CMethodDispatcher>> instances_;
  IResultStore* store_ = nullptr;  // handed to every instance, also later ones
  int64_t next_number_ = 1;
};

}  // namespace zorel
