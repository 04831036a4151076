#pragma once
// A plug-in's script-visible surface, declared once as data: the component
// name, its component path, and one row per method with the function that
// runs it, the OPERATION_TYPE of its records and the keys of its
// INPUT_DETAILS. Registration (the names the script sees), dispatch (which
// function a name runs) and the operation records (type, COMPONENT_NAME,
// API_NAME, input keys) all read the same rows; a method body names none of
// them again. See docs/architecture.md, "Plug-ins", for the pattern.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zorel {

class CJSONReturn;
class CMethodDispatcher;
class StackFrame;

// OPERATION_TYPE of a method's records. The values are stored: never change
// them.
enum class OperationType : int32_t {
  kQuery = 0,    // checks and queries
  kChange = 1,   // methods that change the machine
  kCollect = 2,  // collection methods and most value getters
};

// Runs one method on a plug-in object. Made from a member function with
// MethodOf<&Plugin::method> (framework/method_dispatcher.h).
using MethodHandler = std::unique_ptr<CJSONReturn> (*)(CMethodDispatcher&, StackFrame&);

inline constexpr size_t kMaxInputKeys = 8;

struct PluginMethod {
  const char* name;           // as the script calls it; also the API_NAME suffix
  MethodHandler handler;
  OperationType operation;
  // The INPUT_DETAILS keys in the order the record lists them; unused
  // slots stay null. A method without keys records the empty text.
  std::array<const wchar_t*, kMaxInputKeys> inputs{};

  // The number of declared keys.
  size_t InputCount() const;
};

struct PluginSurface {
  const char* name;              // the component the script constructs; the API_NAME prefix
  const wchar_t* componentPath;  // e.g. L"plugins\\win\\env\\OS"; COMPONENT_NAME is its last element
  std::span<const PluginMethod> methods;

  // The row of `method`, or null.
  const PluginMethod* Find(std::string_view method) const;
  // "<name>::<method>", e.g. L"OS::getOSName".
  std::wstring ApiName(const PluginMethod& method) const;
};

}  // namespace zorel
