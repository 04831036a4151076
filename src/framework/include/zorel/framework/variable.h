#pragma once
// BaseVar / Variable<T>: a script-visible property bound to a member of a
// plug-in object. The type name recorded with the binding decides how a
// text assigned by the script is converted (CMethodDispatcher::AssignProperty).

#include <cstdint>
#include <string>
#include <typeinfo>
#include <utility>

namespace zorel {

// The run-time type name of T as the compiler's type information gives it,
// demangled, with the library's inline ABI namespace removed so that the
// wide string reads "std::basic_string<wchar_t, ...>" on every toolchain.
std::string RuntimeTypeName(const char* mangled);

class BaseVar {
 public:
  BaseVar(void* address, std::string type_name)
      : type_name_(std::move(type_name)), address_(address) {}
  virtual ~BaseVar() = default;

  const std::string& type_name() const { return type_name_; }
  void set_type_name(std::string name) { type_name_ = std::move(name); }
  void* address() const { return address_; }

 private:
  std::string type_name_;
  void* address_;  // the bound member inside its plug-in object
};

// Instantiated for int32_t, bool and std::wstring.
template <class T>
class Variable : public BaseVar {
 public:
  explicit Variable(T* member) : BaseVar(member, TypeName()) {}
  static std::string TypeName() { return RuntimeTypeName(typeid(T).name()); }
  T& value() const { return *static_cast<T*>(address()); }
};

}  // namespace zorel
