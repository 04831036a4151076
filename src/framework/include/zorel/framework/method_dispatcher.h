#pragma once
// CMethodDispatcher: the base class of every plug-in. It maps the method
// names the script calls to native functions and the property names the
// script assigns to bound members, and holds the result store the plug-in
// writes its operation records to (null: no records are written).
//
// A plug-in declares its methods once, as a PluginSurface
// (plugins/common/plugin_surface.h), and registers it whole; each of those
// methods starts its operation record from its row with BeginCall.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "zorel/framework/stack_frame.h"
#include "zorel/framework/variable.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class IResultStore;

namespace detail {
template <class Member>
struct MethodClass;
template <class Plugin, class Ret>
struct MethodClass<std::unique_ptr<Ret> (Plugin::*)(StackFrame&)> {
  using type = Plugin;
};
}  // namespace detail

class CMethodDispatcher {
 public:
  // A method: takes the plug-in object and the call's arguments, returns a
  // new return object, or null for "no answer" (the script gets "").
  using MethodFunction =
      std::function<std::unique_ptr<CJSONReturn>(CMethodDispatcher&, StackFrame&)>;

  CMethodDispatcher() = default;
  CMethodDispatcher(const CMethodDispatcher&) = delete;
  CMethodDispatcher& operator=(const CMethodDispatcher&) = delete;
  virtual ~CMethodDispatcher();

  // Sets the entry for `name`, replacing an earlier one.
  virtual void RegisterMethod(const std::string& name, MethodFunction method);
  // Takes ownership of `binding`, stores `type_name` into it and sets the
  // entry for `name`, replacing (and deleting) an earlier one.
  virtual void RegisterVariable(const std::string& name, BaseVar* binding,
                                const std::string& type_name);

  // Registers every method of `surface` (kept by reference: a table with
  // static storage).
  void RegisterSurface(const PluginSurface& surface);
  // The surface registered, or null.
  const PluginSurface* Surface() const { return surface_; }

  // Begins the operation record of the surface method `method` (a method
  // passes its own name, __func__), with the plug-in's error code member
  // (see PluginCall). Throws std::logic_error when the surface has no such
  // row: a method missing from its table is a programming error.
  PluginCall BeginCall(const char* method, int32_t& errorCode, int32_t startCode = 0) const;
  // The same for a method that builds its record itself: begins `record`
  // with the row's type, component path and API name.
  void BeginRecord(const char* method, OperationStore& record) const;

  // Registers a member function of the derived plug-in class.
  template <class Plugin, class Ret>
  void RegisterMethod(const std::string& name,
                      std::unique_ptr<Ret> (Plugin::*method)(StackFrame&)) {
    RegisterMethod(name, [method](CMethodDispatcher& self, StackFrame& args)
                             -> std::unique_ptr<CJSONReturn> {
      return (static_cast<Plugin&>(self).*method)(args);
    });
  }
  // Binds a member (int32_t, bool or std::wstring) as a property.
  template <class T>
  void BindProperty(const std::string& name, T& member) {
    RegisterVariable(name, new Variable<T>(&member), Variable<T>::TypeName());
  }

  // Runs the method; null when the name is unknown or the method gave null.
  // Exceptions of the method escape to the caller.
  std::unique_ptr<CJSONReturn> Call(const std::string& name, StackFrame& args);
  std::set<std::string> GetMethodNames() const;
  // The bound property names.
  std::set<std::string> GetPropertyNames() const {
    std::set<std::string> names;
    for (const auto& entry : properties_) names.insert(entry.first);
    return names;
  }
  // Converts `value` for the bound member by its type name; an unknown name
  // does nothing. Numeric conversion errors escape and leave the member as
  // it was.
  void AssignProperty(const std::string& name, const std::wstring& value);

  IResultStore* GetResultStore() const { return result_store_; }
  void SetResultStore(IResultStore* store) { result_store_ = store; }

 private:
  std::map<std::string, MethodFunction> methods_;
  const PluginSurface* surface_ = nullptr;
  std::map<std::string, std::unique_ptr<BaseVar>> properties_;
  IResultStore* result_store_ = nullptr;
};

// The MethodHandler of a plug-in's member function, for its surface rows:
//   {"getOSName", MethodOf<&COSPlugin::getOSName>, OperationType::kQuery}
template <auto Member>
std::unique_ptr<CJSONReturn> MethodOf(CMethodDispatcher& self, StackFrame& args) {
  using Plugin = typename detail::MethodClass<decltype(Member)>::type;
  return (static_cast<Plugin&>(self).*Member)(args);
}

}  // namespace zorel
