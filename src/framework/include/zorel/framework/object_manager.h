#pragma once
// IObjectManager: what the script engine binding asks of the native side.
// It knows the components and their methods, creates named instances and
// routes property assignments and method calls to them. Narrow text is UTF-8.

#include <set>
#include <string>

#include "zorel/framework/stack_frame.h"

namespace zorel {

class IResultStore;

class IObjectManager {
 public:
  virtual ~IObjectManager() = default;
  // The new instance's name; empty when no instance was created.
  virtual std::string CreateObject(const std::string& component, StackFrame& args) = 0;
  // The method's JSON answer; empty when the instance or method is unknown
  // or the call failed.
  virtual std::string InvokeMethod(const std::string& instance, const std::string& method,
                                   StackFrame& args) = 0;
  virtual void SetProperty(const std::string& instance, const std::string& property,
                           const std::wstring& value) = 0;
  virtual std::set<std::string> GetComponentNames() = 0;
  virtual std::set<std::string> GetMethodNames(const std::string& component) = 0;
  // Hands the store to every live instance (and to those created later).
  virtual void SetResultStore(IResultStore* store) = 0;
};

}  // namespace zorel
